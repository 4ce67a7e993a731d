#pragma once
// DataMA<N>: an attribute holding a list of plain values (kinds 19 to 34).
//
// set() always stores a copy of the list and reports CA_VALUE_CHANGED, even
// when the new list equals the held one: lists are not compared on set.

#include <tavel/attributes/AttributeBase.h>
#include <tavel/attributes/detail/OwnChange.h>

#include <vector>

namespace Norv::Tavel {

// A list of values of kind N.
template <AttributeType N> class TAVEL_EXPORT DataMA : public AttributeBase<MultiAttributeBase<N>> {
public:
    using ValueType = typename KindTraits<N>::ValueType;

    DataMA(Node* owner, ValueType const& value, GUIControlType controlType)
        : AttributeBase<MultiAttributeBase<N>>(owner, controlType), m_value(value) {}
    DataMA(DataMA const& other) = default;
    DataMA& operator=(DataMA const& other) {
        Attribute::operator=(other);
        return *this;
    }
    ~DataMA() override = default;

    void set(ValueType const& value) override {
        m_value = value;
        this->postOwnChange(CA_VALUE_CHANGED, false, typeid(DataMA));
    }

    ValueType get() const override { return m_value; }

    std::size_t getSize() const override { return m_value.size(); }

protected:
    ValueType m_value;
};

#define TAVEL_DATA_MA_Plain(enumerator)
#define TAVEL_DATA_MA_Ranged(enumerator)
#define TAVEL_DATA_MA_Enum(enumerator)
#define TAVEL_DATA_MA_Node(enumerator)
#define TAVEL_DATA_MA_List(enumerator) extern template class DataMA<enumerator>;
#define TAVEL_DATA_MA_NodeList(enumerator)
#define TAVEL_X(enumerator, number, element, human, family) TAVEL_DATA_MA_##family(enumerator)
TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X

} // namespace Norv::Tavel

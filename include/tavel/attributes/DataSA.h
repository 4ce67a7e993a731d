#pragma once
// DataSA<N>: an attribute holding one plain value of kind N (bool, byte,
// numbers, float vectors, string, vectors, quaternion, matrix).
//
// set() of a value equal to the held one (by the kind's tolerance) returns
// before any work; a different value is stored, stamped with a fresh
// incarnation and reported to the owner as CA_VALUE_CHANGED.

#include <tavel/attributes/AttributeBase.h>
#include <tavel/attributes/detail/OwnChange.h>

namespace Norv::Tavel {

// One value of kind N, stored as it is given.
template <AttributeType N>
class TAVEL_EXPORT DataSA : public AttributeBase<SingleAttributeBase<N>> {
public:
    using ValueType = typename KindTraits<N>::ValueType;

    DataSA(Node* owner, ValueType const& value, GUIControlType controlType)
        : AttributeBase<SingleAttributeBase<N>>(owner, controlType), m_value(value) {}
    DataSA(DataSA const& other) = default;
    DataSA& operator=(DataSA const& other) {
        Attribute::operator=(other);
        return *this;
    }
    ~DataSA() override = default;

    void set(ValueType const& value) override {
        if (singleValueEquals(value, m_value)) {
            return;
        }
        m_value = value;
        this->postOwnChange(CA_VALUE_CHANGED, false, typeid(DataSA));
    }

    ValueType get() const override { return m_value; }

protected:
    ValueType m_value;
};

#define TAVEL_DATA_SA_Plain(enumerator) extern template class DataSA<enumerator>;
#define TAVEL_DATA_SA_Ranged(enumerator) extern template class DataSA<enumerator>;
#define TAVEL_DATA_SA_Enum(enumerator)
#define TAVEL_DATA_SA_Node(enumerator)
#define TAVEL_DATA_SA_List(enumerator)
#define TAVEL_DATA_SA_NodeList(enumerator)
#define TAVEL_X(enumerator, number, element, human, family) TAVEL_DATA_SA_##family(enumerator)
TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X

} // namespace Norv::Tavel

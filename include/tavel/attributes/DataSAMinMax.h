#pragma once
// DataSAMinMax<N>: a single value confined to a range, for the number and
// float-vector kinds (double, float, FloatVecI<2..4>, the four integers).
//
// Values outside the range are clamped, never rejected: below the minimum
// gives the minimum, else above the maximum gives the maximum. Float vectors
// clamp as a whole: one component below the minimum's takes the whole
// minimum. Bounds are stored as given (a minimum above the maximum is not
// refused; the clamp rule above still decides). setMinMaxValues re-clamps
// the held value and reports only if it moved.

#include <tavel/attributes/AttributeBase.h>
#include <tavel/attributes/detail/OwnChange.h>

namespace Norv::Tavel {

// One value of kind N kept within a range: a value outside it is clamped.
template <AttributeType N>
class TAVEL_EXPORT DataSAMinMax : public AttributeBase<SingleAttributeBase<N>> {
    static_assert(KindTraits<N>::hasMinMax, "a kind with a range variant");

public:
    using ValueType = typename KindTraits<N>::ValueType;

    DataSAMinMax(Node* owner, ValueType const& value, ValueType const& minValue,
                 ValueType const& maxValue, GUIControlType controlType)
        : AttributeBase<SingleAttributeBase<N>>(owner, controlType),
          m_value(clamp(value, minValue, maxValue)), m_minValue(minValue), m_maxValue(maxValue) {}
    DataSAMinMax(DataSAMinMax const& other) = default;
    DataSAMinMax& operator=(DataSAMinMax const& other) {
        Attribute::operator=(other);
        return *this;
    }
    ~DataSAMinMax() override = default;

    void set(ValueType const& value) override {
        ValueType const clamped = clamp(value, m_minValue, m_maxValue);
        if (singleValueEquals(clamped, m_value)) {
            return;
        }
        m_value = clamped;
        this->postOwnChange(CA_VALUE_CHANGED, false, typeid(DataSAMinMax));
    }

    ValueType get() const override { return m_value; }

    void setMinMaxValues(ValueType const& minValue, ValueType const& maxValue) override {
        m_minValue = minValue;
        m_maxValue = maxValue;
        set(m_value);
    }
    ValueType getMinValue() const override { return m_minValue; }
    ValueType getMaxValue() const override { return m_maxValue; }

    bool hasMinMaxValues() const override { return true; }
    AttributeValue getMinValueGeneric() const override { return AttributeValue(m_minValue); }
    AttributeValue getMaxValueGeneric() const override { return AttributeValue(m_maxValue); }

    static ValueType clamp(ValueType const& value, ValueType const& minValue,
                           ValueType const& maxValue) {
        if (below(value, minValue)) {
            return minValue;
        }
        if (below(maxValue, value)) {
            return maxValue;
        }
        return value;
    }

protected:
    ValueType m_value;
    ValueType m_minValue;
    ValueType m_maxValue;

private:
    // Float vectors: any component below counts.
    static bool below(ValueType const& a, ValueType const& b) {
        if constexpr (std::is_arithmetic_v<ValueType>) {
            return a < b;
        } else {
            for (int i = 0; i < ValueType::size(); ++i) {
                if (a[i] < b[i]) {
                    return true;
                }
            }
            return false;
        }
    }
};

#define TAVEL_DATA_SA_MIN_MAX_Plain(enumerator)
#define TAVEL_DATA_SA_MIN_MAX_Ranged(enumerator) extern template class DataSAMinMax<enumerator>;
#define TAVEL_DATA_SA_MIN_MAX_Enum(enumerator)
#define TAVEL_DATA_SA_MIN_MAX_Node(enumerator)
#define TAVEL_DATA_SA_MIN_MAX_List(enumerator)
#define TAVEL_DATA_SA_MIN_MAX_NodeList(enumerator)
#define TAVEL_X(enumerator, number, element, human, family)                                        \
    TAVEL_DATA_SA_MIN_MAX_##family(enumerator)
TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X

} // namespace Norv::Tavel

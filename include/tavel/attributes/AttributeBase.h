#pragma once
// The typed layer of the attribute family:
//   SingleAttributeBase<N>, MultiAttributeBase<N>  carry the kind number N;
//   AttributeBase<B>  adds the typed interface for the value type T of N
//                     (slots 23 to 27: set, get, setMinMaxValues,
//                     getMinValue, getMaxValue) and implements the generic
//                     slots (assign, compare, setGeneric, getGeneric) once
//                     for every kind on top of set/get.
// Range access throws NotSupported here; DataSAMinMax overrides it.

#include <tavel/attributes/Attribute.h>
#include <tavel/types/Exceptions.h>

namespace Norv::Tavel {

// A single-value attribute of kind N: the kind is fixed by the type.
template <AttributeType N> class TAVEL_EXPORT SingleAttributeBase : public SingleAttribute {
    static_assert(isValidAttributeType(N) && !KindTraits<N>::isList, "a single-value kind");

public:
    static constexpr AttributeType TYPE = N;

    SingleAttributeBase(SingleAttributeBase const& other) = default;
    SingleAttributeBase& operator=(SingleAttributeBase const& other) {
        Attribute::operator=(other);
        return *this;
    }

protected:
    SingleAttributeBase(Node* owner, GUIControlType controlType)
        : SingleAttribute(owner, controlType) {}
    ~SingleAttributeBase() override = default;
};

// A list attribute of kind N: the kind is fixed by the type.
template <AttributeType N> class TAVEL_EXPORT MultiAttributeBase : public MultiAttribute {
    static_assert(isValidAttributeType(N) && KindTraits<N>::isList, "a list kind");

public:
    static constexpr AttributeType TYPE = N;

    MultiAttributeBase(MultiAttributeBase const& other) = default;
    MultiAttributeBase& operator=(MultiAttributeBase const& other) {
        Attribute::operator=(other);
        return *this;
    }

protected:
    MultiAttributeBase(Node* owner, GUIControlType controlType)
        : MultiAttribute(owner, controlType) {}
    ~MultiAttributeBase() override = default;
};

// What every attribute class shares above its single or list base.
template <class B> class TAVEL_EXPORT AttributeBase : public B {
public:
    using ValueType = typename KindTraits<B::TYPE>::ValueType;

    AttributeBase(AttributeBase const& other) = default;
    AttributeBase& operator=(AttributeBase const& other) {
        Attribute::operator=(other);
        return *this;
    }

    // Same kind: range first (where both sides have one), then the value.
    // Another kind: setGeneric(other.getGeneric()), which accepts only the
    // kinds whose generic values are interchangeable.
    void assign(Attribute const& other) override {
        if (other.getAttributeType() != getAttributeType()) {
            this->setGeneric(other.getGeneric());
            return;
        }
        auto const* typed = dynamic_cast<AttributeBase const*>(&other);
        if (!this->hasMinMaxValues() || !other.hasMinMaxValues()) {
            set(typed != nullptr ? typed->get() : valueOf(other.getGeneric()));
            return;
        }
        // Two notified steps: everything is read from `other` first, and this
        // attribute is held, as a subscriber of the first may remove either.
        ValueType const value = typed != nullptr ? typed->get() : valueOf(other.getGeneric());
        ValueType const minValue = valueOf(other.getMinValueGeneric());
        ValueType const maxValue = valueOf(other.getMaxValueGeneric());
        Attribute::Hold const hold(*this);
        setMinMaxValues(minValue, maxValue);
        set(value);
    }

    // Value equality of the kind; false across kinds. Ranges, names,
    // control types and incarnations are not compared.
    bool compare(Attribute const& other) const override {
        if (other.getAttributeType() != getAttributeType()) {
            return false;
        }
        if (auto const* typed = dynamic_cast<AttributeBase const*>(&other)) {
            return equals(typed->get(), get());
        }
        AttributeValue const value = other.getGeneric();
        ValueType const* held = value.template get<ValueType>();
        return held != nullptr && equals(*held, get());
    }

    void setGeneric(AttributeValue const& value) override {
        if (value.m_type != getAttributeType()) {
            throw BadCastException("");
        }
        set(valueOf(value));
    }

    AttributeValue getGeneric() const override {
        AttributeValue value;
        value.m_value = get();
        value.m_type = KIND_OF<ValueType>;
        return value;
    }

    AttributeType getAttributeType() const override { return B::TYPE; }

    AttributeValue getMinValueGeneric() const override { throw NotSupported(""); }
    AttributeValue getMaxValueGeneric() const override { throw NotSupported(""); }

    virtual void set(ValueType const& value) = 0;                                        // slot 23
    virtual ValueType get() const = 0;                                                   // slot 24
    virtual void setMinMaxValues(ValueType const& minValue, ValueType const& maxValue) { // 25
        (void)minValue;
        (void)maxValue;
        throw NotSupported("");
    }
    virtual ValueType getMinValue() const { throw NotSupported(""); } // slot 26
    virtual ValueType getMaxValue() const { throw NotSupported(""); } // slot 27

protected:
    AttributeBase(Node* owner, GUIControlType controlType) : B(owner, controlType) {}
    ~AttributeBase() override = default;

    // Single values compare with their kind's tolerance; lists element-wise
    // with the elements' operator== (exact for plain numbers and strings).
    static bool equals(ValueType const& a, ValueType const& b) { return singleValueEquals(a, b); }

    // The T held by a generic value; BadCastException when it holds another type.
    static ValueType const& valueOf(AttributeValue const& value) {
        ValueType const* held = value.template get<ValueType>();
        if (held == nullptr) {
            throw BadCastException("");
        }
        return *held;
    }
};

// Instantiated once, inside the library, for every kind.
#define TAVEL_ATTRIBUTE_BASE_SINGLE(enumerator)                                                    \
    extern template class SingleAttributeBase<enumerator>;                                         \
    extern template class AttributeBase<SingleAttributeBase<enumerator>>;
#define TAVEL_ATTRIBUTE_BASE_MULTI(enumerator)                                                     \
    extern template class MultiAttributeBase<enumerator>;                                          \
    extern template class AttributeBase<MultiAttributeBase<enumerator>>;
#define TAVEL_ATTRIBUTE_BASE_Plain TAVEL_ATTRIBUTE_BASE_SINGLE
#define TAVEL_ATTRIBUTE_BASE_Ranged TAVEL_ATTRIBUTE_BASE_SINGLE
#define TAVEL_ATTRIBUTE_BASE_Enum TAVEL_ATTRIBUTE_BASE_SINGLE
#define TAVEL_ATTRIBUTE_BASE_Node TAVEL_ATTRIBUTE_BASE_SINGLE
#define TAVEL_ATTRIBUTE_BASE_List TAVEL_ATTRIBUTE_BASE_MULTI
#define TAVEL_ATTRIBUTE_BASE_NodeList TAVEL_ATTRIBUTE_BASE_MULTI
#define TAVEL_X(enumerator, number, element, human, family)                                        \
    TAVEL_ATTRIBUTE_BASE_##family(enumerator)
TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X

} // namespace Norv::Tavel

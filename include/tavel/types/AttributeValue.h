#pragma once
// AttributeValue: a value of any attribute kind with its kind tag, used for
// generic get/set, range access and the text and stream conversions.
// Invariant: m_value holds the value type of m_type. A default-constructed
// value is empty (no value, tag AT_INVALID_TYPE) and every setter refuses it.

#include <tavel/Export.h>
#include <tavel/types/AttributeTraits.h>

#include <boost/any.hpp>

namespace Norv::Tavel {

// A value of one attribute kind with its kind tag; empty when default-constructed.
struct TAVEL_EXPORT AttributeValue {
    boost::any m_value;
    AttributeType m_type = AT_INVALID_TYPE;

    AttributeValue() = default;

    // Tagged with the kind of T; an unsigned int is AT_S_UINT32, never AT_S_ENUM.
    template <class T, class = std::enable_if_t<IS_VALUE_TYPE<T>>>
    AttributeValue(T const& value) : m_value(value), m_type(KIND_OF<T>) {}

    bool empty() const { return m_value.empty(); }

    // The held value if it is a T, else null.
    template <class T> T const* get() const { return boost::any_cast<T>(&m_value); }
};

} // namespace Norv::Tavel

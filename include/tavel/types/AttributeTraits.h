#pragma once
// Compile-time facts about each attribute kind, expanded from
// TAVEL_ATTRIBUTE_KINDS, and the one runtime switch over all kinds.
//
//   KindTraits<AT_S_FLOAT>::ValueType     float
//   KindTraits<AT_M_FLOAT>::ValueType     std::vector<float>
//   KIND_OF<FloatVec2>                    AT_S_FLOAT2
//   visitKind(type, [](auto tag) { using Traits = KindTraits<decltype(tag)::value>; ... });

#include <tavel/types/AttributeType.h>

#include <type_traits>
#include <vector>

namespace Norv::Tavel {

// The families of kinds; a kind's family decides which attribute classes hold it.
enum class KindFamily { Plain, Ranged, Enum, Node, List, NodeList };

// A kind as a type, as visitKind hands it to its function.
template <AttributeType N> using KindTag = std::integral_constant<AttributeType, N>;

// Compile-time facts about kind N (family, value and element types, names); defined for
// the 36 kinds only.
template <AttributeType N> struct KindTraits;

namespace detail {
template <KindFamily F> constexpr bool isListFamily() {
    return F == KindFamily::List || F == KindFamily::NodeList;
}
template <KindFamily F, class E>
using KindValueType = std::conditional_t<isListFamily<F>(), std::vector<E>, E>;
} // namespace detail

#define TAVEL_X(enumerator, number, element, human, fam)                                           \
    template <> struct KindTraits<enumerator> {                                                    \
        static constexpr AttributeType type = enumerator;                                          \
        static constexpr KindFamily family = KindFamily::fam;                                      \
        static constexpr bool isList = detail::isListFamily<KindFamily::fam>();                    \
        static constexpr bool hasMinMax = KindFamily::fam == KindFamily::Ranged;                   \
        using ElementType = element;                                                               \
        using ValueType = detail::KindValueType<KindFamily::fam, element>;                         \
        static constexpr char const* systemName = #enumerator;                                     \
        static constexpr char const* humanName = human;                                            \
    };
TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X

namespace detail {
// The kind a value type is tagged with. An unsigned int is always AT_S_UINT32:
// enum indexes cannot be told apart from it by type.
template <class T, int N = 0> constexpr AttributeType kindOf() {
    if constexpr (N == ATTRIBUTE_TYPE_COUNT) {
        return AT_INVALID_TYPE;
    } else if constexpr (N != AT_S_ENUM &&
                         std::is_same_v<T, typename KindTraits<AttributeType(N)>::ValueType>) {
        return AttributeType(N);
    } else {
        return kindOf<T, N + 1>();
    }
}
} // namespace detail

// The kind of a value type, or AT_INVALID_TYPE when T is not one.
template <class T> constexpr AttributeType KIND_OF = detail::kindOf<std::decay_t<T>>();

// Whether T is the value type of some kind.
template <class T> constexpr bool IS_VALUE_TYPE = KIND_OF<T> != AT_INVALID_TYPE;

// Calls f(KindTag<N>{}) for the runtime kind N. Every branch must return the
// same type. `type` must be valid (see isValidAttributeType).
template <class F> decltype(auto) visitKind(AttributeType type, F&& f) {
    switch (type) {
#define TAVEL_X(enumerator, number, element, human, fam)                                           \
    case enumerator:                                                                               \
        return f(KindTag<enumerator>{});
        TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X
    }
    // Unreachable for valid kinds; callers check first.
    return f(KindTag<AT_S_BOOL>{});
}

} // namespace Norv::Tavel

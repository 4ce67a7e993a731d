#pragma once
// The small value types that attributes hold besides the plain C++ types:
// FloatVecI<n> (float vectors with epsilon-inclusive equality) and the
// norvmath vector, quaternion and matrix types (epsilon-exclusive equality).
//
// Every default constructor zeroes the components. Equality is tolerant, so
// it is not transitive; NaN components never compare equal.

#include <cmath>
#include <cstddef>
#include <limits>
#include <type_traits>

namespace norvmath {

namespace detail {
// |a - b| taken in single precision, widened for fabs and narrowed back.
inline float floatDistance(float a, float b) {
    float const difference = a - b;
    return static_cast<float>(std::fabs(static_cast<double>(difference)));
}

// The equality of the norvmath types: every component strictly within epsilon.
inline bool strictlyClose(float const* a, float const* b, int n) {
    for (int i = 0; i < n; ++i) {
        if (!(floatDistance(a[i], b[i]) < std::numeric_limits<float>::epsilon())) {
            return false;
        }
    }
    return true;
}
} // namespace detail

// A vector of n floats; equal when every component differs by strictly less than epsilon.
template <int n, class T> struct Vecnt {
    static_assert(n >= 2 && n <= 4, "Vecnt has 2 to 4 components");
    T m_data[n] = {};

    Vecnt() = default;
    template <class... C, class = std::enable_if_t<sizeof...(C) == n>>
    constexpr Vecnt(C... components) : m_data{static_cast<T>(components)...} {}

    T& operator[](std::size_t i) { return m_data[i]; }
    T const& operator[](std::size_t i) const { return m_data[i]; }
    static constexpr int size() { return n; }

    friend bool operator==(Vecnt const& a, Vecnt const& b) {
        return detail::strictlyClose(a.m_data, b.m_data, n);
    }
    friend bool operator!=(Vecnt const& a, Vecnt const& b) { return !(a == b); }
};

// A quaternion of four float components, compared like Vecnt<4, float>.
template <class T> struct Quatt {
    T m_data[4] = {};

    Quatt() = default;
    constexpr Quatt(T x, T y, T z, T w) : m_data{x, y, z, w} {}

    T& operator[](std::size_t i) { return m_data[i]; }
    T const& operator[](std::size_t i) const { return m_data[i]; }
    static constexpr int size() { return 4; }

    friend bool operator==(Quatt const& a, Quatt const& b) {
        return detail::strictlyClose(a.m_data, b.m_data, 4);
    }
    friend bool operator!=(Quatt const& a, Quatt const& b) { return !(a == b); }
};

// A square matrix stored as n rows of Vecnt<n, T>.
template <int n, class T> struct Matnnt {
    Vecnt<n, T> m_rows[n] = {};

    Vecnt<n, T>& operator[](std::size_t row) { return m_rows[row]; }
    Vecnt<n, T> const& operator[](std::size_t row) const { return m_rows[row]; }
    static constexpr int size() { return n; }

    friend bool operator==(Matnnt const& a, Matnnt const& b) {
        for (int i = 0; i < n; ++i) {
            if (a.m_rows[i] != b.m_rows[i]) {
                return false;
            }
        }
        return true;
    }
    friend bool operator!=(Matnnt const& a, Matnnt const& b) { return !(a == b); }
};

} // namespace norvmath

namespace Norv::Tavel {

// Exactly n float components; equal when every component differs by at most epsilon.
template <int n> struct FloatVecI {
    static_assert(n >= 2 && n <= 4, "FloatVecI has 2 to 4 components");
    float m_data[n] = {};

    FloatVecI() = default;
    template <class... C, class = std::enable_if_t<sizeof...(C) == n>>
    constexpr FloatVecI(C... components) : m_data{static_cast<float>(components)...} {}

    float& operator[](std::size_t i) { return m_data[i]; }
    float const& operator[](std::size_t i) const { return m_data[i]; }
    static constexpr int size() { return n; }

    friend bool operator==(FloatVecI const& a, FloatVecI const& b) {
        for (int i = 0; i < n; ++i) {
            if (!(std::numeric_limits<float>::epsilon() >=
                  norvmath::detail::floatDistance(a.m_data[i], b.m_data[i]))) {
                return false;
            }
        }
        return true;
    }
    friend bool operator!=(FloatVecI const& a, FloatVecI const& b) { return !(a == b); }
};

using FloatVec2 = FloatVecI<2>;
using FloatVec3 = FloatVecI<3>;
using FloatVec4 = FloatVecI<4>;
using Vec2f = norvmath::Vecnt<2, float>;
using Vec3f = norvmath::Vecnt<3, float>;
using Vec4f = norvmath::Vecnt<4, float>;
using Quatf = norvmath::Quatt<float>;
using Mat44f = norvmath::Matnnt<4, float>;

static_assert(sizeof(FloatVecI<3>) == 3 * sizeof(float), "FloatVecI holds its components only");

// Whether a new single value equals the held one, per value type: doubles and
// floats within their epsilon (inclusive, absolute), everything else by its ==.
template <class T> inline bool singleValueEquals(T const& a, T const& b) {
    return a == b;
}

template <> inline bool singleValueEquals<double>(double const& a, double const& b) {
    return std::fabs(a - b) <= std::numeric_limits<double>::epsilon();
}

template <> inline bool singleValueEquals<float>(float const& a, float const& b) {
    return norvmath::detail::floatDistance(a, b) <= std::numeric_limits<float>::epsilon();
}

} // namespace Norv::Tavel

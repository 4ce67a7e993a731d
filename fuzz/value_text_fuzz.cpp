// Fuzz target for setAttributeFromString over every kind.
//
// Input: byte 0 picks the kind (low six bits, modulo 36), the range variant
// (bit 6) and the std::string overload (bit 7); bytes 1 and 2 are the
// component and element separators; the rest is the text (UTF-8).
//
// Checks: a refused text leaves the value and the incarnation as they were;
// an accepted number, vector, quaternion or matrix value written with 'g'
// and precision 9 (float kinds) or 17 (doubles) reads back exactly into an
// attribute that held something else.

#include <tavel/attributes/CreateAttribute.h>
#include <tavel/attributes/DataSAEnum.h>
#include <tavel/conversion/Utilities.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

using namespace Norv::Tavel;

namespace {

void check(bool condition, char const* what) {
    if (!condition) {
        std::fprintf(stderr, "value_text_fuzz: %s\n", what);
        std::abort();
    }
}

template <AttributeType N>
using TypedAttribute = AttributeBase<
    std::conditional_t<KindTraits<N>::isList, MultiAttributeBase<N>, SingleAttributeBase<N>>>;

// The float components of a vector, quaternion or matrix, in storage order.
template <class E> constexpr std::size_t floatCount() {
    return sizeof(E) / sizeof(float);
}

template <class E> bool identical(E const& a, E const& b) {
    if constexpr (std::is_floating_point_v<E>) {
        return a == b || (std::isnan(a) && std::isnan(b));
    } else if constexpr (std::is_arithmetic_v<E>) {
        return a == b;
    } else {
        auto const* x = reinterpret_cast<float const*>(&a);
        auto const* y = reinterpret_cast<float const*>(&b);
        for (std::size_t i = 0; i < floatCount<E>(); ++i) {
            if (!identical(x[i], y[i])) {
                return false;
            }
        }
        return true;
    }
}

template <class E> E farFrom(E const& value) {
    if constexpr (std::is_same_v<E, bool>) {
        return !value;
    } else if constexpr (std::is_arithmetic_v<E>) {
        return value == E(1) ? E(2) : E(1);
    } else {
        E far = value;
        auto* components = reinterpret_cast<float*>(&far);
        for (std::size_t i = 0; i < floatCount<E>(); ++i) {
            components[i] = farFrom(components[i]);
        }
        return far;
    }
}

// The largest float's 9-digit text lies above it, and toFloat refuses it.
template <class E> bool writesReadably(E const& value) {
    if constexpr (std::is_same_v<E, float>) {
        return std::fabs(value) != std::numeric_limits<float>::max();
    } else if constexpr (std::is_arithmetic_v<E>) {
        return true;
    } else {
        auto const* components = reinterpret_cast<float const*>(&value);
        for (std::size_t i = 0; i < floatCount<E>(); ++i) {
            if (!writesReadably(components[i])) {
                return false;
            }
        }
        return true;
    }
}

template <AttributeType N> void checkRoundTrip(Attribute const& attribute) {
    using Traits = KindTraits<N>;
    using E = typename Traits::ElementType;
    constexpr bool numeric = Traits::family == KindFamily::Plain ||
                             Traits::family == KindFamily::Ranged ||
                             Traits::family == KindFamily::List;
    if constexpr (numeric && !std::is_same_v<E, QString>) {
        // Generic values: built with clang, the typed attribute classes are
        // not visible outside the library.
        using T = typename Traits::ValueType;
        T const value = *attribute.getGeneric().template get<T>();
        auto target = createAttribute(N, nullptr, false);
        if constexpr (Traits::isList) {
            for (E const& element : value) {
                if (!writesReadably(element)) {
                    return;
                }
            }
        } else {
            if (!writesReadably(value)) {
                return;
            }
            target->setGeneric(AttributeValue(farFrom(value)));
        }
        int const precision = std::is_same_v<E, double> ? 17 : 9;
        QString const text = Utilities::convertAttributeValueToString(
            attribute, QLatin1Char(' '), QLatin1Char(';'), 'g', precision);
        check(Utilities::setAttributeFromString(*target, text, QLatin1Char(' '), QLatin1Char(';')),
              "written text is refused");
        T const read = *target->getGeneric().template get<T>();
        if constexpr (Traits::isList) {
            check(read.size() == value.size(), "list length changed");
            for (std::size_t i = 0; i < read.size(); ++i) {
                check(identical<E>(read[i], value[i]), "list element changed");
            }
        } else {
            check(identical(read, value), "value changed");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    AttributeType const type = AttributeType((data[0] & 0x3F) % ATTRIBUTE_TYPE_COUNT);
    bool const withMinMax = (data[0] & 0x40) != 0;
    bool const fromStdString = (data[0] & 0x80) != 0;
    char const componentSeparator = char(data[1]);
    char const elementSeparator = char(data[2]);
    std::string const text(reinterpret_cast<char const*>(data + 3), size - 3);

    auto attribute = createAttribute(type, nullptr, withMinMax);
    if (type == AT_S_ENUM) {
        dynamic_cast<SAEnum&>(*attribute)
            .setStringValues({QStringLiteral("a"), QStringLiteral("ab"), QStringLiteral("1")});
    }
    QString const before = Utilities::convertAttributeValueToString(*attribute, QLatin1Char(' '),
                                                                    QLatin1Char(';'), 'g', 17);
    std::int64_t const incarnation = attribute->getIncarnation();

    bool const accepted =
        fromStdString ? Utilities::setAttributeFromString(*attribute, text, componentSeparator,
                                                          elementSeparator)
                      : Utilities::setAttributeFromString(
                            *attribute, QString::fromUtf8(text.data(), int(text.size())),
                            QLatin1Char(componentSeparator), QLatin1Char(elementSeparator));
    QString const after = Utilities::convertAttributeValueToString(*attribute, QLatin1Char(' '),
                                                                   QLatin1Char(';'), 'g', 17);
    check(Utilities::convertAttributeValueToStdString(*attribute, ' ', ';', 'g', 17) ==
              std::string(after.toUtf8().constData()),
          "std::string text is not the UTF-8 text up to its first NUL");
    if (!accepted) {
        check(after == before, "refused text changed the value");
        check(attribute->getIncarnation() == incarnation, "refused text reported a change");
        return 0;
    }
    visitKind(type, [&](auto tag) { checkRoundTrip<decltype(tag)::value>(*attribute); });
    return 0;
}

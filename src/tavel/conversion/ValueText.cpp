// Attribute values to and from text. One template per direction covers every
// kind; visitKind picks the instance for the attribute's runtime kind.

#include <tavel/conversion/Utilities.h>

#include <tavel/attributes/AttributeBase.h>
#include <tavel/attributes/DataSAEnum.h>
#include <tavel/types/AttributeTraits.h>

#include <QStringList>

#include <algorithm>
#include <type_traits>

namespace Norv::Tavel::Utilities {

namespace {

template <AttributeType N>
using TypedAttribute = AttributeBase<
    std::conditional_t<KindTraits<N>::isList, MultiAttributeBase<N>, SingleAttributeBase<N>>>;

struct TextForm {
    QChar component;
    QChar element;
    char format;
    int precision;
};

// Vectors, quaternions and the matrix are written and read as their float
// components in storage order; the matrix row by row.
template <class T> constexpr bool IS_COMPOUND = std::is_class_v<T> && !std::is_same_v<T, QString>;

template <class T> constexpr int componentCount() {
    if constexpr (std::is_same_v<T, Mat44f>) {
        return 16;
    } else {
        return T::size();
    }
}

template <class T> decltype(auto) componentAt(T& value, int i) {
    if constexpr (std::is_same_v<std::remove_const_t<T>, Mat44f>) {
        return value[std::size_t(i / 4)][std::size_t(i % 4)];
    } else {
        return value[std::size_t(i)];
    }
}

// Digits enough for the exact value of every double (1074 after the point);
// beyond them Qt only pads zeros, and near INT_MAX it aborts.
constexpr int MAX_PRECISION = 1074;

// One element as its single kind writes it; strings are handled by the caller.
template <class E> void appendElement(QString& out, E const& value, TextForm const& form) {
    if constexpr (std::is_same_v<E, bool>) {
        out += value ? QLatin1String("true") : QLatin1String("false");
    } else if constexpr (std::is_same_v<E, unsigned char>) {
        out += QString::number(unsigned(value));
    } else if constexpr (std::is_floating_point_v<E>) {
        out += QString::number(double(value), form.format, form.precision);
    } else if constexpr (std::is_integral_v<E>) {
        out += QString::number(value);
    } else {
        static_assert(IS_COMPOUND<E>);
        for (int i = 0; i < componentCount<E>(); ++i) {
            if (i > 0) {
                out += form.component;
            }
            appendElement(out, componentAt(value, i), form);
        }
    }
}

// The names joined by ", " with every occurrence of the current name marked.
// An empty current name would mark every position, so none is marked then.
QString enumText(SAEnum const& attribute) {
    QString text = attribute.getStringValues().join(QLatin1String(", "));
    QString const current = attribute.getAsString();
    if (!current.isEmpty()) {
        text.replace(current, QLatin1Char('<') + current + QLatin1Char('>'), Qt::CaseSensitive);
    }
    return text;
}

template <AttributeType N> QString valueText(Attribute const& attribute, TextForm const& form) {
    using Traits = KindTraits<N>;
    using Element = typename Traits::ElementType;
    if constexpr (Traits::family == KindFamily::Node || Traits::family == KindFamily::NodeList) {
        return QString();
    } else if constexpr (Traits::family == KindFamily::Enum) {
        auto const* named = dynamic_cast<SAEnum const*>(&attribute);
        return named != nullptr ? enumText(*named) : QString();
    } else {
        auto const* typed = dynamic_cast<TypedAttribute<N> const*>(&attribute);
        if (typed == nullptr) {
            return QString();
        }
        if constexpr (!Traits::isList) {
            if constexpr (std::is_same_v<Element, QString>) {
                return typed->get();
            } else {
                QString out;
                appendElement(out, typed->get(), form);
                return out;
            }
        } else {
            auto const list = typed->get();
            QString out;
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (i > 0) {
                    out += form.element;
                }
                if constexpr (std::is_same_v<Element, QString>) {
                    out += QLatin1Char('"');
                    out += list[i];
                    out += QLatin1Char('"');
                } else {
                    // Explicit element type: std::vector<bool> hands out proxies.
                    appendElement<Element>(out, list[i], form);
                }
            }
            return out;
        }
    }
}

// Qt 6's integer conversions stop at a NUL and accept what stands before it
// ("1\0x" reads as 1; Qt 5 refuses it): number texts with a NUL are refused.
bool hasNul(QString const& text) {
    return text.indexOf(QChar(0)) >= 0;
}

bool parseWord(QString const& text, bool& out) {
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
        text == QLatin1String("1")) {
        out = true;
        return true;
    }
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 ||
        text == QLatin1String("0")) {
        out = false;
        return true;
    }
    return false;
}

// One element as its single kind accepts it; `out` is written only on success.
template <class E> bool parseElement(QString const& text, QChar componentSeparator, E& out) {
    if constexpr (std::is_arithmetic_v<E> && !std::is_same_v<E, bool>) {
        if (hasNul(text)) {
            return false;
        }
    }
    bool ok = false;
    if constexpr (std::is_same_v<E, bool>) {
        return parseWord(text, out);
    } else if constexpr (std::is_same_v<E, unsigned char>) {
        unsigned const value = text.toUInt(&ok, 10);
        if (!ok || value > 255) {
            return false;
        }
        out = static_cast<unsigned char>(value);
        return true;
    } else if constexpr (IS_COMPOUND<E>) {
        QStringList const parts = text.split(componentSeparator, Qt::SkipEmptyParts);
        if (parts.size() != componentCount<E>()) {
            return false;
        }
        E value = out;
        for (int i = 0; i < componentCount<E>(); ++i) {
            if (!parseElement(parts[i], componentSeparator, componentAt(value, i))) {
                return false;
            }
        }
        out = value;
        return true;
    } else {
        E value{};
        if constexpr (std::is_same_v<E, float>) {
            value = text.toFloat(&ok);
        } else if constexpr (std::is_same_v<E, double>) {
            value = text.toDouble(&ok);
        } else if constexpr (std::is_same_v<E, int>) {
            value = text.toInt(&ok, 10);
        } else if constexpr (std::is_same_v<E, unsigned int>) {
            value = text.toUInt(&ok, 10);
        } else if constexpr (std::is_same_v<E, std::int64_t>) {
            value = text.toLongLong(&ok, 10);
        } else {
            static_assert(std::is_same_v<E, std::uint64_t>);
            value = text.toULongLong(&ok, 10);
        }
        if (ok) {
            out = value;
        }
        return ok;
    }
}

// An index must name one of the names: an index past them would be ignored
// by set() and must not be reported as stored.
bool setEnumFromText(SAEnum& attribute, QString const& text) {
    bool isNumber = false;
    int const index = hasNul(text) ? 0 : text.toInt(&isNumber, 10);
    if (isNumber) {
        if (index < 0 || std::size_t(index) >= attribute.getNumberOfElements()) {
            return false;
        }
        attribute.set(unsigned(index));
        return true;
    }
    if (attribute.getEnumValue(text) == 0xFFFFFFFFu) {
        return false;
    }
    attribute.setAsString(text);
    return true;
}

template <AttributeType N>
bool setFromText(Attribute& attribute, QString const& text, TextForm const& form) {
    using Traits = KindTraits<N>;
    using Element = typename Traits::ElementType;
    if constexpr (Traits::family == KindFamily::Node || Traits::family == KindFamily::NodeList) {
        return true;
    } else if constexpr (Traits::family == KindFamily::Enum) {
        auto* named = dynamic_cast<SAEnum*>(&attribute);
        return named != nullptr && setEnumFromText(*named, text);
    } else {
        auto* typed = dynamic_cast<TypedAttribute<N>*>(&attribute);
        if (typed == nullptr) {
            return false;
        }
        if constexpr (!Traits::isList) {
            if constexpr (std::is_same_v<Element, QString>) {
                typed->set(text);
            } else {
                Element value{};
                if (!parseElement(text, form.component, value)) {
                    return false;
                }
                typed->set(value);
            }
        } else {
            QStringList const parts = text.split(form.element, Qt::SkipEmptyParts);
            typename Traits::ValueType list(std::size_t(parts.size()));
            for (int i = 0; i < parts.size(); ++i) {
                if constexpr (std::is_same_v<Element, QString>) {
                    list[std::size_t(i)] = parts[i];
                } else {
                    Element value{};
                    if (!parseElement(parts[i], form.component, value)) {
                        return false;
                    }
                    list[std::size_t(i)] = value;
                }
            }
            typed->set(list);
        }
        return true;
    }
}

} // namespace

QString convertAttributeValueToString(Attribute const& attribute, QChar componentSeparator,
                                      QChar elementSeparator, char format, int precision) {
    AttributeType const type = attribute.getAttributeType();
    if (!isValidAttributeType(type)) {
        return type == 36 || type == 37 ? QStringLiteral("?") : QString();
    }
    TextForm const form{componentSeparator, elementSeparator, format,
                        std::min(precision, MAX_PRECISION)};
    return visitKind(type,
                     [&](auto tag) { return valueText<decltype(tag)::value>(attribute, form); });
}

std::string convertAttributeValueToStdString(Attribute const& attribute, char componentSeparator,
                                             char elementSeparator, char format, int precision) {
    QByteArray const utf8 =
        convertAttributeValueToString(attribute, QLatin1Char(componentSeparator),
                                      QLatin1Char(elementSeparator), format, precision)
            .toUtf8();
    // Hosts read the result as a C string: it ends at the first NUL.
    return std::string(utf8.constData());
}

bool setAttributeFromString(Attribute& attribute, QString const& text, QChar componentSeparator,
                            QChar elementSeparator) {
    AttributeType const type = attribute.getAttributeType();
    if (!isValidAttributeType(type)) {
        return false;
    }
    TextForm const form{componentSeparator, elementSeparator, 'g', 6};
    return visitKind(
        type, [&](auto tag) { return setFromText<decltype(tag)::value>(attribute, text, form); });
}

bool setAttributeFromString(Attribute& attribute, std::string const& text, char componentSeparator,
                            char elementSeparator) {
    // The text ends at its first NUL, as a C string would.
    return setAttributeFromString(attribute, QString::fromUtf8(text.c_str()),
                                  QLatin1Char(componentSeparator), QLatin1Char(elementSeparator));
}

} // namespace Norv::Tavel::Utilities

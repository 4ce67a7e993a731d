// Type and control names, generated from the kind and control lists.

#include <tavel/conversion/Utilities.h>

#include <QHash>

#include <unordered_map>

namespace Norv::Tavel::Utilities {

namespace {

struct KindNames {
    char const* systemName;
    char const* humanName;
};

constexpr KindNames KIND_NAMES[] = {
#define TAVEL_X(enumerator, number, element, human, family) {#enumerator, human},
    TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X
};
static_assert(sizeof(KIND_NAMES) / sizeof(KIND_NAMES[0]) == ATTRIBUTE_TYPE_COUNT);

constexpr char const* CONTROL_NAMES[] = {
#define TAVEL_X(enumerator, number) #enumerator,
    TAVEL_GUI_CONTROL_TYPES(TAVEL_X)
#undef TAVEL_X
};
static_assert(sizeof(CONTROL_NAMES) / sizeof(CONTROL_NAMES[0]) == GUI_CONTROL_TYPE_COUNT);

// The list order is the number order, so the tables above index by number.
#define TAVEL_X(enumerator, number, element, human, family) static_assert(enumerator == number);
TAVEL_ATTRIBUTE_KINDS(TAVEL_X)
#undef TAVEL_X

char const INVALID_TYPE_NAME[] = "invalid type";

// The reverse tables are function-local statics: built once, on first use,
// with the initialisation guarded by the language, so threads cannot race.
std::unordered_map<std::string, AttributeType> const& systemNameTable() {
    static std::unordered_map<std::string, AttributeType> const table = [] {
        std::unordered_map<std::string, AttributeType> result;
        for (int i = 0; i < ATTRIBUTE_TYPE_COUNT; ++i) {
            result.emplace(KIND_NAMES[i].systemName, AttributeType(i));
        }
        return result;
    }();
    return table;
}

QHash<QString, AttributeType> const& humanNameTable() {
    static QHash<QString, AttributeType> const table = [] {
        QHash<QString, AttributeType> result;
        for (int i = 0; i < ATTRIBUTE_TYPE_COUNT; ++i) {
            result.insert(QString::fromLatin1(KIND_NAMES[i].humanName), AttributeType(i));
        }
        return result;
    }();
    return table;
}

QHash<QString, GUIControlType> const& controlNameTable() {
    static QHash<QString, GUIControlType> const table = [] {
        QHash<QString, GUIControlType> result;
        for (int i = 0; i < GUI_CONTROL_TYPE_COUNT; ++i) {
            result.insert(QString::fromLatin1(CONTROL_NAMES[i]), GUIControlType(i));
        }
        return result;
    }();
    return table;
}

bool isValidControl(GUIControlType control) {
    return static_cast<std::uint32_t>(control) < static_cast<std::uint32_t>(GUI_CONTROL_TYPE_COUNT);
}

} // namespace

std::string AttributeTypeToSystemName(AttributeType type) {
    return isValidAttributeType(type) ? KIND_NAMES[type].systemName : INVALID_TYPE_NAME;
}

QString AttributeTypeToString(AttributeType type) {
    return QString::fromLatin1(isValidAttributeType(type) ? KIND_NAMES[type].humanName
                                                          : INVALID_TYPE_NAME);
}

AttributeType SystemNameToAttributeType(std::string const& name) {
    auto const& table = systemNameTable();
    auto const found = table.find(name);
    return found == table.end() ? AT_INVALID_TYPE : found->second;
}

AttributeType StringToAttributeType(QString const& name) {
    return humanNameTable().value(name, AT_INVALID_TYPE);
}

QString GUIControlTypeToString(GUIControlType control) {
    return QString::fromLatin1(isValidControl(control) ? CONTROL_NAMES[control] : "gt_none");
}

GUIControlType StringToGUIControlType(QString const& name) {
    return controlNameTable().value(name.toLower(), GUIControlType(GUI_CONTROL_TYPE_COUNT));
}

bool validateAttributeName(QString const& name) {
    if (name.isEmpty()) {
        return false;
    }
    QChar const first = name.at(0);
    if (first != QLatin1Char('_')) {
        switch (first.category()) {
        case QChar::Letter_Uppercase:
        case QChar::Letter_Lowercase:
        case QChar::Letter_Titlecase:
        case QChar::Letter_Other:
        case QChar::Number_Letter:
            break;
        default:
            return false;
        }
    }
    for (qsizetype i = 1; i < name.size(); ++i) {
        QChar const c = name.at(i);
        if (c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char('_')) {
            continue;
        }
        switch (c.category()) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
        case QChar::Number_DecimalDigit:
        case QChar::Number_Letter:
        case QChar::Letter_Uppercase:
        case QChar::Letter_Lowercase:
        case QChar::Letter_Titlecase:
        case QChar::Letter_Modifier:
        case QChar::Letter_Other:
            break;
        default:
            return false;
        }
    }
    return true;
}

} // namespace Norv::Tavel::Utilities

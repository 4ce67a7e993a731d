#pragma once
// Utilities: free functions that convert the attribute vocabulary to and from
// text. None of them throws; unknown input gives a fallback value:
// "invalid type" for a type name, AT_INVALID_TYPE (36) for a type,
// "gt_none" for a control name, 24 for a control.

#include <tavel/Export.h>
#include <tavel/types/AttributeType.h>

#include <QString>

#include <string>

namespace Norv::Tavel::Utilities {

// "AT_S_FLOAT" for AT_S_FLOAT; "invalid type" outside 0..35.
TAVEL_EXPORT std::string AttributeTypeToSystemName(AttributeType type);
// "SingleFloat" for AT_S_FLOAT; "invalid type" outside 0..35.
TAVEL_EXPORT QString AttributeTypeToString(AttributeType type);
// Exact, case-sensitive match of a system name; 36 when unknown.
TAVEL_EXPORT AttributeType SystemNameToAttributeType(std::string const& name);
// Exact, case-sensitive match of a human name; 36 when unknown.
TAVEL_EXPORT AttributeType StringToAttributeType(QString const& name);
// "gt_color" for gt_color; "gt_none" for a number that names no control.
TAVEL_EXPORT QString GUIControlTypeToString(GUIControlType control);
// Case-insensitive match of a control name; 24 when unknown.
TAVEL_EXPORT GUIControlType StringToGUIControlType(QString const& name);

// Whether a text may name an attribute: not empty; first character '_' or a
// letter (Lu, Ll, Lt, Lo) or letter number (Nl); further characters also
// '-', '.', marks (Mn, Mc, Me), decimal digits (Nd) or modifier letters (Lm).
// Categories are judged per UTF-16 code unit, so surrogates are refused.
TAVEL_EXPORT bool validateAttributeName(QString const& name);

} // namespace Norv::Tavel::Utilities

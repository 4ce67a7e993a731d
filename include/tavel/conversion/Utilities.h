#pragma once
// Utilities: free functions that convert the attribute vocabulary and
// attribute values to and from text, and print a node hierarchy.
//
// The name conversions never throw; unknown input gives a fallback value:
// "invalid type" for a type name, AT_INVALID_TYPE (36) for a type,
// "gt_none" for a control name, 24 for a control.
//
// Value text, for every kind (numbers are Qt's own QString conversions):
//
//   convertAttributeValueToString(size, ' ', ';', 'g', 6)   "1 2 3"      (AT_S_VEC3)
//   convertAttributeValueToString(list, ' ', ';', 'g', 6)   "1.5;2"      (AT_M_DOUBLE)
//   convertAttributeValueToString(mode, ' ', ';', 'g', 6)   "a, <b>, c"  (AT_S_ENUM at "b")
//   setAttributeFromString(size, "4  5 6", ' ', ';')        true, one change report
//
// Components of a vector, quaternion or matrix (16, row by row) stand
// between component separators, list elements between element separators;
// empty parts are dropped when reading. Setting parses the whole text first
// and stores it with one set(): a text that is not accepted returns false
// and leaves the value (and its incarnation) untouched. The effects of the
// attribute's own set() apply: equal single values are not stored, ranges
// clamp, exceptions from set() pass through.

#include <tavel/Export.h>
#include <tavel/types/AttributeType.h>

#include <basalt/RefCounting.h>

#include <QChar>
#include <QString>
#include <QStringList>

#include <string>

namespace Norv::Tavel {
class Attribute;
class Node;
} // namespace Norv::Tavel

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

// The text of the attribute's current value. Floating-point numbers are
// written by QString::number(value, format, precision); format 'g' with
// precision 9 (float kinds) or 17 (double kinds) reads back exactly.
// Precisions above 1074 (the digits of any exact double) count as 1074.
// Bools are "true"/"false"; strings are written as they are, list strings
// between double quotes (not escaped, so not read back as they were).
// Enums list every name joined by ", " with each occurrence of the current
// name enclosed in '<' '>'; without a current name (index past the names, or
// an empty name) no marker is set. Node references give the empty text,
// types 36 and 37 "?", other numbers the empty text.
TAVEL_EXPORT QString convertAttributeValueToString(Attribute const& attribute,
                                                   QChar componentSeparator, QChar elementSeparator,
                                                   char format, int precision);
// As above with Latin-1 separators; the text encoded as UTF-8, cut before
// its first NUL character.
TAVEL_EXPORT std::string convertAttributeValueToStdString(Attribute const& attribute,
                                                          char componentSeparator,
                                                          char elementSeparator, char format,
                                                          int precision);

// Parses `text` by the attribute's kind and stores it with one set(); false,
// with nothing stored, when the text does not fit. Accepted: bools "true",
// "false", "1", "0" in any letter case, whole; numbers as QString::toInt,
// toUInt, toLongLong, toULongLong (base 10), toFloat and toDouble accept them
// (bytes not above 255); exactly 2, 3, 4 or 16 float components; an enum
// index below the number of names or one of the names; any string as it is;
// list elements as their single kind (an empty text stores an empty list;
// list strings are stored as split, quotes included). Node references accept
// any text and store nothing. Other type numbers give false.
TAVEL_EXPORT bool setAttributeFromString(Attribute& attribute, QString const& text,
                                         QChar componentSeparator, QChar elementSeparator);
// As above; `text` is decoded as UTF-8 up to its first NUL character
// (invalid sequences become U+FFFD), the separators are Latin-1.
TAVEL_EXPORT bool setAttributeFromString(Attribute& attribute, std::string const& text,
                                         char componentSeparator, char elementSeparator);

// A readable listing of `node` and of every node reachable from it through
// node references, one attribute per line:
//
//   NO_NAME (Class: Mesh, NetId: -1 InstId: 7, SharedId: -1){
//    size = 1 2 3
//    wheels = 1 children
//    [
//     front (Class: Wheel, NetId: -1 InstId: 8, SharedId: -1)  {
//      radius = 0.5
//     }
//    ]
//   }
//
// Each level indents by one space; the node's indent follows its header.
// The display name is the "name" attribute (strings as they are, other kinds
// as their value text), else "NO_NAME"; the class name is the default
// factory's name for the class. Values print as
// convertAttributeValueToString(attribute, ' ', ';', 'g', 6). An empty node
// reference, an empty list entry and an empty `node` print "NULL". A node
// met again while it is still open (a reference cycle) prints its header up
// to the closing parenthesis followed by " <cycle>" and is not entered
// again; a node reached twice on different paths prints in full each time.
// A non-empty `attributeNames` restricts every level to those names, in
// list order; names a node lacks (and the empty name) are skipped. Chains of
// any depth are walked without recursion.
TAVEL_EXPORT QString dump(norv::basalt::ConstRef<Node> node, QStringList const& attributeNames);

// The same hierarchy as a Graphviz DOT graph, for `dot -Tsvg` and the like:
//
//   digraph tavel {
//     node [shape=box];
//     n0 [label="scene\nCustomNode #3"];
//     n1 [label="body\nMesh #4"];
//     n0 -> n1 [label="meshes[0]"];
//     n2 [label="steel\nMaterial #5"];
//     n1 -> n2 [label="material"];
//   }
//
// One box per node (display name as in the dump, class name, node id, and
// the shared id of shared-storage nodes); each node is drawn once, however
// many references reach it. One arrow per reference, labelled with the
// attribute's name, and for a list entry its index ("meshes[2]"); empty
// references are left out. A reference to a node still on the path from
// `node` closes a cycle and is drawn dashed. Quotes and backslashes are
// escaped, line breaks written as "\n", and other control characters, lone
// surrogates and non-characters replaced by U+FFFD, so the text encoded as
// UTF-8 is valid DOT whatever the names. An empty `node` gives an empty
// graph. Chains of any depth are walked without recursion.
TAVEL_EXPORT QString dumpGraphviz(norv::basalt::ConstRef<Node> node);

} // namespace Norv::Tavel::Utilities

namespace Norv::Tavel {

// items[0] to items[count - 1] in order; empty for count 0 or no items.
TAVEL_EXPORT QStringList initQStringList(QString* items, unsigned int count);

} // namespace Norv::Tavel

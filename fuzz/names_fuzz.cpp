// Fuzz target for attribute-name validation and the name conversions.
//
// Input: bytes 0-3 are a number (little-endian) given to the type and control
// conversions; byte 4 picks how the rest becomes text (bit 0: raw UTF-16 code
// units, so lone surrogates get through; else UTF-8).
//
// Checks: a valid name stays valid when cut short or extended by '_', and a
// leading digit makes it invalid; registerAttribute refuses exactly the
// invalid names, and a registered name finds its attribute and is removed
// again; numbers outside the lists give the fallback names; every name a
// lookup accepts is the name of what it returns.

#include <tavel/conversion/Utilities.h>
#include <tavel/nodes/CustomNode.h>
#include <tavel/types/Exceptions.h>

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace Norv::Tavel;

namespace {

void check(bool condition, char const* what) {
    if (!condition) {
        std::fprintf(stderr, "names_fuzz: %s\n", what);
        std::abort();
    }
}

// One node for the whole run: each input registers and removes its name.
CustomNode& node() {
    static norv::basalt::Ref<CustomNode> const instance = CustomNode::create(nullptr);
    return *instance;
}

void checkName(QString const& name) {
    bool const valid = Utilities::validateAttributeName(name);
    check(!name.isEmpty() || !valid, "the empty name is valid");
    if (valid) {
        check(Utilities::validateAttributeName(name.left(1 + name.size() / 2)),
              "a valid name cut short is invalid");
        check(Utilities::validateAttributeName(name + QLatin1Char('_')),
              "a valid name extended by '_' is invalid");
    }
    check(!Utilities::validateAttributeName(QLatin1Char('7') + name),
          "a name with a leading digit is valid");

    bool refused = false;
    try {
        node().registerAttribute(name, AT_S_INT32);
    } catch (InvalidAttributeNameException const&) {
        refused = true;
    }
    check(refused == !valid, "registerAttribute disagrees with validateAttributeName");
    if (valid) {
        check(node().getAttribute(name).has_value(), "a registered name is not found");
        check(node().getAttribute(name)->getAttributeName() == name, "the name changed");
        node().removeAttribute(name);
        check(!node().getAttribute(name).has_value(), "a removed name is still found");
    }
}

void checkConversions(std::int32_t number, QString const& text) {
    AttributeType const type = AttributeType(number);
    bool const known = number >= 0 && number < ATTRIBUTE_TYPE_COUNT;
    std::string const systemName = Utilities::AttributeTypeToSystemName(type);
    QString const humanName = Utilities::AttributeTypeToString(type);
    check(known || (systemName == "invalid type" && humanName == QLatin1String("invalid type")),
          "an unknown type has a name");
    if (known) {
        check(Utilities::SystemNameToAttributeType(systemName) == type, "system name round trip");
        check(Utilities::StringToAttributeType(humanName) == type, "human name round trip");
    }
    GUIControlType const control = GUIControlType(number);
    QString const controlName = Utilities::GUIControlTypeToString(control);
    bool const knownControl = number >= 0 && number < GUI_CONTROL_TYPE_COUNT;
    check(knownControl || controlName == QLatin1String("gt_none"), "an unknown control has a name");
    if (knownControl) {
        check(Utilities::StringToGUIControlType(controlName.toUpper()) == control,
              "control name round trip");
    }

    std::string const utf8 = text.toStdString();
    AttributeType const bySystemName = Utilities::SystemNameToAttributeType(utf8);
    check(bySystemName == AT_INVALID_TYPE ||
              Utilities::AttributeTypeToSystemName(bySystemName) == utf8,
          "a system name names another type");
    AttributeType const byHumanName = Utilities::StringToAttributeType(text);
    check(byHumanName == AT_INVALID_TYPE || Utilities::AttributeTypeToString(byHumanName) == text,
          "a human name names another type");
    GUIControlType const byControlName = Utilities::StringToGUIControlType(text);
    check(byControlName == GUIControlType(GUI_CONTROL_TYPE_COUNT) ||
              Utilities::GUIControlTypeToString(byControlName) == text.toLower(),
          "a control name names another control");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= std::uint32_t(data[i]) << (8 * i);
    }
    std::int32_t number;
    std::memcpy(&number, &bits, sizeof number);
    char const* const rest = reinterpret_cast<char const*>(data + 5);
    std::size_t const length = size - 5;
    QString text;
    if ((data[4] & 1) != 0) {
        std::u16string units(length / 2, u'\0');
        std::memcpy(units.data(), rest, 2 * units.size());
        text = QString::fromStdU16String(units);
    } else {
        text = QString::fromUtf8(rest, int(length));
    }
    checkName(text);
    checkConversions(number, text);
    return 0;
}

// Guide, chapter "Attributes": fixed attributes (members of a host class)
// and custom attributes (added to one node by name at run time).

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <vector>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;

namespace {

// [attributes-class]
class Lamp : public NodeClass<Lamp> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{5B1E7C3A-9D2F-4A68-B0C4-2E8F6A1D3B95}");
        return id;
    }

    DataSAMinMax<AT_S_FLOAT> intensity{this, 1.0f, 0.0f, 10.0f, gt_float}; // value, min, max
    DataSA<AT_S_VEC3> colour{this, Vec3f(1, 1, 1), gt_color};
    DataSAEnum mode{this, QStringList{"spot", "area", "point"}, 0u, gt_enum};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, intensity, ATTR_SERIALIZE, "intensity", "Intensity");
        registerFixedAttribute(layout, colour, ATTR_SERIALIZE, "colour", "Colour");
        registerFixedAttribute(layout, mode, ATTR_SERIALIZE, "mode", "Mode");
        NodeClass::registerAttributes(layout);
    }
};
// [attributes-class]

} // namespace

int main() {
    auto registry = boost::make_shared<Registry>();
    Ref<Lamp> lamp = Lamp::create(registry);

    // [attributes-typed]
    lamp->intensity.set(12.5f); // clamped into the range: 10
    lamp->intensity.set(10.0f); // equal to the held value: nothing stored, nothing reported
    lamp->colour.set(Vec3f(1.0f, 0.9f, 0.7f));
    lamp->mode.setAsString("area"); // index 1; unknown names are ignored
    // [attributes-typed]
    GUIDE_CHECK(lamp->intensity.get() == 10.0f);
    GUIDE_CHECK(lamp->mode.get() == 1u);

    // [attributes-custom]
    Attribute& warmth = lamp->registerAttribute("warmth", AT_S_FLOAT, /*withMinMax=*/true);
    warmth.setGeneric(AttributeValue(0.3f)); // a value of the attribute's own kind
    float const now = *warmth.getGeneric().get<float>();
    auto& typed = dynamic_cast<DataSAMinMax<AT_S_FLOAT>&>(warmth); // the class made for it
    typed.setMinMaxValues(0.0f, 1.0f);
    // [attributes-custom]
    GUIDE_CHECK(now == 0.3f);
    GUIDE_CHECK(warmth.isCustom() && warmth.isRemovable());

    // [attributes-lookup]
    boost::optional<Attribute&> found = lamp->getAttribute("intensity"); // empty if unknown

    found->getAttributeType();     // AT_S_FLOAT
    found->getHumanReadableName(); // "Intensity"
    for (Attribute const& attribute : *lamp) {
        // intensity, colour, mode, then warmth: fixed in registration order, then custom
        (void)attribute;
    }
    for (auto at = lamp->begin(AttributeFlags(ATTR_CUSTOM)); at != lamp->end(); ++at) {
        // warmth only
    }
    // [attributes-lookup]
    GUIDE_CHECK(found && found->getAttributeType() == AT_S_FLOAT);
    GUIDE_CHECK(found->getHumanReadableName() == "Intensity");
    {
        QStringList names;
        for (Attribute const& attribute : *lamp) {
            names << attribute.getAttributeName();
        }
        GUIDE_CHECK(names == (QStringList{"intensity", "colour", "mode", "warmth"}));
        int custom = 0;
        for (auto at = lamp->begin(AttributeFlags(ATTR_CUSTOM)); at != lamp->end(); ++at) {
            ++custom;
        }
        GUIDE_CHECK(custom == 1);
    }

    // [attributes-errors]
    try {
        warmth.setGeneric(AttributeValue(0.5)); // a double for a float attribute
    } catch (BadCastException const&) {
        // nothing changed: errors are the library's exception classes, thrown with ""
    }
    try {
        lamp->removeAttribute("intensity");
    } catch (AttributeCannotBeRemovedException const&) {
        // fixed attributes stay; custom ones can be removed
    }
    lamp->removeAttribute("warmth");
    // [attributes-errors]
    GUIDE_CHECK(!lamp->getAttribute("warmth"));
    GUIDE_CHECK(lamp->getAttribute("intensity"));

    // [attributes-lists]
    Attribute& samples = lamp->registerAttribute("samples", AT_M_FLOAT);
    samples.setGeneric(AttributeValue(std::vector<float>{0.5f, 1.0f}));
    samples.getSize();      // 2
    samples.getDimension(); // 1: a list; single values have dimension 0
    // [attributes-lists]
    GUIDE_CHECK(samples.getSize() == 2 && samples.getDimension() == 1);
    return guide::result();
}

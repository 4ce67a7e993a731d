// tavel_demo: a small host program. It prints the attribute vocabulary, then
// defines a node class of its own, creates nodes of it through the factory,
// watches them and edits them, printing every notification it hears.

#include <tavel/tavel.h>

#include <tavel/nodes/CustomNode.h>
#include <tavel/registry/Factory.h>
#include <tavel/registry/Registry.h>

#include <boost/make_shared.hpp>

#include <cstdio>
#include <string>

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;

namespace {

// A lamp as an editor sees it: three fixed attributes, members of the class.
class Lamp : public NodeClass<Lamp> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{3E5C9A10-7B2D-4C8E-A1F6-0D9B8E7C6A52}");
        return id;
    }

    DataSAMinMax<AT_S_FLOAT> intensity{this, 1.0f, 0.0f, 10.0f, gt_float};
    DataSA<AT_S_VEC3> colour{this, Vec3f(), gt_color};
    DataSA<AT_S_STRING> label{this, QString(), gt_text};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, intensity, ATTR_SERIALIZE, "intensity", "Intensity");
        registerFixedAttribute(layout, colour, ATTR_SERIALIZE, "colour", "Colour");
        registerFixedAttribute(layout, label, ATTR_SERIALIZE, "label", "Label");
        NodeClass::registerAttributes(layout);
    }
};

char const* actionName(ChangeAction action) {
    switch (action) {
    case CA_VALUE_CHANGED:
        return "value changed";
    case CA_UPDATES_RELEASED:
        return "updates released";
    case CA_ATTRIBUTE_ADDED:
        return "attribute added";
    case CA_ATTRIBUTE_REMOVING:
        return "attribute removing";
    case CA_ATTRIBUTE_REMOVED:
        return "attribute removed";
    case CA_NODE_DESTROYED:
        return "node destroyed";
    default:
        return "other change";
    }
}

void printVocabulary() {
    std::printf("Attribute types\n");
    for (int number = 0; number < AT_INVALID_TYPE; ++number) {
        auto const type = static_cast<AttributeType>(number);
        std::printf("  %2d  %-14s %s\n", number, Utilities::AttributeTypeToSystemName(type).c_str(),
                    Utilities::AttributeTypeToString(type).toUtf8().constData());
    }
    std::printf("\nEditor controls\n");
    for (int number = 0; number <= gt_btf_filename; ++number) {
        std::printf("  %2d  %s\n", number,
                    Utilities::GUIControlTypeToString(static_cast<GUIControlType>(number))
                        .toUtf8()
                        .constData());
    }
    Uuid const id("{92f11271-e81e-4945-b01d-40134f3a3c5d}");
    Uuid const again(id.toString());
    std::printf("\nUuid round trip: %s -> %s (%s)\n", "{92f11271-e81e-4945-b01d-40134f3a3c5d}",
                again.toString().c_str(), again == id ? "equal" : "different");
}

} // namespace

int main() {
    printVocabulary();

    std::printf("\nNodes\n");
    Lamp::registerInFactory("Lamp");
    auto const registry = boost::make_shared<Registry>();
    Ref<Node> desk = Factory::get()->createByName(registry, "Lamp", EMPTY_NODE_ID);
    Ref<Node> const floor = Factory::get()->createByName(registry, "Lamp", EMPTY_NODE_ID);
    std::printf("  created lamps #%lld and #%lld by name\n", desk->getNodeId(), floor->getNodeId());

    auto const report = [](ChangeAction action, Node const& node,
                           boost::optional<Attribute const&> attribute) {
        std::printf("  lamp #%lld: %s%s%s\n", node.getNodeId(), actionName(action),
                    attribute ? " " : "",
                    attribute ? attribute->getAttributeName().toUtf8().constData() : "");
    };
    desk->subscribeForNodeChangeNotification(report);

    // A custom attribute for this one lamp only, with the float range variant.
    Attribute& warmth = desk->registerAttribute("warmth", AT_S_FLOAT, true);
    Lamp& deskLamp = static_cast<Lamp&>(*desk);
    deskLamp.intensity.set(12.5f); // clamped to 10
    deskLamp.intensity.set(10.0f); // unchanged: nothing is reported
    std::printf("  intensity is %g\n", static_cast<double>(deskLamp.intensity.get()));

    std::printf("  batch of three edits:\n");
    {
        InhibitUpdate batch(*desk);
        deskLamp.label.set("desk");
        deskLamp.colour.set(Vec3f(1.0f, 0.9f, 0.7f));
        warmth.setGeneric(AttributeValue(0.3f));
    }

    std::printf("  attributes of lamp #%lld:", desk->getNodeId());
    for (Attribute const& attribute : *desk) {
        std::printf(" %s", attribute.getAttributeName().toUtf8().constData());
    }
    std::printf("\n");

    desk->removeAttribute("warmth");

    // A small scene: a root with a list of the two lamps, both referring to one
    // shared material. A change of the material reaches the root by two paths
    // and is reported there once.
    std::printf("\nScene\n");
    Ref<Node> const material = CustomNode::create(registry);
    material->registerAttribute("roughness", AT_S_FLOAT);
    Ref<Node> const root = CustomNode::create(registry);
    root->registerAttribute("children", AT_M_NODE_PTR)
        .setGeneric(AttributeValue(std::vector<NodeRef>{desk, floor}));
    for (Ref<Node> const& lamp : {desk, floor}) {
        lamp->registerAttribute("material", AT_S_NODE_PTR).setGeneric(AttributeValue(material));
    }
    root->subscribeForHierachicalChangeNotification(
        [&root](Node const& node, boost::optional<Attribute const&> source, bool structure) {
            std::printf("  hierarchy of %s: %s changed (%s)\n",
                        &node == root.get() ? "root" : "another node",
                        source ? source->getAttributeName().toUtf8().constData() : "-",
                        structure ? "structure" : "value");
        });
    std::printf("  the material is referenced %zu times; setting its roughness:\n",
                material->getNumberOfOwnerLinks());
    material->getAttribute("roughness")->setGeneric(AttributeValue(0.25f));

    // The graph operations: a copy of the scene, edited, compared with the
    // scene and assigned back onto it; a second view of the material kept in
    // step with it. Everything they make goes at the end of the block.
    std::printf("\nGraph operations\n");
    {
        auto const lampsOf = [](Ref<Node> const& scene) {
            return *scene->getAttribute("children")->getGeneric().get<std::vector<NodeRef>>();
        };
        auto const materialOf = [](NodeRef const& lamp) {
            return *lamp->getAttribute("material")->getGeneric().get<NodeRef>();
        };
        Ref<Node> const copy = root->copy(registry);
        NodeRef const copied = materialOf(lampsOf(copy).front());
        std::printf("  the copy's lamps share one material again: %s\n",
                    copied == materialOf(lampsOf(copy).back()) ? "yes" : "no");
        copied->getAttribute("roughness")->setGeneric(AttributeValue(0.75f));
        std::printf("  copy edited; scene and copy compare %s\n",
                    root->compare(copy) ? "equal" : "different");
        root->assign(copy);
        std::printf("  copy assigned back; they compare %s\n",
                    root->compare(copy) ? "equal" : "different");

        Ref<Node> const view = material->copy(registry);
        NodeSynchronizer const inStep(material, view);
        material->getAttribute("roughness")->setGeneric(AttributeValue(0.5f));
        std::string const followed = Utilities::convertAttributeValueToStdString(
            *view->getAttribute("roughness"), ' ', ';', 'g', 6);
        std::printf("  the material's second view follows: roughness %s\n", followed.c_str());
    }

    // Clearing the references releases the scene; the desk lamp goes last.
    root->removeAllAttributes();
    desk->removeAttribute("material");
    floor->removeAttribute("material");
    desk.reset();
    std::printf("  %llu node(s) left in the registry\n",
                static_cast<unsigned long long>(registry->getNumberOfNodes()));
    return 0;
}

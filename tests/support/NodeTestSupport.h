#pragma once
// Shared by the node tests: a host node class with fixed attributes, written as
// hosts write them, and a log of what subscribers hear.

#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAMinMax.h>
#include <tavel/nodes/CustomNode.h>

#include <boost/make_shared.hpp>

#include <map>
#include <string>
#include <vector>

namespace Norv::Tavel::testing {

using norv::basalt::Ref;
using norv::basalt::Uuid;
using norv::basalt::signal::Connection;

class Lamp : public NodeClass<Lamp> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{6B1F3C2A-0D4E-4F5A-9B7C-1E2D3F4A5B6C}");
        return id;
    }

    DataSAMinMax<AT_S_FLOAT> intensity{this, 1.0f, 0.0f, 10.0f, gt_none};
    DataSA<AT_S_STRING> label{this, QString(), gt_none};
    DataSA<AT_S_INT32> seed{this, 0, gt_none};

    using Node::getCustomAttributePointer;

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, intensity, ATTR_SERIALIZE, "intensity", "Intensity");
        registerFixedAttribute(layout, label, ATTR_SERIALIZE | ATTR_CUSTOM_SERIALIZE, "label", "");
        registerFixedAttribute(layout, seed, ATTR_INSTANCE_DATA, "seed", "");
        NodeClass::registerAttributes(layout);
    }
};

inline void setFloat(Attribute& attribute, float value) {
    attribute.setGeneric(AttributeValue(value));
}

inline std::string nameOf(boost::optional<Attribute const&> attribute) {
    return attribute ? attribute->getAttributeName().toStdString() : "-";
}

// What the subscribers of some nodes heard, one line per call, in call order:
// "<node> <action> <attribute>" and "<node> h <source>[ s]" (s: structure).
// Declare it before the nodes it watches: they report their end to it.
struct Log {
    std::vector<std::string> lines;

    Connection watch(Node& node, std::string label) {
        return node.subscribeForNodeChangeNotification(
            [this, label](ChangeAction action, Node const&, boost::optional<Attribute const&> at) {
                lines.push_back(label + " " + std::to_string(action) + " " + nameOf(at));
            });
    }
    Connection watchHierarchy(Node& node, std::string label) {
        return node.subscribeForHierachicalChangeNotification(
            [this, label](Node const&, boost::optional<Attribute const&> source, bool structure) {
                lines.push_back(label + " h " + nameOf(source) + (structure ? " s" : ""));
            });
    }
    std::vector<std::string> take() { return std::exchange(lines, {}); }
};

using Lines = std::vector<std::string>;

} // namespace Norv::Tavel::testing

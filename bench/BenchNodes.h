#pragma once
// The node class the graph benchmarks build their chains, lists and lattices
// from: one reference, one list of references and a value.

#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/nodes/CustomNode.h>

namespace bench {

using namespace Norv::Tavel;

class Link : public NodeClass<Link> {
public:
    static norv::basalt::Uuid const& getUUID() {
        static norv::basalt::Uuid const id("{3E8B5C1D-9A2F-4B7E-8C6D-1F0A2B3C4D5E}");
        return id;
    }
    DataSANode<Node> next{this};
    DataMANode<Node> items{this};
    DataSA<AT_S_INT32> value{this, 0, gt_none};

protected:
    using NodeClass::NodeClass;
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, next, ATTR_SERIALIZE, "next", "");
        registerFixedAttribute(layout, items, ATTR_SERIALIZE, "items", "");
        registerFixedAttribute(layout, value, ATTR_SERIALIZE, "value", "");
        NodeClass::registerAttributes(layout);
    }
};

} // namespace bench

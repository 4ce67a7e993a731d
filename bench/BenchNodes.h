#pragma once
// The node classes the benchmarks build their graphs from: Link (one
// reference, one list of references and a value) for chains, lists and
// lattices, Shape (eight floats and a list of children) for trees.

#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/nodes/CustomNode.h>

#include <array>

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

// Eight float attributes and a list of children.
class Shape : public NodeClass<Shape> {
public:
    static norv::basalt::Uuid const& getUUID() {
        static norv::basalt::Uuid const id("{7E2A4C6B-1D3F-4A5B-8C9D-2E4F6A8B0C1D}");
        return id;
    }
    std::array<DataSA<AT_S_FLOAT>, 8> values{
        DataSA<AT_S_FLOAT>{this, 0.0f, gt_none}, DataSA<AT_S_FLOAT>{this, 0.0f, gt_none},
        DataSA<AT_S_FLOAT>{this, 0.0f, gt_none}, DataSA<AT_S_FLOAT>{this, 0.0f, gt_none},
        DataSA<AT_S_FLOAT>{this, 0.0f, gt_none}, DataSA<AT_S_FLOAT>{this, 0.0f, gt_none},
        DataSA<AT_S_FLOAT>{this, 0.0f, gt_none}, DataSA<AT_S_FLOAT>{this, 0.0f, gt_none}};
    DataMANode<Node> children{this};

protected:
    using NodeClass::NodeClass;
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        for (std::size_t i = 0; i < values.size(); ++i) {
            registerFixedAttribute(layout, values[i], ATTR_SERIALIZE, QStringLiteral("v%1").arg(i),
                                   QString());
        }
        registerFixedAttribute(layout, children, ATTR_SERIALIZE, "children", "");
        NodeClass::registerAttributes(layout);
    }
};

} // namespace bench

#pragma once
// Shared by the graph operation tests: a host class with references and hooks
// the test can script, and an instancing class with a holder that stores
// instances of what it is given, as instancing hosts do.

#include "tavel/nodes/NodeTestSupport.h"

#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/registry/NodeSStorage.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace Norv::Tavel::testing {

class Piece : public NodeClass<Piece> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{3D5C1A7E-9B2F-4E8A-A1C6-0F4B7D2E9C31}");
        return id;
    }

    DataSANode<Node> link{this};
    DataMANode<Node> items{this};
    DataSA<AT_S_INT32> value{this, 0, gt_none};
    DataSA<AT_S_INT32> seed{this, 0, gt_none}; // instance data

    // Scripted hooks; every node of the class runs them.
    static inline std::function<void(Piece& copy, Ref<Node> const& source)> onCopy;
    static inline std::function<bool(Piece const& node, Ref<Node> const& other, bool post)>
        onCompare;

    void postCopyAction(Ref<Node> const& source, int) override {
        if (onCopy) {
            onCopy(*this, source);
        }
    }
    bool preCompareAction(Ref<Node> const& other, int) const override {
        return onCompare ? onCompare(*this, other, false) : true;
    }
    bool postCompareAction(Ref<Node> const& other, int) const override {
        return onCompare ? onCompare(*this, other, true) : true;
    }

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, link, ATTR_SERIALIZE, "link", "");
        registerFixedAttribute(layout, items, ATTR_SERIALIZE, "items", "");
        registerFixedAttribute(layout, value, ATTR_SERIALIZE, "value", "Value");
        registerFixedAttribute(layout, seed, ATTR_INSTANCE_DATA, "seed", "");
        NodeClass::registerAttributes(layout);
    }
};

// Clears the scripted hooks when a test ends, whatever way it ends.
struct HookScope {
    ~HookScope() {
        Piece::onCopy = nullptr;
        Piece::onCompare = nullptr;
    }
};

inline Ref<Piece> piece(int value, boost::shared_ptr<Registry> registry = nullptr) {
    Ref<Piece> node = Piece::create(std::move(registry));
    node->value.set(value);
    return node;
}

inline int valueOf(NodeRef const& node) {
    auto const* const typed = dynamic_cast<Piece const*>(node.get());
    return typed != nullptr ? typed->value.get() : -1;
}

inline Piece& as(NodeRef const& node) {
    return dynamic_cast<Piece&>(*node);
}

// Instances of one body share it; each keeps its own colour.
class Mesh : public NodeSStorage {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{8E2A4C6B-1D3F-4A5E-9C7B-2F4D6E8A0B13}");
        return id;
    }
    static Ref<Mesh> create(boost::shared_ptr<Registry> registry,
                            SharedStorage* body = new SharedStorage) {
        Ref<Mesh> mesh(new Mesh(std::move(registry), body));
        mesh->registerClassOnce();
        return mesh;
    }
    Ref<Node> createInstance(boost::shared_ptr<Registry> registry) override {
        return create(registry ? registry : getRegistry());
    }
    Ref<NodeSStorage> createSharedInstance(SharedStorage* body, InstanceStorage*) override {
        return create(getRegistry(), body);
    }

    DataSA<AT_S_INT32> colour{this, 0, gt_none}; // instance data
    DataSA<AT_S_STRING> label{this, QString(), gt_none};
    DataSANode<Node> link{this};
    DataMANode<Node> items{this};

protected:
    Mesh(boost::shared_ptr<Registry> registry, SharedStorage* body)
        : NodeSStorage(std::move(registry), classLayout(), body, new InstanceStorage,
                       EMPTY_NODE_ID) {}
    static Specification& classLayout() {
        static Specification layout("OperationsMesh");
        return layout;
    }
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, colour, ATTR_INSTANCE_DATA, "colour", "");
        registerFixedAttribute(layout, label, ATTR_SERIALIZE, "label", "");
        registerFixedAttribute(layout, link, ATTR_SERIALIZE, "link", "");
        registerFixedAttribute(layout, items, ATTR_SERIALIZE, "items", "");
        NodeSStorage::registerAttributes(layout);
    }
};

inline Mesh& mesh(NodeRef const& node) {
    return dynamic_cast<Mesh&>(*node);
}

// Stores an instance of the node it is given: the node itself while nothing
// refers to it, a new instance of its body once something does.
class InstancingLink : public DataSANode<Node> {
public:
    using DataSANode::DataSANode;
    void set(NodeRef const& value) override {
        DataSANode::set(value ? value->getInstancePtr() : value);
    }
};

class Stage : public NodeClass<Stage> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{B7D1E3F5-2A4C-4E6B-8D0F-1A3C5E7B9D24}");
        return id;
    }

    InstancingLink first{this};
    InstancingLink second{this};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, first, ATTR_SERIALIZE, "first", "");
        registerFixedAttribute(layout, second, ATTR_SERIALIZE, "second", "");
        NodeClass::registerAttributes(layout);
    }
};

// A chain of `length` pieces linked root first (their values stay 0), built
// from the tail so that no link climbs; the last links back to the root when
// `closed`.
inline Ref<Piece> chain(std::size_t length, bool closed = false) {
    Ref<Piece> const last = Piece::create(nullptr);
    Ref<Piece> root = last;
    for (std::size_t i = 1; i < length; ++i) {
        Ref<Piece> head = Piece::create(nullptr);
        head->link.set(root);
        root = std::move(head);
    }
    if (closed) {
        last->link.set(root);
    }
    return root;
}

// Clears every reference of every node reachable from `start`, so that
// cycles let their nodes go; walks without recursion.
inline void unlinkAll(NodeRef const& start) {
    std::vector<NodeRef> pending{start};
    std::set<Node*> seen;
    while (!pending.empty()) {
        NodeRef const node = pending.back();
        pending.pop_back();
        if (!node || !seen.insert(node.get()).second) {
            continue;
        }
        for (SequencedIterator at = node->begin(); at != node->end(); ++at) {
            if (auto* const single = dynamic_cast<DataSANode<Node>*>(&*at)) {
                pending.push_back(single->get());
                single->set(NodeRef());
            } else if (auto* const list = dynamic_cast<DataMANode<Node>*>(&*at)) {
                for (NodeRef const& element : list->get()) {
                    pending.push_back(element);
                }
                list->set({});
            }
        }
    }
}

} // namespace Norv::Tavel::testing

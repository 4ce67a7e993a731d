#pragma once
// Shared by the graph tests: a host node class with a single and a list
// reference, whose hooks the test can log, make refuse or script, and helpers
// that build and take apart graphs of it.

#include "support/NodeTestSupport.h"

#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/types/Exceptions.h>

#include <functional>
#include <set>

namespace Norv::Tavel::testing {

class Group : public NodeClass<Group> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{0C4E2B1A-7F3D-4A6B-8E9C-5D1F2A3B4C5D}");
        return id;
    }

    DataSANode<Node> link{this};
    DataMANode<Node> items{this};
    DataSA<AT_S_INT32> value{this, 0, gt_none};
    DataSA<AT_S_INT32> seed{this, 0, gt_none}; // instance data

    std::string name; // the label hooks are logged with
    std::vector<std::string>* hooks = nullptr;
    bool refuseOwners = false;   // addOwner throws while set
    bool refuseRemovals = false; // the removeElement hook throws while set
    // Run by the removeElement hook after it logs, and by removeOwner before
    // the link goes.
    std::function<void()> onRemoval;
    std::function<void()> onUnlinked;
    // Names of the attributes removeOwner let go of (read inside the hook).
    std::vector<std::string>* unlinked = nullptr;
    std::function<void(Group&)> onAssigned;

    // Scripted operation hooks; every node of the class runs them.
    static inline std::function<void(Group& copy, Ref<Node> const& source)> onCopy;
    static inline std::function<bool(Group const& node, Ref<Node> const& other, bool post)>
        onCompare;

    using Node::decInhibitUpdateCounter;
    using Node::incInhibitUpdateCounter;

    void postCopyAction(Ref<Node> const& source, int) override {
        if (onCopy) {
            onCopy(*this, source);
        }
    }
    void postAssignAction(Ref<Node> const&, int) override {
        if (onAssigned) {
            onAssigned(*this);
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

    bool addOwner(Node const& owner, Attribute const& attribute) override {
        if (refuseOwners) {
            throw InvalidOperationException("");
        }
        return Node::addOwner(owner, attribute);
    }
    void addElement(Node& element, std::size_t index, Attribute const& attribute) override {
        record("+", element, index, attribute);
    }
    void removeElement(Node& element, std::size_t index, Attribute const& attribute) override {
        record("-", element, index, attribute);
        if (onRemoval) {
            onRemoval();
        }
        if (refuseRemovals) {
            throw InvalidOperationException("");
        }
    }
    void removeOwner(Node const& owner, Attribute const& attribute) override {
        if (unlinked != nullptr) {
            unlinked->push_back(attribute.getAttributeName().toStdString());
        }
        if (onUnlinked) {
            onUnlinked();
        }
        Node::removeOwner(owner, attribute);
    }

private:
    void record(char const* what, Node& element, std::size_t index, Attribute const& attribute) {
        if (hooks == nullptr) {
            return;
        }
        auto const* group = dynamic_cast<Group const*>(&element);
        std::string line = what + (group != nullptr ? group->name : std::string("?"));
        line += index == SANode::NO_POSITION ? std::string() : "@" + std::to_string(index);
        line += " " + attribute.getAttributeName().toStdString();
        hooks->push_back(line);
    }
};

// Clears the class-wide scripted hooks when a test ends, whatever way it ends.
struct HookScope {
    ~HookScope() {
        Group::onCopy = nullptr;
        Group::onCompare = nullptr;
    }
};

inline Ref<Group> makeGroup(std::string name, std::vector<std::string>* hooks = nullptr,
                            boost::shared_ptr<Registry> registry = nullptr) {
    Ref<Group> group = Group::create(std::move(registry));
    group->name = std::move(name);
    group->hooks = hooks;
    return group;
}

inline Ref<Group> group(int value, boost::shared_ptr<Registry> registry = nullptr) {
    Ref<Group> node = Group::create(std::move(registry));
    node->value.set(value);
    return node;
}

inline std::vector<NodeRef> refs(std::initializer_list<Ref<Group>> groups) {
    return std::vector<NodeRef>(groups.begin(), groups.end());
}

inline Group& as(NodeRef const& node) {
    return dynamic_cast<Group&>(*node);
}

// The value of a Group, -1 for any other node.
inline int valueOf(NodeRef const& node) {
    auto const* const typed = dynamic_cast<Group const*>(node.get());
    return typed != nullptr ? typed->value.get() : -1;
}

// A chain of `length` groups, each linking to the next (their values stay 0),
// built from the tail so that no link climbs; the last links back to the first
// when `closed`. `each` sees every node as it is made, tail first.
inline std::vector<Ref<Group>> chain(std::size_t length, bool closed = false,
                                     std::function<void(Group&, std::size_t)> const& each = {}) {
    std::vector<Ref<Group>> nodes(length);
    for (std::size_t i = length; i-- > 0;) {
        nodes[i] = Group::create(nullptr);
        if (each) {
            each(*nodes[i], i);
        }
        if (i + 1 < length) {
            nodes[i]->link.set(nodes[i + 1]);
        }
    }
    if (closed && length > 0) {
        nodes.back()->link.set(nodes.front());
    }
    return nodes;
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

#pragma once
// Shared by the graph tests: a host node class with a single and a list
// reference that logs its element hooks and can refuse to be owned or to
// let elements go.

#include "tavel/nodes/NodeTestSupport.h"

#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/types/Exceptions.h>

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

    std::string name; // the label hooks are logged with
    std::vector<std::string>* hooks = nullptr;
    bool refuseOwners = false;   // addOwner throws while set
    bool refuseRemovals = false; // the removeElement hook throws while set
    // Names of the attributes removeOwner let go of (read inside the hook).
    std::vector<std::string>* unlinked = nullptr;

    using Node::decInhibitUpdateCounter;
    using Node::incInhibitUpdateCounter;

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, link, ATTR_SERIALIZE, "link", "");
        registerFixedAttribute(layout, items, ATTR_SERIALIZE, "items", "");
        registerFixedAttribute(layout, value, ATTR_SERIALIZE, "value", "");
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
        if (refuseRemovals) {
            throw InvalidOperationException("");
        }
    }
    void removeOwner(Node const& owner, Attribute const& attribute) override {
        if (unlinked != nullptr) {
            unlinked->push_back(attribute.getAttributeName().toStdString());
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

inline Ref<Group> makeGroup(std::string name, std::vector<std::string>* hooks = nullptr,
                            boost::shared_ptr<Registry> registry = nullptr) {
    Ref<Group> group = Group::create(std::move(registry));
    group->name = std::move(name);
    group->hooks = hooks;
    return group;
}

inline std::vector<NodeRef> refs(std::initializer_list<Ref<Group>> groups) {
    return std::vector<NodeRef>(groups.begin(), groups.end());
}

} // namespace Norv::Tavel::testing

#include "support/GraphTestSupport.h"

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

// A ring of `size` groups named n0, n1, ..., each linking to the next.
std::vector<Ref<Group>> ring(std::size_t size) {
    return chain(size, true,
                 [](Group& node, std::size_t i) { node.name = "n" + std::to_string(i); });
}

TEST(Hierarchy, ChangesClimbToEveryOwnerOnce) {
    Log log;
    Ref<Group> const root = makeGroup("root");
    Ref<Group> const material = makeGroup("material");
    Ref<Group> const leafA = makeGroup("a");
    Ref<Group> const leafB = makeGroup("b");
    root->items.set(refs({leafA, leafB}));
    leafA->link.set(material);
    leafB->link.set(material);
    log.watchHierarchy(*root, "root");
    log.watch(*root, "root");
    log.watchHierarchy(*leafA, "a");
    log.watchHierarchy(*leafB, "b");

    material->value.set(7);
    EXPECT_EQ((Lines{"a h value", "root h value", "b h value"}), log.take());
    leafB->value.set(1);
    EXPECT_EQ((Lines{"b h value", "root h value"}), log.take());
    root->items.eraseElement(0);
    EXPECT_EQ((Lines{"root 2 items", "root h items s"}), log.take());
}

TEST(Hierarchy, CyclesEndForChangesSearchesAndInhibition) {
    for (std::size_t size : {1u, 2u, 3u}) {
        SCOPED_TRACE(size);
        Log log;
        std::vector<Ref<Group>> const nodes = ring(size);
        for (auto const& node : nodes) {
            log.watch(*node, node->name);
            log.watchHierarchy(*node, node->name);
        }
        nodes[0]->value.set(5);
        // Own change, then once around the ring back to the start.
        Lines expected{"n0 0 value", "n0 h value"};
        for (std::size_t i = size - 1; i >= 1; --i) {
            expected.push_back("n" + std::to_string(i) + " h value");
        }
        EXPECT_EQ(expected, log.take());

        EXPECT_FALSE(nodes[0]->findAnchestorOfType(CustomNode::getUUID()));
        EXPECT_EQ(nodes[0]->findAnchestorOfType(Group::getUUID()), NodeRef(nodes[size - 1]));

        {
            InhibitUpdate const batch(*nodes[0]);
            for (auto const& node : nodes) {
                EXPECT_GE(node->getInhibitUpdateCounter(), 1);
                node->value.set(9);
            }
            EXPECT_TRUE(log.lines.empty());
        }
        for (auto const& node : nodes) {
            EXPECT_EQ(node->getInhibitUpdateCounter(), 0);
        }
        Lines released = log.take();
        std::size_t releases = 0;
        for (std::string const& line : released) {
            releases += line.find(" 4 ") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(releases, size);
        unlinkAll(nodes[0]); // reference cycles keep their nodes alive
    }
}

TEST(Hierarchy, RemovingAReferenceAttributeReturnsItsInhibitLevels) {
    Log log;
    Ref<Node> const owner = CustomNode::create(nullptr);
    Ref<Group> const child = makeGroup("child");
    owner->registerAttribute("child", AT_S_NODE_PTR).setGeneric(AttributeValue(NodeRef(child)));
    owner->registerAttribute("more", AT_M_NODE_PTR)
        .setGeneric(AttributeValue(refs({child, child})));
    {
        InhibitUpdate const batch(*owner);
        EXPECT_EQ(child->getInhibitUpdateCounter(), 3);
        owner->removeAttribute("child");
        EXPECT_EQ(child->getInhibitUpdateCounter(), 2);
        owner->removeAllAttributes();
        EXPECT_EQ(child->getInhibitUpdateCounter(), 0);
        // Let go, the child reports its changes at once.
        log.watch(*child, "c");
        child->value.set(1);
        EXPECT_EQ(Lines{"c 0 value"}, log.lines);
    }
    EXPECT_EQ(child->getInhibitUpdateCounter(), 0);
    EXPECT_EQ(child->getNumberOfOwnerLinks(), 0u);
    // Nothing climbs into the removed attributes any more.
    log.take();
    log.watchHierarchy(*owner, "o");
    child->value.set(2);
    EXPECT_EQ(Lines{"c 0 value"}, log.take());
}

TEST(Ownership, RegistryLinksCountAttributesNotReferences) {
    auto const first = boost::make_shared<Registry>();
    auto const second = boost::make_shared<Registry>();
    Ref<Group> const owner = makeGroup("o", nullptr, first);
    Ref<Group> const foreign = makeGroup("f", nullptr, second);
    owner->items.set(refs({foreign, foreign}));
    EXPECT_EQ(first->getDependingRegistryCount(*second), 1);
    EXPECT_EQ(second->getSuperiorRegistryCount(*first), 1);
    owner->items.eraseElement(0);
    EXPECT_EQ(first->getDependingRegistryCount(*second), 1);
    owner->link.set(foreign);
    EXPECT_EQ(first->getDependingRegistryCount(*second), 2);
    owner->items.eraseElement(0);
    owner->link.set(NodeRef());
    EXPECT_EQ(first->getDependingRegistryCount(*second), 0);
    EXPECT_EQ(second->getSuperiorRegistryCount(*first), 0);

    // A node without a registry joins its owner's; no link is counted.
    Ref<Group> const homeless = makeGroup("h");
    owner->link.set(homeless);
    EXPECT_EQ(homeless->getRegistry(), first);
    EXPECT_EQ(first->findNode(homeless->getNodeId()), NodeRef(homeless));
    EXPECT_EQ(first->getDependingRegistryCount(*first), 0);

    // Moving a referenced node to another registry moves its links with it.
    owner->link.set(foreign);
    foreign->setRegistry(first);
    EXPECT_EQ(first->getDependingRegistryCount(*second), 0);
    EXPECT_EQ(second->getSuperiorRegistryCount(*first), 0);
    foreign->setRegistry(second);
    EXPECT_EQ(first->getDependingRegistryCount(*second), 1);
    owner->link.set(NodeRef());
    EXPECT_EQ(first->getDependingRegistryCount(*second), 0);
}

TEST(Ownership, ParentAndAncestorSearches) {
    Ref<Group> const grand = makeGroup("grand");
    Ref<Node> const custom = CustomNode::create(nullptr);
    Ref<Group> const parent = makeGroup("parent");
    Ref<Group> const child = makeGroup("child");
    grand->link.set(parent);
    parent->items.set(refs({child}));
    custom->registerAttribute("c", AT_S_NODE_PTR).setGeneric(AttributeValue(NodeRef(child)));

    EXPECT_EQ(child->findParentOfType(CustomNode::getUUID(), true), custom);
    NodeRef const anyParent = child->findParentOfType(Node::getUUID(), false);
    EXPECT_TRUE(anyParent == NodeRef(parent) || anyParent == custom);
    EXPECT_FALSE(child->findParentOfType(Node::getUUID(), true));
    // A direct owner of the class is preferred over a deeper one.
    EXPECT_EQ(child->findAnchestorOfType(Group::getUUID()), NodeRef(parent));
    EXPECT_EQ(parent->findAnchestorOfType(Group::getUUID()), NodeRef(grand));
    EXPECT_FALSE(grand->findAnchestorOfType(Group::getUUID()));
    Node const& constChild = *child;
    EXPECT_EQ(constChild.findAnchestorOfType(CustomNode::getUUID()).get(), custom.get());
}

} // namespace
} // namespace Norv::Tavel::testing

// Two nodes kept in step: edits both ways without echo, attributes added and
// removed, references mirrored by copies, cycles and deep chains, and
// synchronizers or nodes that go while a change is being applied.

#include "support/GraphTestSupport.h"

#include <tavel/operations/NodeSynchronizer.h>

#include <gtest/gtest.h>

#include <memory>

namespace Norv::Tavel::testing {
namespace {

TEST(NodeSynchronizer, EditsFollowBothWaysWithoutEcho) {
    Log log;
    Ref<Group> const a = makeGroup("a");
    Ref<Group> const b = makeGroup("b");
    b->value.set(4); // values may differ, classes and names may not
    NodeSynchronizer const mismatched(a, Lamp::create(nullptr));
    EXPECT_FALSE(mismatched.isConnected());
    log.watch(*a, "a");
    log.watch(*b, "b");
    NodeSynchronizer sync(a, b);
    EXPECT_TRUE(sync.isConnected());
    sync.setIgnoreAttributeNames({"private"});

    a->value.set(1);
    b->value.set(2);
    setFloat(a->registerAttribute("gain", AT_S_FLOAT, true), 0.5f);
    b->registerAttribute("private", AT_S_INT32).setGeneric(AttributeValue(9));
    EXPECT_EQ((Lines{"a 0 value", "b 0 value", "b 0 value", "a 0 value", "a 6 gain", "b 6 gain",
                     "a 0 gain", "b 0 gain", "b 6 private", "b 0 private"}),
              log.take());
    EXPECT_EQ(2, a->value.get());
    EXPECT_TRUE(b->getAttribute("gain")->hasMinMaxValues());
    EXPECT_EQ(AT_S_FLOAT, b->getAttribute("gain")->getAttributeType());
    EXPECT_FALSE(a->getAttribute("private"));

    b->removeAttribute("gain");
    EXPECT_FALSE(a->getAttribute("gain"));
    a->items.set(refs({makeGroup("x")})); // lists of references stay on their side
    EXPECT_EQ(0u, b->items.getSize());
    EXPECT_EQ((Lines{"b 7 gain", "a 7 gain", "a 8 -", "b 8 -", "a 0 items"}), log.take());

    sync.setFirstItem(a);
    EXPECT_FALSE(sync.isConnected());
    a->value.set(3);
    EXPECT_EQ(2, b->value.get());
}

TEST(NodeSynchronizer, SingleReferencesAreMirroredByCopiesKeptInStep) {
    Ref<Group> const a = makeGroup("a");
    Ref<Group> const b = makeGroup("b");
    // Custom references do not take part in the match: b's side may hold a
    // node while a's is empty, and no child is made for them then.
    auto& part = dynamic_cast<DataSANode<Node>&>(a->registerAttribute("part", AT_S_NODE_PTR));
    auto& other = dynamic_cast<DataSANode<Node>&>(b->registerAttribute("part", AT_S_NODE_PTR));
    other.set(makeGroup("old"));
    NodeSynchronizer const sync(a, b);
    Ref<Group> const child = makeGroup("c");
    child->value.set(3);
    part.set(child);
    NodeRef const copy = other.get();
    ASSERT_TRUE(copy);
    EXPECT_NE(NodeRef(child), copy);
    EXPECT_EQ(3, as(copy).value.get());
    child->value.set(4); // the child synchronizer made for the missing one
    EXPECT_EQ(4, as(copy).value.get());
    as(copy).value.set(5);
    EXPECT_EQ(5, child->value.get());
    part.set(NodeRef());
    EXPECT_FALSE(other.get());
    child->value.set(6);
    EXPECT_EQ(5, as(copy).value.get());

    a->link.set(child); // a fixed reference, both sides empty before
    NodeRef const fixedCopy = b->link.get();
    ASSERT_TRUE(fixedCopy);
    child->value.set(7);
    EXPECT_EQ(7, as(fixedCopy).value.get());
}

// Custom attributes do not take part in the match, so one side may lack an
// attribute or carry it with another type: such changes stay on their side.
TEST(NodeSynchronizer, AttributesTheOtherSideLacksOrTypesOtherwiseAreSkipped) {
    Ref<Group> const a = makeGroup("a");
    Ref<Group> const b = makeGroup("b");
    Attribute& size = a->registerAttribute("size", AT_S_FLOAT);
    b->registerAttribute("size", AT_S_INT32);
    auto& extra = dynamic_cast<DataSANode<Node>&>(a->registerAttribute("extra", AT_S_NODE_PTR));
    extra.set(makeGroup("e"));
    NodeSynchronizer const sync(a, b);
    ASSERT_TRUE(sync.isConnected());
    setFloat(size, 2.0f);
    extra.set(makeGroup("f"));
    EXPECT_EQ(0, *b->getAttribute("size")->getGeneric().get<int>());
    EXPECT_FALSE(b->getAttribute("extra"));
}

// A synchronizer that follows the references of a cycle would make children
// without end; a pair an enclosing synchronizer keeps in step gets none.
TEST(NodeSynchronizer, CyclesAndDeepChainsEnd) {
    std::vector<Ref<Group>> const one = chain(2, true), two = chain(2, true);
    {
        NodeSynchronizer const sync(one[0], two[0]);
        one[1]->value.set(7);
        EXPECT_EQ(7, two[1]->value.get());
        two[0]->value.set(8);
        EXPECT_EQ(8, one[0]->value.get());
    }
    one[1]->link.set(NodeRef());
    two[1]->link.set(NodeRef());

    std::vector<Ref<Group>> const first = chain(10000), second = chain(10000);
    auto sync = std::make_unique<NodeSynchronizer>(first.front(), second.front());
    first.back()->value.set(1);
    EXPECT_EQ(1, second.back()->value.get());
    sync.reset();
}

// The subscriptions are unblocked however a change ends, and whatever goes
// while it is applied (the synchronizer, a child, a node) is not touched again.
TEST(NodeSynchronizer, SurvivesWhatHappensWhileItApplies) {
    Ref<Group> a = makeGroup("a");
    Ref<Group> b = makeGroup("b");
    auto sync = std::make_unique<NodeSynchronizer>(a, b);
    Ref<Group> const child = makeGroup("c");
    // Runs the next action once, when the node hears of a change.
    std::function<void()> onMirrored;
    for (Group* node : {b.get(), child.get()}) {
        node->subscribeForNodeChangeNotification([&](ChangeAction, auto&&...) {
            if (onMirrored) {
                std::function<void()> const action = std::exchange(onMirrored, nullptr);
                action();
            }
        });
    }
    onMirrored = [] { throw std::runtime_error("subscriber"); };
    EXPECT_THROW(a->value.set(1), std::runtime_error);
    a->value.set(2);
    EXPECT_EQ(2, b->value.get());

    a->link.set(child);
    onMirrored = [&] { a->link.set(NodeRef()); }; // destroys the child mid-way
    as(b->link.get()).value.set(3);
    EXPECT_EQ(3, child->value.get());
    EXPECT_FALSE(b->link.get());

    onMirrored = [&] { sync.reset(); };
    a->value.set(4);
    EXPECT_EQ(4, b->value.get());
    a->value.set(5);
    EXPECT_EQ(4, b->value.get());

    // Nodes destroyed in either order while connected.
    sync = std::make_unique<NodeSynchronizer>(a, b);
    onMirrored = [&] { a.reset(); };
    EXPECT_NO_THROW(a->value.set(6));
    EXPECT_FALSE(sync->isConnected());
    EXPECT_FALSE(sync->getFirstItem());
    b->value.set(7);
    b.reset();
    sync.reset();
    Ref<Group> const c = makeGroup("c");
    Ref<Group> d = makeGroup("d");
    NodeSynchronizer const last(c, d);
    d.reset();
    c->value.set(1);
    EXPECT_FALSE(last.getSecondItem());
}

} // namespace
} // namespace Norv::Tavel::testing

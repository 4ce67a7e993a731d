#include "support/GraphTestSupport.h"

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

TEST(SingleReference, BindsTheNewNodeBeforeReleasingTheOld) {
    Lines hooks;
    Log log;
    Ref<Group> const owner = makeGroup("o", &hooks);
    Ref<Group> const a = makeGroup("a");
    Ref<Group> const b = makeGroup("b");
    log.watch(*owner, "o");

    owner->link.set(a);
    owner->link.set(a); // the node already held: nothing
    owner->link.set(b);
    EXPECT_EQ((Lines{"+a link", "+b link", "-a link"}), hooks);
    EXPECT_EQ((Lines{"o 0 link", "o 0 link"}), log.take());
    EXPECT_EQ(a->getNumberOfOwnerLinks(), 0u);
    EXPECT_EQ(b->countOwnerLinks(owner->link), 1u);

    owner->link.set(NodeRef());
    EXPECT_EQ(b->getNumberOfOwnerLinks(), 0u);
    EXPECT_EQ((Lines{"o 0 link"}), log.take());
    EXPECT_FALSE(owner->link.get());

    EXPECT_THROW(owner->link.setGeneric(AttributeValue(refs({a}))), BadCastException);
    owner->link.setGeneric(AttributeValue(NodeRef(a)));
    EXPECT_EQ(owner->link.get(), NodeRef(a));
}

TEST(SingleReference, ComparesByIdentityNotContent) {
    Ref<Group> const x = makeGroup("x");
    Ref<Group> const y = makeGroup("y");
    Ref<Group> const p = makeGroup("p");
    Ref<Group> const q = makeGroup("q");
    p->link.set(x);
    q->link.set(y);
    EXPECT_FALSE(p->link.compare(q->link));
    q->link.set(x);
    EXPECT_TRUE(p->link.compare(q->link));
    EXPECT_FALSE(p->link.compare(p->items));
    p->link.assign(q->link);
    EXPECT_EQ(p->link.get(), NodeRef(x));
}

TEST(ListReference, EveryPositionHasItsOwnLinkAndHook) {
    Lines hooks;
    Ref<Group> const owner = makeGroup("o", &hooks);
    Ref<Group> const x = makeGroup("x");
    Ref<Group> const y = makeGroup("y");
    owner->items.set(refs({x, x, y}));
    EXPECT_EQ((Lines{"+x@0 items", "+x@1 items", "+y@2 items"}), hooks);
    EXPECT_EQ(x->countOwnerLinks(owner->items), 2u);

    hooks.clear();
    owner->items.insertElement(y, 100); // past the end appends
    EXPECT_EQ(owner->items.getSize(), 4u);
    EXPECT_EQ(owner->items.getElement(3), NodeRef(y));
    EXPECT_THROW(owner->items.getElement(4), OutOfRangeException);

    owner->items.eraseElements(1, 9); // past the end: nothing
    EXPECT_EQ(owner->items.getSize(), 4u);
    owner->items.eraseElements(2, 1); // last before first: only first
    EXPECT_EQ(owner->items.get(), refs({x, x, y}));
    EXPECT_EQ((Lines{"+y@0 items", "-y@2 items"}), hooks);
    EXPECT_EQ(y->countOwnerLinks(owner->items), 1u);

    owner->items.eraseElement(7);
    owner->items.eraseElements(0, 2);
    EXPECT_EQ(owner->items.getSize(), 0u);
    EXPECT_EQ(x->getNumberOfOwnerLinks(), 0u);
    EXPECT_EQ(y->getNumberOfOwnerLinks(), 0u);
}

TEST(ListReference, SetWalksOnlyTheDifference) {
    Lines hooks;
    Ref<Group> const owner = makeGroup("o", &hooks);
    Ref<Group> const p = makeGroup("P");
    Ref<Group> const q = makeGroup("Q");
    Ref<Group> const r = makeGroup("R");
    Ref<Group> const s = makeGroup("S");
    owner->items.set(refs({p, q, r}));
    hooks.clear();
    owner->items.set(refs({p, s, r}));
    EXPECT_EQ((Lines{"+S@1 items", "-Q@2 items"}), hooks);

    hooks.clear();
    owner->items.set(refs({s, r}));
    owner->items.set(refs({}));
    EXPECT_EQ((Lines{"-P@0 items", "-S@0 items", "-R@0 items"}), hooks);
    for (Ref<Group> const& node : {p, q, r, s}) {
        EXPECT_EQ(node->getNumberOfOwnerLinks(), 0u);
    }
}

TEST(ListReference, RefusedEditsChangeNothing) {
    Lines hooks;
    Log log;
    Ref<Group> const owner = makeGroup("o", &hooks);
    Ref<Group> const x = makeGroup("x");
    Ref<Group> const y = makeGroup("y");
    Ref<Group> const refusing = makeGroup("r");
    refusing->refuseOwners = true;
    owner->items.set(refs({x}));
    log.watch(*owner, "o");
    hooks.clear();

    std::vector<NodeRef> withNull = refs({y, x});
    withNull.insert(withNull.begin() + 1, NodeRef());
    EXPECT_THROW(owner->items.set(withNull), BadCastException);
    EXPECT_THROW(owner->items.insertElements(withNull, 0), BadCastException);
    EXPECT_THROW(owner->items.insertElement(NodeRef(), 0), BadCastException);
    EXPECT_THROW(owner->items.insertNodeList({Ref<Node>(y), Ref<Node>()}, 0), BadCastException);
    EXPECT_THROW(owner->items.setGeneric(AttributeValue(NodeRef(y))), BadCastException);
    EXPECT_TRUE(hooks.empty());

    // Half-way failures are rolled back: hooks see the undo, links are as before.
    EXPECT_THROW(owner->items.insertElements(refs({y, refusing, x}), 0), InvalidOperationException);
    EXPECT_THROW(owner->items.set(refs({y, refusing})), InvalidOperationException);
    EXPECT_EQ(owner->items.get(), refs({x}));
    EXPECT_EQ(x->countOwnerLinks(owner->items), 1u);
    EXPECT_EQ(y->getNumberOfOwnerLinks(), 0u);
    EXPECT_EQ(refusing->getNumberOfOwnerLinks(), 0u);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(hooks.size() % 2, 0u); // every + has its -

    EXPECT_THROW(owner->link.set(refusing), InvalidOperationException);
    EXPECT_FALSE(owner->link.get());
}

TEST(ListReference, ElementsFollowTheInhibitDepthOfTheAttribute) {
    Ref<Group> const owner = makeGroup("o");
    Ref<Group> const x = makeGroup("x");
    owner->items.incInhibitUpdateCounter();
    owner->items.incInhibitUpdateCounter();
    owner->items.insertElement(x, 0);
    EXPECT_EQ(x->getInhibitUpdateCounter(), 2);
    owner->items.insertElement(x, 0);
    EXPECT_EQ(x->getInhibitUpdateCounter(), 4);
    owner->items.eraseElement(0);
    EXPECT_EQ(x->getInhibitUpdateCounter(), 2);
    owner->items.decInhibitUpdateCounter();
    owner->items.decInhibitUpdateCounter();
    EXPECT_EQ(x->getInhibitUpdateCounter(), 0);
}

TEST(NodeReferences, CopiesAndAssignmentKeepInhibitLevelsBalanced) {
    Ref<Group> const owner = makeGroup("o");
    Ref<Group> const other = makeGroup("other");
    Ref<Group> const x = makeGroup("x");
    owner->link.set(x);
    owner->items.set(refs({x}));
    owner->link.incInhibitUpdateCounter();
    owner->items.incInhibitUpdateCounter();
    EXPECT_EQ(x->getInhibitUpdateCounter(), 2);
    {
        DataSANode<Node> const linkCopy(owner->link);
        DataMANode<Node> const itemsCopy(owner->items);
        EXPECT_EQ(linkCopy.get(), NodeRef(x));
        EXPECT_EQ(itemsCopy.getSize(), 1u);
    }
    other->link = owner->link;
    other->items = owner->items;
    EXPECT_EQ(x->getInhibitUpdateCounter(), 2);
    owner->link.decInhibitUpdateCounter();
    owner->items.decInhibitUpdateCounter();
    EXPECT_EQ(x->getInhibitUpdateCounter(), 0);
    EXPECT_EQ(x->getNumberOfOwnerLinks(), 4u);
}

} // namespace
} // namespace Norv::Tavel::testing

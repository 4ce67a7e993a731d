// Reference edits and inhibition attacked from inside: hooks that refuse,
// subscribers that edit, release or open scopes while an edit runs, and cycles
// made or broken inside a scope. Run under the sanitizers, a use of freed
// memory here fails the build.

#include "support/GraphTestSupport.h"
#include "support/OutputCapture.h"

#include <gtest/gtest.h>

namespace Norv::Tavel::testing {
namespace {

// Runs `action` once, on the first CA_UPDATES_RELEASED of `node`.
Connection onRelease(Node& node, std::function<void()> action) {
    return node.subscribeForNodeChangeNotification(
        [action, done = false](ChangeAction what, Node const&,
                               boost::optional<Attribute const&>) mutable {
            if (what == CA_UPDATES_RELEASED && !done) {
                done = true;
                action();
            }
        });
}

// Counts in `destroyed` the destruction of each node.
std::vector<Connection> countDestruction(std::vector<Group*> const& nodes, int& destroyed) {
    std::vector<Connection> connections;
    for (Group* node : nodes) {
        connections.push_back(node->subscribeForNodeChangeNotification(
            [&destroyed](ChangeAction what, Node const&, boost::optional<Attribute const&>) {
                destroyed += what == CA_NODE_DESTROYED ? 1 : 0;
            }));
    }
    return connections;
}

TEST(ReferenceEdits, ARefusedEditLeavesNoTraceInsideAScope) {
    Log log;
    Ref<Group> const owner = makeGroup("o");
    Ref<Group> const a = makeGroup("a");
    Ref<Group> const q = makeGroup("q");
    Ref<Group> const p = makeGroup("p");
    p->refuseOwners = true;
    owner->items.set(refs({a}));
    q->value.set(5); // nobody listens yet: held as pending
    log.watch(*a, "a");
    log.watch(*q, "q");
    {
        InhibitUpdate const scope(*owner);
        a->value.set(5);
        EXPECT_THROW(owner->items.insertElements(refs({q, p}), 0), InvalidOperationException);
        EXPECT_THROW(owner->items.set(refs({q, p})), InvalidOperationException);
        EXPECT_TRUE(log.lines.empty()) << log.lines.front();
        q->value.set(1); // q was never below the owner: reported at once
        a->value.set(1); // a stays below: held back
        EXPECT_EQ(Lines{"q 0 value"}, log.take());
        EXPECT_EQ(q->getInhibitUpdateCounter(), 0);
    }
    EXPECT_EQ(Lines{"a 4 -"}, log.take());
    EXPECT_EQ(owner->items.get(), refs({a}));
    EXPECT_EQ(a->countOwnerLinks(owner->items), 1u);
    EXPECT_EQ(q->getNumberOfOwnerLinks() + p->getNumberOfOwnerLinks(), 0u);
}

TEST(ReferenceEdits, UndoIsNeverRefusedAgain) {
    CapturedOutput debug;
    Lines hooks;
    Ref<Group> owner = makeGroup("o", &hooks);
    Ref<Group> const a = makeGroup("a");
    Ref<Group> const b = makeGroup("b");
    Ref<Group> const refusing = makeGroup("r");
    owner->link.set(a);

    // A removeElement hook that throws refuses the edit and, told of the
    // undo of an insert, cannot keep a link alive.
    owner->refuseRemovals = true;
    EXPECT_THROW(owner->link.set(b), InvalidOperationException);
    EXPECT_EQ(owner->link.get(), NodeRef(a));
    refusing->refuseOwners = true;
    EXPECT_THROW(owner->items.insertElements(refs({b, refusing}), 0), InvalidOperationException);
    EXPECT_EQ(b->getNumberOfOwnerLinks(), 0u);
    EXPECT_EQ(refusing->getNumberOfOwnerLinks(), 0u);
    EXPECT_EQ(debug.texts.size(), 3u); // each hook that threw while told of an undo
    EXPECT_EQ(owner->items.getSize(), 0u);

    // The undo of a leave never asks the element to be owned again.
    owner->refuseRemovals = false;
    owner->items.set(refs({a}));
    a->refuseOwners = true;
    EXPECT_THROW(owner->items.set(refs({refusing})), InvalidOperationException);
    EXPECT_EQ(owner->items.get(), refs({a}));
    EXPECT_EQ(a->countOwnerLinks(owner->items), 1u);
    Log log;
    log.watchHierarchy(*owner, "o");
    a->value.set(3);
    EXPECT_EQ(Lines{"o h value"}, log.take());

    // Every link the owner made goes with it: nothing climbs into it later.
    owner.reset();
    EXPECT_EQ(a->getNumberOfOwnerLinks() + b->getNumberOfOwnerLinks(), 0u);
    b->value.set(1);
    a->value.set(1);
}

TEST(ReferenceEdits, AListEmptiedByARemovalHookKeepsItsNodesForTheUndo) {
    // The list holds the only references: the nested edit lets the nodes go
    // while the refused edit still has to tell the hook of its undo.
    for (bool const erase : {true, false}) {
        SCOPED_TRACE(erase);
        Lines hooks;
        Ref<Group> const owner = makeGroup("o", &hooks);
        Ref<Group> a = makeGroup("a");
        Ref<Group> b = makeGroup("b");
        int destroyed = 0;
        std::vector<Connection> const watches = countDestruction({a.get(), b.get()}, destroyed);
        owner->items.set(refs({a, b}));
        a.reset();
        b.reset();
        hooks.clear();
        bool done = false;
        owner->onRemoval = [&] {
            if (!std::exchange(done, true)) {
                owner->items.set({});
            }
        };
        if (erase) {
            EXPECT_THROW(owner->items.eraseElements(0, 1), InvalidOperationException);
        } else {
            EXPECT_THROW(owner->items.set({}), InvalidOperationException);
        }
        EXPECT_EQ(owner->items.getSize(), 0u);
        EXPECT_EQ((Lines{"-a@0 items", "-a@0 items", "-b@0 items", "+a@0 items"}), hooks);
        EXPECT_EQ(destroyed, 2);
    }
}

TEST(ReferenceEdits, AnUnlinkHookMayEditTheReferencesItIsLeaving) {
    // The nested edit stands; the edit whose unlinking ran the hook ends
    // there, and every node goes with its last reference. Erasing from the
    // list, setting the list, setting a single reference.
    for (int const mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        bool const single = mode == 2;
        Ref<Group> const owner = makeGroup("o");
        Ref<Group> a = makeGroup("a");
        Ref<Group> b = makeGroup("b");
        Ref<Group> const c = makeGroup("c");
        Ref<Group> const d = makeGroup("d");
        int destroyed = 0;
        std::vector<Connection> const watches = countDestruction({a.get(), b.get()}, destroyed);
        if (single) {
            owner->link.set(a);
        } else {
            owner->items.set(refs({a, b}));
        }
        a->onUnlinked = [&owner, &c, single, done = false]() mutable {
            if (!std::exchange(done, true)) {
                single ? owner->link.set(c) : owner->items.set(refs({c}));
            }
        };
        a.reset();
        b.reset();
        if (mode == 0) {
            owner->items.eraseElements(0, 1);
        } else if (mode == 1) {
            owner->items.set(refs({d}));
        } else {
            owner->link.set(d);
        }
        if (single) {
            EXPECT_EQ(owner->link.get(), NodeRef(c));
            EXPECT_EQ(c->countOwnerLinks(owner->link), 1u);
        } else {
            EXPECT_EQ(owner->items.get(), refs({c}));
            EXPECT_EQ(c->countOwnerLinks(owner->items), 1u);
        }
        EXPECT_EQ(d->getNumberOfOwnerLinks(), 0u);
        EXPECT_EQ(destroyed, 2);
    }
}

TEST(ReferenceEdits, ReleaseNotificationsMayEditTheSameAttribute) {
    Ref<Group> const owner = makeGroup("o");
    Ref<Group> const x = makeGroup("x");
    Ref<Group> const y = makeGroup("y");
    Ref<Group> const z = makeGroup("z");
    Ref<Group> const w = makeGroup("w");
    Ref<Group> const b = makeGroup("b");
    std::vector<Ref<Group>> const all{x, y, z, w, b};
    auto const linksAndDepths = [&] {
        std::vector<std::size_t> seen;
        for (auto const& node : all) {
            seen.push_back(node->getNumberOfOwnerLinks() * 100 +
                           std::size_t(node->getInhibitUpdateCounter()));
        }
        return seen;
    };

    // A list emptied while an erase lets its first element go.
    owner->items.set(refs({x, y, z, w}));
    Connection const emptying = onRelease(*x, [&] { owner->items.set({}); });
    {
        InhibitUpdate const scope(*owner);
        x->value.set(1);
        owner->items.eraseElements(0, 2);
    }
    EXPECT_EQ(owner->items.getSize(), 0u);
    EXPECT_EQ(linksAndDepths(), (std::vector<std::size_t>{0, 0, 0, 0, 0}));

    // A single reference moved on again while the node it let go is released.
    owner->link.set(x);
    Connection const moving = onRelease(*x, [&] { owner->link.set(z); });
    {
        InhibitUpdate const scope(*owner);
        x->value.set(2);
        owner->link.set(b);
        EXPECT_EQ(owner->link.get(), NodeRef(z));
        EXPECT_EQ(z->getInhibitUpdateCounter(), 1);
    }
    EXPECT_EQ(linksAndDepths(), (std::vector<std::size_t>{0, 0, 100, 0, 0}));

    // The same with a whole list: the nested edit stands.
    owner->items.set(refs({y}));
    Connection const replacing = onRelease(*y, [&] { owner->items.set(refs({w})); });
    {
        InhibitUpdate const scope(*owner);
        y->value.set(3);
        owner->items.set(refs({b}));
    }
    EXPECT_EQ(owner->items.get(), refs({w}));
    EXPECT_EQ(linksAndDepths(), (std::vector<std::size_t>{0, 0, 100, 100, 0}));
    owner->link.set(NodeRef());
    EXPECT_EQ(z->findParentOfType(Group::getUUID(), true), NodeRef());
}

TEST(ReferenceEdits, NodesStayAliveWhileTheyNotify) {
    // An owner dropped by its own hierarchical subscriber while a change climbs.
    Ref<Group> owner = makeGroup("o");
    Ref<Group> const child = makeGroup("c");
    owner->link.set(child);
    owner->subscribeForHierachicalChangeNotification(
        [&](Node const&, boost::optional<Attribute const&>, bool) { owner.reset(); });
    child->value.set(1);
    EXPECT_FALSE(owner);
    EXPECT_EQ(child->getNumberOfOwnerLinks(), 0u);

    // A node halfway up, held only by its two owners, both of which the first
    // owner's subscriber lets go of while the climb still has the second to tell.
    Ref<Group> const first = makeGroup("f");
    Ref<Group> const second = makeGroup("s");
    Ref<Group> middle = makeGroup("m");
    middle->link.set(child);
    first->link.set(middle);
    second->items.set(refs({middle}));
    middle.reset();
    bool done = false;
    auto const letGo = [&](Node const&, boost::optional<Attribute const&>, bool) {
        if (!std::exchange(done, true)) {
            first->link.set(NodeRef());
            second->items.set(refs({}));
        }
    };
    Connection const watchFirst = first->subscribeForHierachicalChangeNotification(letGo);
    Connection const watchSecond = second->subscribeForHierachicalChangeNotification(letGo);
    child->value.set(2);
    EXPECT_TRUE(done);
    EXPECT_EQ(child->getNumberOfOwnerLinks(), 0u);

    // An editing node dropped by the release of the node its set lets go.
    Ref<Group> editing = makeGroup("e");
    Ref<Group> const a = makeGroup("a");
    Ref<Group> const b = makeGroup("b");
    editing->link.set(a);
    editing->link.incInhibitUpdateCounter();
    a->value.set(1);
    Connection const dropping = onRelease(*a, [&] { editing.reset(); });
    Node& node = *editing;
    static_cast<Group&>(node).link.set(b);
    EXPECT_FALSE(editing);
    EXPECT_EQ(a->getNumberOfOwnerLinks() + b->getNumberOfOwnerLinks(), 0u);

    // An attribute removed by the subscriber told it was added is not handed out.
    Ref<Node> const custom = CustomNode::create(nullptr);
    Connection const removing = custom->subscribeForNodeChangeNotification(
        [&](ChangeAction what, Node const&, boost::optional<Attribute const&>) {
            if (what == CA_ATTRIBUTE_ADDED) {
                custom->removeAllAttributes();
            }
        });
    EXPECT_THROW(custom->registerAttribute("size", AT_S_FLOAT), InvalidOperationException);
    EXPECT_FALSE(custom->getAttribute("size"));
}

TEST(ReferenceEdits, CyclesEditedInsideAScopeReturnEveryLevel) {
    Log log;
    // A node made to refer to itself inside its own scope.
    Ref<Group> const x = makeGroup("x");
    log.watch(*x, "x");
    {
        InhibitUpdate const scope(*x);
        x->link.set(x);
    }
    EXPECT_EQ(x->getInhibitUpdateCounter(), 0);
    log.take();
    x->value.set(1);
    EXPECT_EQ(Lines{"x 0 value"}, log.take());
    x->link.set(NodeRef());
    log.take();

    // A ring broken inside a scope on one of its nodes.
    Ref<Group> const a = makeGroup("a");
    Ref<Group> const b = makeGroup("b");
    a->link.set(b);
    b->link.set(a);
    log.watch(*a, "a");
    {
        InhibitUpdate const scope(*a);
        b->link.set(NodeRef());
        a->value.set(1);
        EXPECT_TRUE(log.lines.empty());
    }
    EXPECT_EQ(Lines{"a 4 -"}, log.take());

    // A scope opened and closed on the root of a ring during a release.
    b->link.set(a);
    Connection const nested = onRelease(*b, [&] { InhibitUpdate const inner(*a); });
    {
        InhibitUpdate const scope(*a);
        b->value.set(1);
        a->value.set(2);
    }
    EXPECT_EQ(Lines{"a 4 -"}, log.take());
    EXPECT_EQ(a->getInhibitUpdateCounter() + b->getInhibitUpdateCounter(), 0);
    b->link.set(NodeRef());
}

TEST(ReferenceEdits, CustomReferencesAreWholeWhenTheirNodesLetGo) {
    Lines unlinked;
    Ref<Group> const target = makeGroup("t");
    target->unlinked = &unlinked;
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        Ref<Node> owner = CustomNode::create(nullptr);
        owner->registerAttribute("holder", AT_S_NODE_PTR)
            .setGeneric(AttributeValue(NodeRef(target)));
        if (how == 0) {
            owner->removeAttribute("holder");
        } else if (how == 1) {
            owner->removeAllAttributes();
        } else {
            owner.reset();
        }
        EXPECT_EQ(Lines{"holder"}, unlinked);
        EXPECT_EQ(target->getNumberOfOwnerLinks(), 0u);
        unlinked.clear();
    }
}

} // namespace
} // namespace Norv::Tavel::testing

#include "support/NodeTestSupport.h"

#include <tavel/attributes/DataSANode.h>
#include <tavel/types/Exceptions.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace Norv::Tavel::testing {
namespace {

void link(Node& owner, char const* name, Ref<Lamp> const& target) {
    owner.registerAttribute(name, AT_S_NODE_PTR).setGeneric(AttributeValue(NodeRef(target)));
}

TEST(NodeNotification, OwnChangesReachNodeThenHierarchicalSubscribers) {
    Log log;
    Ref<Lamp> lamp = Lamp::create(nullptr);
    Connection const watch = log.watch(*lamp, "l");
    log.watchHierarchy(*lamp, "l");
    Attribute& gain = lamp->registerAttribute("gain", AT_S_FLOAT);
    setFloat(gain, 2.0f);
    setFloat(gain, 2.0f);
    lamp->intensity.set(20.0f);
    lamp->removeAttribute("gain");
    EXPECT_EQ((Lines{"l 6 gain", "l h gain s", "l 0 gain", "l h gain", "l 0 intensity",
                     "l h intensity", "l 7 gain", "l 8 -", "l h - s"}),
              log.take());
    lamp.reset();
    EXPECT_EQ(Lines{"l 10 -"}, log.lines);
    EXPECT_FALSE(watch.isConnected());
}

TEST(InhibitUpdate, HoldsChangesBackAndReleasesOncePerChangedNode) {
    Log log;
    Ref<Node> const parent = CustomNode::create(nullptr);
    Ref<Lamp> const child = Lamp::create(nullptr);
    log.watch(*parent, "p");
    log.watchHierarchy(*parent, "p");
    log.watch(*child, "c");
    log.watchHierarchy(*child, "c");
    link(*parent, "child", child);
    log.take();
    {
        InhibitUpdate outer(*parent);
        {
            InhibitUpdate inner(*parent);
            child->seed.set(1);
        }
        child->label.set("x");
        EXPECT_TRUE(log.lines.empty());
    }
    // A change below alone reaches the parent's hierarchical subscribers once,
    // and no CA_UPDATES_RELEASED of the parent.
    EXPECT_EQ((Lines{"c 4 -", "c h -", "p h -"}), log.take());
    {
        InhibitUpdate batch(*parent);
        parent->registerAttribute("extra", AT_S_BOOL);
    }
    EXPECT_EQ((Lines{"p 4 -", "p h - s"}), log.take());
}

TEST(InhibitUpdate, ChangesNobodyHeardWaitForTheNextRelease) {
    Log log;
    Ref<Node> const node = CustomNode::create(nullptr);
    Attribute& value = node->registerAttribute("value", AT_S_FLOAT);
    log.watch(*node, "n").disconnect(); // the signal goes with its last subscriber
    setFloat(value, 1.0f);
    log.watch(*node, "n");
    { InhibitUpdate batch(*node); }
    EXPECT_EQ(Lines{"n 4 -"}, log.lines);
}

TEST(Reentrancy, SubscriberMayDropTheLastReference) {
    auto const live = Registry::INSTANCE_COUNTER;
    // Dropped by: 0 the node change subscriber, 1 the hierarchical one, 2 at the release.
    for (int occasion = 0; occasion < 3; ++occasion) {
        SCOPED_TRACE(occasion);
        std::vector<int> heard;
        Ref<Node> node = CustomNode::create(nullptr);
        Attribute& value = node->registerAttribute("value", AT_S_FLOAT);
        node->subscribeForNodeChangeNotification([&](ChangeAction action, auto&&...) {
            heard.push_back(action);
            if (occasion != 1 && action != CA_NODE_DESTROYED) {
                node.reset();
            }
        });
        node->subscribeForHierachicalChangeNotification([&](auto&&...) {
            if (occasion == 1) {
                node.reset();
            }
        });
        {
            boost::optional<InhibitUpdate> batch;
            if (occasion == 2) {
                batch.emplace(*node);
            }
            setFloat(value, 1.0f);
        }
        int const first = occasion == 2 ? CA_UPDATES_RELEASED : CA_VALUE_CHANGED;
        EXPECT_EQ((std::vector<int>{first, CA_NODE_DESTROYED}), heard);
        EXPECT_EQ(live, Registry::INSTANCE_COUNTER);
    }
}

TEST(Reentrancy, SubscriberMayDisconnectItselfAndOthers) {
    std::vector<std::string> calls;
    Ref<Node> const node = CustomNode::create(nullptr);
    Attribute& value = node->registerAttribute("value", AT_S_FLOAT);
    Connection first, second, hierarchical;
    first = node->subscribeForNodeChangeNotification([&](auto&&...) {
        calls.push_back("first");
        first.disconnect();
        second.disconnect();
        hierarchical.disconnect();
    });
    second = node->subscribeForNodeChangeNotification([&](auto&&...) { calls.push_back("2"); });
    hierarchical =
        node->subscribeForHierachicalChangeNotification([&](auto&&...) { calls.push_back("h"); });
    setFloat(value, 1.0f);
    setFloat(value, 2.0f);
    EXPECT_EQ(std::vector<std::string>{"first"}, calls);
}

TEST(Reentrancy, ThrowingSubscriberLeavesTheChangeMadeAndTheNodeWorking) {
    auto const live = Registry::INSTANCE_COUNTER;
    Ref<Node> node = CustomNode::create(nullptr);
    Attribute& value = node->registerAttribute("value", AT_S_FLOAT);
    bool raise = true;
    std::vector<int> heard;
    node->subscribeForNodeChangeNotification(
        [&](ChangeAction action, Node const&, boost::optional<Attribute const&>) {
            heard.push_back(action);
            if (raise) {
                throw std::runtime_error("subscriber");
            }
        });
    EXPECT_THROW(setFloat(value, 1.0f), std::runtime_error);
    EXPECT_EQ(1.0f, *value.getGeneric().get<float>());
    EXPECT_THROW(
        {
            InhibitUpdate batch(*node);
            setFloat(value, 2.0f);
        },
        std::runtime_error);
    EXPECT_THROW(
        {
            InhibitUpdate batch(*node);
            setFloat(value, 3.0f);
            throw std::logic_error("host"); // the release's exception is dropped
        },
        std::logic_error);
    raise = false;
    setFloat(value, 4.0f); // not inhibited any more: heard at once
    EXPECT_EQ((std::vector<int>{0, 4, 4, 0}), heard);
    raise = true;
    EXPECT_THROW(node.reset(), std::runtime_error);
    EXPECT_EQ(live, Registry::INSTANCE_COUNTER);
}

TEST(Reentrancy, SubscriberMayEditAttributesWhileTheyAreWalked) {
    Log log;
    Ref<Node> const parent = CustomNode::create(nullptr);
    Ref<Lamp> const a = Lamp::create(nullptr);
    Ref<Lamp> const b = Lamp::create(nullptr);
    link(*parent, "a", a);
    link(*parent, "b", b);
    // Heard while the parent's inhibition is being lifted from its attributes.
    a->subscribeForNodeChangeNotification([&](ChangeAction action, auto&&...) {
        if (action == CA_UPDATES_RELEASED) {
            parent->removeAttribute("b");
            link(*parent, "c", b);
        }
    });
    {
        InhibitUpdate batch(*parent);
        a->seed.set(1);
    }
    EXPECT_FALSE(parent->getAttribute("b"));
    log.watch(*b, "b");
    log.watch(*parent, "p");
    // No level of the parent's inhibition is left behind, below or on the parent.
    b->seed.set(2);
    parent->registerAttribute("after", AT_S_BOOL);
    EXPECT_EQ((Lines{"b 0 seed", "p 6 after"}), log.lines);
}

TEST(Reentrancy, RemovalFromInsideTheRemovingNotificationHappensOnce) {
    std::vector<int> heard;
    Ref<Node> const a = CustomNode::create(nullptr);
    Ref<Node> const b = CustomNode::create(nullptr);
    a->registerAttribute("shared", AT_S_FLOAT);
    b->registerAttribute("shared", AT_S_FLOAT);
    a->subscribeForNodeChangeNotification([&](ChangeAction action, auto&&...) {
        heard.push_back(action);
        if (heard.size() == 1) {
            a->removeAttribute("shared");
        }
    });
    a->removeAttribute("shared");
    EXPECT_EQ(
        (std::vector<int>{CA_ATTRIBUTE_REMOVING, CA_ATTRIBUTE_REMOVING, CA_ATTRIBUTE_REMOVED}),
        heard);
    EXPECT_EQ(1, a->getSpecification().findAttributeSpecification("shared")->useCounter);
    EXPECT_EQ("shared", b->getAttribute("shared")->getAttributeName());
}

// The first subscriber told of a change removes the attribute that changed:
// the next one is still handed an attribute it can read, standing alone now.
TEST(Reentrancy, AnAttributeRemovedWhileItsChangeIsReportedStaysReadable) {
    for (bool const hierarchical : {false, true}) {
        SCOPED_TRACE(hierarchical);
        Ref<Node> const node = CustomNode::create(nullptr);
        Attribute& gain = node->registerAttribute("gain", AT_S_FLOAT);
        std::vector<float> read; // 0 for the subscriber that removed it
        auto const hear = [&](boost::optional<Attribute const&> attribute) {
            if (attribute) {
                read.push_back(read.empty() ? 0.f : *attribute->getGeneric().get<float>());
                if (read.size() == 1) {
                    node->removeAttribute("gain");
                }
            }
        };
        std::vector<Connection> connections;
        for (int i = 0; i < 2; ++i) {
            connections.push_back(
                hierarchical ? node->subscribeForHierachicalChangeNotification(
                                   [&](Node const&, boost::optional<Attribute const&> source,
                                       bool) { hear(source); })
                             : node->subscribeForNodeChangeNotification(
                                   [&](ChangeAction action, Node const&,
                                       boost::optional<Attribute const&> attribute) {
                                       if (action == CA_VALUE_CHANGED) {
                                           hear(attribute);
                                       }
                                   }));
        }
        gain.setGeneric(AttributeValue(2.f));
        EXPECT_EQ(read, (std::vector<float>{0.f, 2.f}));
        EXPECT_FALSE(node->getAttribute("gain"));
    }
}

// Every attribute and node starts at incarnation 1, so the first number a
// process draws must be newer than that. CTest runs each test in a process
// of its own, where this is the first change.
TEST(Incarnations, FirstChangeOfAProcessIsReported) {
    Log log;
    Ref<Node> const node = CustomNode::create(nullptr);
    log.watch(*node, "n");
    node->registerAttribute("first", AT_S_FLOAT);
    EXPECT_EQ(Lines{"n 6 first"}, log.take());

    DataSA<AT_S_BOOL> alone(nullptr, false, gt_none);
    alone.set(true);
    EXPECT_GT(alone.getIncarnation(), 1);
}

} // namespace
} // namespace Norv::Tavel::testing

// Graphs far larger than a host's usual ones, run under the sanitizer build as
// well: no recursion as deep as the graph, nothing left behind. Their growth
// with size is measured in bench/large_graph_bench.cpp.

#include "support/GraphTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace Norv::Tavel::testing {
namespace {

using norv::basalt::WeakRef;

// One chain, alternating between two registries so that every link is a
// counted registry link: changes climb it, scopes and searches walk it, and
// dropping its head takes it down with every report heard before reset()
// returns.
TEST(LargeGraph, ChangeAtTheBottomOfALongChainReachesEveryNodeOnce) {
    constexpr std::size_t LENGTH = 100000;
    auto const even = boost::make_shared<Registry>();
    auto const odd = boost::make_shared<Registry>();
    std::uint64_t const instances = Registry::INSTANCE_COUNTER;
    std::vector<std::size_t> order; // the nodes that heard of a change below, in order
    std::vector<long long> destroyed;
    std::vector<long long> ids(LENGTH);
    order.reserve(LENGTH);
    destroyed.reserve(LENGTH);
    std::vector<Ref<Group>> nodes = chain(LENGTH, false, [&](Group& node, std::size_t i) {
        node.setRegistry(i % 2 == 0 ? even : odd);
        ids[i] = node.getNodeId();
        node.subscribeForHierachicalChangeNotification(
            [&order, i](Node const&, boost::optional<Attribute const&>, bool) {
                order.push_back(i);
            });
        node.subscribeForNodeChangeNotification(
            [&destroyed](ChangeAction action, Node const& gone, boost::optional<Attribute const&>) {
                if (action == CA_NODE_DESTROYED) {
                    destroyed.push_back(gone.getNodeId());
                }
            });
    });
    // One count per link: from each even node to the odd one below it, and back.
    EXPECT_EQ(even->getDependingRegistryCount(*odd), std::int32_t(LENGTH / 2));
    EXPECT_EQ(odd->getSuperiorRegistryCount(*even), std::int32_t(LENGTH / 2));
    EXPECT_EQ(odd->getDependingRegistryCount(*even), std::int32_t(LENGTH / 2 - 1));
    EXPECT_EQ(even->getNumberOfNodes() + odd->getNumberOfNodes(), LENGTH);

    // From the bottom up, each node once.
    order.clear();
    Group& bottom = *nodes.back();
    bottom.value.set(1);
    ASSERT_EQ(order.size(), LENGTH);
    for (std::size_t k = 0; k < LENGTH; ++k) {
        ASSERT_EQ(order[k], LENGTH - 1 - k);
    }
    // A structure change climbs the same way; an equal value climbs nowhere.
    order.clear();
    bottom.link.set(makeGroup("leaf"));
    EXPECT_EQ(order.size(), LENGTH);
    order.clear();
    bottom.value.set(1);
    EXPECT_TRUE(order.empty());
    {
        SCOPED_TRACE("DeepChainsNeitherRecurseNorOverflow");
        {
            InhibitUpdate const batch(*nodes.front());
            EXPECT_EQ(bottom.getInhibitUpdateCounter(), 1);
            bottom.value.set(2);
            EXPECT_TRUE(order.empty());
        }
        EXPECT_EQ(bottom.getInhibitUpdateCounter(), 0);
        EXPECT_EQ(bottom.findAnchestorOfType(CustomNode::getUUID()), NodeRef());
        EXPECT_EQ(bottom.findAnchestorOfType(Group::getUUID()), NodeRef(nodes[LENGTH - 2]));
    }

    SCOPED_TRACE("ChainHeadTakesEveryNodeAndCounterDownBeforeResetReturns");
    WeakRef<Group> const watchBottom(nodes.back());
    Ref<Group> head = nodes.front();
    nodes.clear();
    EXPECT_FALSE(watchBottom.expired());
    head.reset();
    // Everything has happened by now, head first and in chain order.
    EXPECT_EQ(destroyed, ids);
    EXPECT_TRUE(watchBottom.expired());
    EXPECT_EQ(Registry::INSTANCE_COUNTER, instances);
    for (auto const& [one, other] : {std::pair(even, odd), std::pair(odd, even)}) {
        EXPECT_EQ(one->getNumberOfNodes(), 0u);
        EXPECT_EQ(one->getDependingRegistryCount(*other), 0);
        EXPECT_EQ(one->getSuperiorRegistryCount(*other), 0);
    }
}

TEST(LargeGraph, MillionReferencesAreSetErasedAndReleased) {
    constexpr std::size_t REFERENCES = 1000000;
    constexpr std::size_t NODES = 100000; // each referred to ten times
    std::uint64_t const instances = Registry::INSTANCE_COUNTER;
    Ref<Group> owner = makeGroup("owner");
    std::vector<WeakRef<Group>> watches;
    watches.reserve(NODES);
    {
        std::vector<NodeRef> list;
        list.reserve(REFERENCES);
        for (std::size_t i = 0; i < NODES; ++i) {
            Ref<Group> const node = makeGroup("");
            watches.emplace_back(node);
            for (int copy = 0; copy < 10; ++copy) {
                list.push_back(node);
            }
        }
        owner->items.set(list);
        ASSERT_EQ(owner->items.getSize(), REFERENCES);

        // The same nodes in another order: every position changes.
        std::reverse(list.begin(), list.end());
        owner->items.set(list);
        EXPECT_EQ(owner->items.getElement(0), list.front());
    }
    Ref<Group> const first = watches.front().lock();
    EXPECT_EQ(first->getNumberOfOwnerLinks(), 10u);

    // A range from the middle, then single elements from the end.
    owner->items.eraseElements(REFERENCES / 4, REFERENCES / 2 - 1);
    for (int i = 0; i < 1000; ++i) {
        owner->items.eraseElement(owner->items.getSize() - 1);
    }
    EXPECT_EQ(owner->items.getSize(), REFERENCES - REFERENCES / 4 - 1000);

    // The list is the last holder of the nodes that remain in it.
    owner.reset();
    EXPECT_EQ(first->getNumberOfOwnerLinks(), 0u);
    EXPECT_EQ(std::count_if(watches.begin(), watches.end(),
                            [](WeakRef<Group> const& watch) { return !watch.expired(); }),
              1);
    EXPECT_EQ(Registry::INSTANCE_COUNTER, instances + 1);
}

TEST(LargeGraph, TenThousandCustomAttributesAreRegisteredIteratedAndRemoved) {
    constexpr int COUNT = 10000;
    Log log;
    Ref<CustomNode> const node = CustomNode::create(nullptr);
    log.watch(*node, "n");
    std::size_t const entries = CustomNode::getClassSpecification().attributes.size();
    for (int i = 0; i < COUNT; ++i) {
        node->registerAttribute("many" + std::to_string(i), AT_S_INT32)
            .setGeneric(AttributeValue(std::int32_t(i + 1)));
    }
    EXPECT_EQ(node->calculateNumberOfAttributes(), unsigned(COUNT));
    EXPECT_EQ(log.take().size(), 2u * COUNT); // added, then set
    ASSERT_TRUE(node->getAttribute("many9999"));
    EXPECT_EQ(*node->getAttribute("many9999")->getGeneric().get<std::int32_t>(), 10000);

    // In registration order, each with its own value.
    int next = 0;
    for (Attribute& attribute : *node) {
        ASSERT_EQ(attribute.getAttributeName(),
                  QString::fromStdString("many" + std::to_string(next)));
        ++next;
        ASSERT_EQ(*attribute.getGeneric().get<std::int32_t>(), next);
    }
    EXPECT_EQ(next, COUNT);

    // Inhibited and released as one batch.
    {
        InhibitUpdate const batch(*node);
        for (int i = 0; i < COUNT; i += 2) {
            node->getAttribute("many" + std::to_string(i))
                ->setGeneric(AttributeValue(std::int32_t(-1)));
        }
    }
    EXPECT_EQ(log.take(), Lines{"n 4 -"});

    // Every other one removed, oldest first, and then the rest: removals inside
    // the array leave gaps that every walk steps over until they are closed.
    for (int i = 0; i < COUNT; i += 2) {
        node->removeAttribute("many" + std::to_string(i));
    }
    EXPECT_EQ(node->calculateNumberOfAttributes(), unsigned(COUNT / 2));
    next = 1;
    for (Attribute& attribute : *node) {
        ASSERT_EQ(*attribute.getGeneric().get<std::int32_t>(), ++next);
        ++next;
    }
    EXPECT_EQ(next, COUNT + 1);
    EXPECT_EQ(log.take().size(), std::size_t(COUNT)); // removing, removed
    {
        InhibitUpdate const batch(*node);
        node->getAttribute("many1")->setGeneric(AttributeValue(std::int32_t(-1)));
    }
    EXPECT_EQ(log.take(), Lines{"n 4 -"});
    for (int i = 1; i < COUNT; i += 2) {
        node->removeAttribute("many" + std::to_string(i));
    }
    EXPECT_EQ(node->calculateNumberOfAttributes(), 0u);
    EXPECT_EQ(CustomNode::getClassSpecification().attributes.size(), entries);
    EXPECT_EQ(log.take().size(), std::size_t(COUNT));
}

} // namespace
} // namespace Norv::Tavel::testing

// Graphs far larger than a host's usual ones, run under the sanitizer build as
// well: no recursion as deep as the graph, nothing left behind. Their growth
// with size is measured in bench/large_graph_bench.cpp.

#include "support/GraphTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace Norv::Tavel::testing {
namespace {

using norv::basalt::WeakRef;

TEST(LargeGraph, ChangeAtTheBottomOfALongChainReachesEveryNodeOnce) {
    constexpr std::size_t LENGTH = 100000;
    std::uint64_t const instances = Registry::INSTANCE_COUNTER;
    std::vector<Ref<Group>> chain(LENGTH);
    // heard[i]: how often node i heard of a change below it.
    std::vector<int> heard(LENGTH, 0);
    std::vector<std::size_t> order;
    order.reserve(LENGTH);
    for (std::size_t i = LENGTH; i-- > 0;) {
        chain[i] = makeGroup("");
        if (i + 1 < LENGTH) {
            chain[i]->link.set(chain[i + 1]);
        }
        chain[i]->subscribeForHierachicalChangeNotification(
            [&heard, &order, i](Node const&, boost::optional<Attribute const&>, bool) {
                ++heard[i];
                order.push_back(i);
            });
    }
    Group& bottom = *chain.back();
    bottom.value.set(1);
    ASSERT_EQ(order.size(), LENGTH);
    // From the bottom up, each node once.
    for (std::size_t k = 0; k < LENGTH; ++k) {
        ASSERT_EQ(order[k], LENGTH - 1 - k);
    }
    EXPECT_EQ(std::count(heard.begin(), heard.end(), 1), std::ptrdiff_t(LENGTH));

    // A structure change climbs the same way; an equal value climbs nowhere.
    order.clear();
    bottom.link.set(makeGroup("leaf"));
    EXPECT_EQ(order.size(), LENGTH);
    order.clear();
    bottom.value.set(1);
    EXPECT_TRUE(order.empty());

    // Only the vector holds the nodes: dropping the head takes the whole chain.
    WeakRef<Group> const watchBottom(chain.back());
    for (std::size_t i = 1; i < LENGTH; ++i) {
        chain[i] = nullptr;
    }
    EXPECT_FALSE(watchBottom.expired());
    chain.front().reset();
    EXPECT_TRUE(watchBottom.expired());
    EXPECT_EQ(Registry::INSTANCE_COUNTER, instances);
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

    for (int i = COUNT; i-- > 0;) {
        node->removeAttribute("many" + std::to_string(i));
    }
    EXPECT_EQ(node->calculateNumberOfAttributes(), 0u);
    EXPECT_EQ(CustomNode::getClassSpecification().attributes.size(), entries);
    EXPECT_EQ(log.take().size(), 2u * COUNT); // removing, removed
}

} // namespace
} // namespace Norv::Tavel::testing

// How the large-graph operations grow: each runs at two sizes, four times
// apart, and the ratio of their times is printed. Linear growth gives about
// 4x, n log n about 4.5x; a walk that is quadratic somewhere gives 16x.
// Both sizes lie beyond the processor caches: below them, the time per node
// still grows as the graph leaves one cache level after the other.

#include "BenchNodes.h"
#include "BenchSupport.h"

#include <string>
#include <vector>

using namespace Norv::Tavel;
using bench::Link;
using norv::basalt::Ref;

namespace {

constexpr std::int64_t SMALL_CHAIN = 400000;
constexpr std::int64_t LARGE_CHAIN = 1600000;
constexpr std::int64_t SMALL_LIST = 250000;
constexpr std::int64_t LARGE_LIST = 1000000;
constexpr std::int64_t FEW_ATTRIBUTES = 2500;
constexpr std::int64_t MANY_ATTRIBUTES = 10000;

// The head of a chain of `length` nodes, each referring to the next; the
// bottom node is handed out through `bottom`.
Ref<Link> chain(std::int64_t length, Ref<Link>* bottom = nullptr) {
    Ref<Link> head = Link::create(nullptr);
    if (bottom != nullptr) {
        *bottom = head;
    }
    for (std::int64_t i = 1; i < length; ++i) {
        Ref<Link> above = Link::create(nullptr);
        above->next.set(head);
        head = std::move(above);
    }
    return head;
}

// A change at the bottom climbs to the head, which a subscriber watches.
void BM_ChangeClimbsChain(benchmark::State& state) {
    Ref<Link> bottom;
    Ref<Link> const head = chain(state.range(0), &bottom);
    int heard = 0;
    head->subscribeForHierachicalChangeNotification(
        [&heard](Node const&, boost::optional<Attribute const&>, bool) { ++heard; });
    int value = 0;
    for (auto _ : state) {
        bottom->value.set(++value);
    }
    benchmark::DoNotOptimize(heard);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ChangeClimbsChain)->Arg(SMALL_CHAIN)->Arg(LARGE_CHAIN)->Unit(benchmark::kMillisecond);

// Dropping the head releases the whole chain, each node telling a subscriber.
void BM_ReleaseChain(benchmark::State& state) {
    int destroyed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Ref<Link> head = chain(state.range(0));
        for (Node* node = head.get(); node != nullptr;
             node = static_cast<Link*>(node)->next.get().get()) {
            node->subscribeForNodeChangeNotification(
                [&destroyed](ChangeAction, Node const&, boost::optional<Attribute const&>) {
                    ++destroyed;
                });
        }
        state.ResumeTiming();
        head.reset();
    }
    benchmark::DoNotOptimize(destroyed);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReleaseChain)->Arg(SMALL_CHAIN)->Arg(LARGE_CHAIN)->Unit(benchmark::kMillisecond);

// A list of references set, set again reversed, a quarter erased, released;
// every node is referred to ten times.
void BM_ReferenceList(benchmark::State& state) {
    std::int64_t const size = state.range(0);
    std::vector<NodeRef> list;
    list.reserve(std::size_t(size));
    for (std::int64_t i = 0; i < size / 10; ++i) {
        NodeRef const node = CustomNode::create(nullptr);
        list.insert(list.end(), 10, node);
    }
    std::vector<NodeRef> const reversed(list.rbegin(), list.rend());
    for (auto _ : state) {
        Ref<Link> owner = Link::create(nullptr);
        owner->items.set(list);
        owner->items.set(reversed);
        owner->items.eraseElements(std::size_t(size / 4), std::size_t(size / 2 - 1));
        owner.reset();
    }
    state.SetItemsProcessed(state.iterations() * size);
}
BENCHMARK(BM_ReferenceList)->Arg(SMALL_LIST)->Arg(LARGE_LIST)->Unit(benchmark::kMillisecond);

// Custom attributes registered (inside an update scope when `inhibited`),
// iterated with their names, and removed one by one.
void customAttributes(benchmark::State& state, bool inhibited) {
    std::int64_t const count = state.range(0);
    std::vector<std::string> names;
    for (std::int64_t i = 0; i < count; ++i) {
        names.push_back("a" + std::to_string(i));
    }
    Ref<CustomNode> const node = CustomNode::create(nullptr);
    std::size_t lengths = 0;
    for (auto _ : state) {
        {
            boost::optional<InhibitUpdate> batch;
            if (inhibited) {
                batch.emplace(*node);
            }
            for (std::string const& name : names) {
                node->registerAttribute(name, AT_S_INT32);
            }
        }
        for (Attribute const& attribute : *node) {
            lengths += std::size_t(attribute.getAttributeName().size());
        }
        for (std::string const& name : names) {
            node->removeAttribute(name);
        }
    }
    benchmark::DoNotOptimize(lengths);
    state.SetItemsProcessed(state.iterations() * count);
}
void BM_CustomAttributes(benchmark::State& state) {
    customAttributes(state, false);
}
void BM_CustomAttributesInhibited(benchmark::State& state) {
    customAttributes(state, true);
}
BENCHMARK(BM_CustomAttributes)
    ->Arg(FEW_ATTRIBUTES)
    ->Arg(MANY_ATTRIBUTES)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CustomAttributesInhibited)
    ->Arg(FEW_ATTRIBUTES)
    ->Arg(MANY_ATTRIBUTES)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    std::vector<long> const chains = {SMALL_CHAIN, LARGE_CHAIN};
    std::vector<long> const lists = {SMALL_LIST, LARGE_LIST};
    std::vector<long> const attributes = {FEW_ATTRIBUTES, MANY_ATTRIBUTES};
    return bench::runWithRatios(
        argc, argv, {},
        {{"change climbing a chain of n nodes", "BM_ChangeClimbsChain", chains, "", true, "#15"},
         {"release of a chain of n nodes, each notifying", "BM_ReleaseChain", chains, "", true,
          "#15"},
         {"list of n references set, reversed, erased", "BM_ReferenceList", lists, "", true, "#15"},
         {"n custom attributes added, iterated, removed", "BM_CustomAttributes", attributes, "",
          true, "#15"},
         {"the same inside an InhibitUpdate", "BM_CustomAttributesInhibited", attributes, "", true,
          "#15"}});
}

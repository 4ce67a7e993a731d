// The node graph hot paths beside their baselines: a change climbing a chain
// and a diamond, inserting and erasing many references, and the ancestor
// search.

#define TAVEL_BENCH_COUNT_ALLOCATIONS
#include "BenchNodes.h"
#include "BenchSupport.h"

#include <functional>
#include <vector>

using namespace Norv::Tavel;
using bench::Link;
using norv::basalt::Ref;

namespace {

// A chain of `length` nodes, each referring to the next; built from the bottom.
std::vector<Ref<Link>> chain(std::size_t length) {
    std::vector<Ref<Link>> nodes(length);
    for (std::size_t i = length; i-- > 0;) {
        nodes[i] = Link::create(nullptr);
        if (i + 1 < length) {
            nodes[i]->next.set(nodes[i + 1]);
        }
    }
    return nodes;
}

constexpr std::size_t CHAIN = 100;

// Baseline B: a plain store plus one std::function call, as a hand-written
// observable field would do it.
void BM_Baseline_StoreAndCall(benchmark::State& state) {
    int calls = 0;
    int stored = 0;
    std::function<void(int)> changed = [&calls](int) { ++calls; };
    int value = 0;
    for (auto _ : state) {
        ++value;
        benchmark::DoNotOptimize(&stored);
        if (value != stored) {
            stored = value;
            changed(value);
        }
    }
    benchmark::DoNotOptimize(calls);
}
BENCHMARK(BM_Baseline_StoreAndCall);

// A change three owners below a node whose hierarchical subscriber hears it.
void BM_ChangeAtDepth3(benchmark::State& state) {
    std::vector<Ref<Link>> const nodes = chain(4);
    int reports = 0;
    nodes.front()->subscribeForHierachicalChangeNotification(
        [&reports](Node const&, boost::optional<Attribute const&>, bool) { ++reports; });
    int value = 0;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        nodes.back()->value.set(++value);
    }
    bench::reportAllocations(state, before);
    state.counters["reports/change"] = double(reports) / double(state.iterations());
}
BENCHMARK(BM_ChangeAtDepth3);

void BM_Baseline_100FunctionCalls(benchmark::State& state) {
    std::vector<std::function<void(int)>> calls(CHAIN);
    int sink = 0;
    for (auto& call : calls) {
        call = [&sink](int v) { sink += v; };
    }
    for (auto _ : state) {
        for (auto& call : calls) {
            call(1);
        }
        benchmark::DoNotOptimize(sink);
    }
}
BENCHMARK(BM_Baseline_100FunctionCalls);

void BM_ChangeClimbsChainOf100(benchmark::State& state) {
    std::vector<Ref<Link>> const nodes = chain(CHAIN);
    int reports = 0;
    nodes.front()->subscribeForHierachicalChangeNotification(
        [&reports](Node const&, boost::optional<Attribute const&>, bool) { ++reports; });
    int value = 0;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        nodes.back()->value.set(++value);
    }
    bench::reportAllocations(state, before);
    state.counters["reports/change"] = double(reports) / double(state.iterations());
}
BENCHMARK(BM_ChangeClimbsChainOf100);

// Levels of two nodes, each node referred to by both nodes of the level above.
void BM_ChangeClimbsDiamondOfDepth10(benchmark::State& state) {
    constexpr int DEPTH = 10;
    std::vector<std::vector<Ref<Link>>> levels(DEPTH);
    for (int level = DEPTH; level-- > 0;) {
        for (int i = 0; i < 2; ++i) {
            Ref<Link> const node = Link::create(nullptr);
            if (level + 1 < DEPTH) {
                node->items.set({levels[level + 1][0], levels[level + 1][1]});
            }
            levels[level].push_back(node);
        }
    }
    Ref<Link> const top = Link::create(nullptr);
    top->items.set({levels[0][0], levels[0][1]});
    int calls = 0;
    for (auto const& level : levels) {
        for (auto const& node : level) {
            node->subscribeForHierachicalChangeNotification(
                [&calls](Node const&, boost::optional<Attribute const&>, bool) { ++calls; });
        }
    }
    int value = 0;
    for (auto _ : state) {
        levels.back()[0]->value.set(++value);
    }
    state.counters["calls/change"] = double(calls) / double(state.iterations());
}
BENCHMARK(BM_ChangeClimbsDiamondOfDepth10);

constexpr std::size_t MANY = 10000;

void BM_Baseline_VectorInsertClear10000(benchmark::State& state) {
    std::vector<Ref<Node>> nodes;
    for (std::size_t i = 0; i < MANY; ++i) {
        nodes.push_back(CustomNode::create(nullptr));
    }
    for (auto _ : state) {
        std::vector<Ref<Node>> list;
        list.insert(list.begin(), nodes.begin(), nodes.end());
        benchmark::DoNotOptimize(list.data());
        list.clear();
    }
}
BENCHMARK(BM_Baseline_VectorInsertClear10000);

void BM_InsertEraseElements10000(benchmark::State& state) {
    std::vector<Ref<Node>> nodes;
    for (std::size_t i = 0; i < MANY; ++i) {
        nodes.push_back(CustomNode::create(nullptr));
    }
    Ref<Link> const owner = Link::create(nullptr);
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        owner->items.insertElements(nodes, 0);
        owner->items.eraseElements(0, MANY - 1);
    }
    bench::reportAllocations(state, before);
}
BENCHMARK(BM_InsertEraseElements10000);

void BM_FindAncestorInChainOf1000(benchmark::State& state) {
    std::vector<Ref<Link>> const nodes = chain(1000);
    Ref<Node> const root = CustomNode::create(nullptr);
    root->registerAttribute("top", AT_S_NODE_PTR)
        .setGeneric(AttributeValue(NodeRef(nodes.front())));
    for (auto _ : state) {
        benchmark::DoNotOptimize(nodes.front()->findAnchestorOfType(CustomNode::getUUID()));
        benchmark::DoNotOptimize(nodes.back()->findAnchestorOfType(CustomNode::getUUID()));
    }
}
BENCHMARK(BM_FindAncestorInChainOf1000);

} // namespace

int main(int argc, char** argv) {
    return bench::runWithRatios(argc, argv,
                                {{"change at owner depth 3, subscriber at the root",
                                  "BM_ChangeAtDepth3",
                                  "B: store + 1 std::function call",
                                  "BM_Baseline_StoreAndCall",
                                  5.0,
                                  "#11",
                                  {{bench::ALLOCATIONS_COUNTER, 0}, {"reports/change"}}},
                                 {"change at the bottom of a 100-node chain",
                                  "BM_ChangeClimbsChainOf100",
                                  "100 std::function calls",
                                  "BM_Baseline_100FunctionCalls",
                                  5.0,
                                  "#7 #11",
                                  {{bench::ALLOCATIONS_COUNTER}, {"reports/change"}}},
                                 {"change at the bottom of a diamond of depth 10",
                                  "BM_ChangeClimbsDiamondOfDepth10",
                                  "the 100-node chain",
                                  "BM_ChangeClimbsChainOf100",
                                  0,
                                  "#7",
                                  {{"calls/change"}}},
                                 {"insertElements + eraseElements, 10,000 refs",
                                  "BM_InsertEraseElements10000",
                                  "std::vector<Ref<Node>> insert + clear",
                                  "BM_Baseline_VectorInsertClear10000",
                                  10.0,
                                  "#7 #11",
                                  {{bench::ALLOCATIONS_COUNTER}}}});
}

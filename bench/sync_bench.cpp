// Assignment and live synchronisation beside their baselines: Node::assign of
// a tree that differs in 1% of its values against Node::compare of two equal
// trees, and one set on a synchronised node against the same set on a node
// without a synchronizer (unwatched, which only marks a change pending, and
// watched by one subscriber).
//
// Node::assign passes flags 319. The class below has fixed attributes only,
// so nothing is removed and registered again: only the changed values notify
// (counted per assign).

#include "BenchNodes.h"
#include "BenchSupport.h"

#include <tavel/operations/NodeSynchronizer.h>

#include <vector>

using namespace Norv::Tavel;
using bench::Shape;
using norv::basalt::Ref;

namespace {

constexpr std::size_t FAN_OUT = 10;

// A tree of n nodes in breadth-first order (node i's children are
// FAN_OUT * i + 1 ...), value k of node i set to i + k, except that the
// values whose running number is a multiple of `every` get `offset` added.
std::vector<Ref<Shape>> tree(std::size_t n, std::size_t every, float offset) {
    std::vector<Ref<Shape>> nodes(n);
    for (std::size_t i = n; i-- > 0;) {
        nodes[i] = Shape::create(nullptr);
        for (std::size_t k = 0; k < 8; ++k) {
            float const changed = (i * 8 + k) % every == 0 ? offset : 0.0f;
            nodes[i]->values[k].set(float(i + k) + changed);
        }
        std::vector<NodeRef> children;
        for (std::size_t c = FAN_OUT * i + 1; c <= FAN_OUT * i + FAN_OUT && c < n; ++c) {
            children.push_back(nodes[c]);
        }
        nodes[i]->children.set(children);
    }
    return nodes;
}

void BM_CompareEqualTrees(benchmark::State& state) {
    std::size_t const n = std::size_t(state.range(0));
    std::vector<Ref<Shape>> const first = tree(n, 100, 0.0f);
    std::vector<Ref<Shape>> const second = tree(n, 100, 0.0f);
    for (auto _ : state) {
        benchmark::DoNotOptimize(first.front()->compare(second.front()));
    }
}
BENCHMARK(BM_CompareEqualTrees)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The target alternates between two sources that differ in 1% of the values.
void BM_AssignTreeDifferingIn1Percent(benchmark::State& state) {
    std::size_t const n = std::size_t(state.range(0));
    std::vector<Ref<Shape>> const one = tree(n, 100, 0.0f);
    std::vector<Ref<Shape>> const other = tree(n, 100, 0.5f);
    std::vector<Ref<Shape>> const target = tree(n, 100, 0.0f);
    std::size_t notifications = 0;
    for (Ref<Shape> const& node : target) {
        node->subscribeForNodeChangeNotification(
            [&notifications](ChangeAction, Node const&, boost::optional<Attribute const&>) {
                ++notifications;
            });
    }
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        target.front()->assign(flip ? other.front() : one.front());
    }
    state.counters["notifications/assign"] = double(notifications) / double(state.iterations());
    state.counters["values"] = double(n * 8);
}
BENCHMARK(BM_AssignTreeDifferingIn1Percent)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SetWithoutSynchronizer(benchmark::State& state) {
    Ref<Shape> const node = Shape::create(nullptr);
    float value = 0.0f;
    for (auto _ : state) {
        node->values[3].set(value += 1.0f);
    }
}
BENCHMARK(BM_SetWithoutSynchronizer);

// The same set on a node a host watches: one subscriber hears every change.
void BM_SetWithOneSubscriber(benchmark::State& state) {
    Ref<Shape> const node = Shape::create(nullptr);
    std::size_t heard = 0;
    node->subscribeForNodeChangeNotification(
        [&heard](ChangeAction, Node const&, boost::optional<Attribute const&>) { ++heard; });
    float value = 0.0f;
    for (auto _ : state) {
        node->values[3].set(value += 1.0f);
    }
    benchmark::DoNotOptimize(heard);
}
BENCHMARK(BM_SetWithOneSubscriber);

void BM_SetOnSynchronizedPair(benchmark::State& state) {
    Ref<Shape> const first = Shape::create(nullptr);
    Ref<Shape> const second = Shape::create(nullptr);
    NodeSynchronizer const sync(first, second);
    float value = 0.0f;
    for (auto _ : state) {
        first->values[3].set(value += 1.0f);
    }
    if (second->values[3].get() != value) {
        state.SkipWithError("the second node did not follow");
    }
}
BENCHMARK(BM_SetOnSynchronizedPair);

} // namespace

int main(int argc, char** argv) {
    return bench::runWithRatios(
        argc, argv,
        {{"Node::assign, 1,000 nodes, 1% of values differ",
          "BM_AssignTreeDifferingIn1Percent/1000",
          "Node::compare of equal trees",
          "BM_CompareEqualTrees/1000",
          0,
          "#13",
          {{"notifications/assign"}, {"values"}}},
         {"Node::assign, 100,000 nodes, 1% differ",
          "BM_AssignTreeDifferingIn1Percent/100000",
          "Node::compare of equal trees",
          "BM_CompareEqualTrees/100000",
          0,
          "#13",
          {{"notifications/assign"}, {"values"}}},
         {"set on a synchronised pair", "BM_SetOnSynchronizedPair", "set, no synchronizer",
          "BM_SetWithoutSynchronizer", 4.0, "#13"},
         {"set on a synchronised pair", "BM_SetOnSynchronizedPair", "set, 1 node-change subscriber",
          "BM_SetWithOneSubscriber", 0, "#13"}});
}

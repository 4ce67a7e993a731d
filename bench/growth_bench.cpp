// Operations whose cost must grow linearly with the data they touch, each run
// at n, 4n and 16n; prints the time at each size as a multiple of the first.

#include "BenchSupport.h"

#include <tavel/attributes/DataMANode.h>
#include <tavel/nodes/CustomNode.h>

#include <basalt/Signal.h>

#include <boost/make_shared.hpp>

#include <vector>

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;

namespace {

constexpr long N = 200;

QString nameOf(long i) {
    return QStringLiteral("attribute%1").arg(i);
}

// A node with n custom attributes, each with its own name.
Ref<Node> nodeWith(long count, std::vector<Attribute*>* attributes = nullptr) {
    Ref<Node> node = CustomNode::create(nullptr);
    for (long i = 0; i < count; ++i) {
        Attribute& attribute = node->registerAttribute(nameOf(i), AT_S_FLOAT);
        if (attributes != nullptr) {
            attributes->push_back(&attribute);
        }
    }
    return node;
}

// n nodes of one class, each carrying one attribute of a name of its own.
std::vector<Ref<Node>> nodesWithOwnNames(long count) {
    std::vector<Ref<Node>> nodes;
    for (long i = 0; i < count; ++i) {
        nodes.push_back(CustomNode::create(nullptr));
        nodes.back()->registerAttribute(nameOf(i), AT_S_FLOAT);
    }
    return nodes;
}

// The first read of each attribute's entry (its id), on fresh attributes.
void BM_FirstGetIdOfEach(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<Attribute*> attributes;
        Ref<Node> const node = nodeWith(state.range(0), &attributes);
        bench::Stopwatch watch;
        watch.start();
        for (Attribute* attribute : attributes) {
            benchmark::DoNotOptimize(attribute->getID());
        }
        watch.stop();
        state.SetIterationTime(watch.seconds());
    }
}
// Each iteration's setup costs about a hundred times the part timed, and a run
// lasts until the timed parts add up to its minimum time: a fixed count keeps
// the run to seconds.
BENCHMARK(BM_FirstGetIdOfEach)
    ->Arg(N)
    ->Arg(4 * N)
    ->Arg(16 * N)
    ->UseManualTime()
    ->Iterations(200);

void BM_FindEach(benchmark::State& state) {
    std::vector<Attribute*> attributes;
    Ref<Node> const node = nodeWith(state.range(0), &attributes);
    Node const& constNode = *node;
    for (auto _ : state) {
        for (Attribute* attribute : attributes) {
            benchmark::DoNotOptimize(constNode.find(*attribute));
        }
    }
}
BENCHMARK(BM_FindEach)->Arg(N)->Arg(4 * N)->Arg(16 * N);

void BM_RegisterInScope(benchmark::State& state) {
    for (auto _ : state) {
        Ref<Node> const node = CustomNode::create(nullptr);
        bench::Stopwatch watch;
        watch.start();
        {
            InhibitUpdate const batch(*node);
            for (long i = 0; i < state.range(0); ++i) {
                node->registerAttribute(nameOf(i), AT_S_FLOAT);
            }
        }
        watch.stop();
        state.SetIterationTime(watch.seconds());
    }
}
BENCHMARK(BM_RegisterInScope)->Arg(N)->Arg(4 * N)->Arg(16 * N)->UseManualTime();

void BM_InhibitEachNode(benchmark::State& state) {
    std::vector<Ref<Node>> const nodes = nodesWithOwnNames(state.range(0));
    for (auto _ : state) {
        for (Ref<Node> const& node : nodes) {
            InhibitUpdate const batch(*node);
        }
    }
}
BENCHMARK(BM_InhibitEachNode)->Arg(N)->Arg(4 * N)->Arg(16 * N);

void BM_IterateEachNode(benchmark::State& state) {
    std::vector<Ref<Node>> const nodes = nodesWithOwnNames(state.range(0));
    for (auto _ : state) {
        for (Ref<Node> const& node : nodes) {
            for (Attribute& attribute : *node) {
                benchmark::DoNotOptimize(&attribute);
            }
        }
    }
}
BENCHMARK(BM_IterateEachNode)->Arg(N)->Arg(4 * N)->Arg(16 * N);

void BM_SetRegistryOfEachNode(benchmark::State& state) {
    // The registries outlive the nodes, which leave them as they go.
    boost::shared_ptr<Registry> const registries[2] = {boost::make_shared<Registry>(),
                                                       boost::make_shared<Registry>()};
    std::vector<Ref<Node>> const nodes = nodesWithOwnNames(state.range(0));
    int turn = 0;
    for (auto _ : state) {
        turn ^= 1;
        for (Ref<Node> const& node : nodes) {
            node->setRegistry(registries[turn]);
        }
    }
}
BENCHMARK(BM_SetRegistryOfEachNode)->Arg(N)->Arg(4 * N)->Arg(16 * N);

// n owner links, the first of which matches.
void BM_FindParentFirstMatches(benchmark::State& state) {
    Ref<Node> const child = CustomNode::create(nullptr);
    Ref<Node> const owner = CustomNode::create(nullptr);
    auto& list = static_cast<MANode&>(owner->registerAttribute("children", AT_M_NODE_PTR));
    list.insertElements(std::vector<NodeRef>(std::size_t(state.range(0)), child), 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(child->findParentOfType(CustomNode::getUUID(), true));
    }
}
BENCHMARK(BM_FindParentFirstMatches)->Arg(N)->Arg(4 * N)->Arg(16 * N);

// n subscribers disconnected in the order they connected.
void BM_DisconnectInConnectionOrder(benchmark::State& state) {
    for (auto _ : state) {
        norv::basalt::signal::Signal<void(int)> signal;
        std::vector<norv::basalt::signal::Connection> connections;
        for (long i = 0; i < state.range(0); ++i) {
            connections.push_back(signal.connect([](int) {}));
        }
        bench::Stopwatch watch;
        watch.start();
        for (auto& connection : connections) {
            connection.disconnect();
        }
        watch.stop();
        state.SetIterationTime(watch.seconds());
    }
}
BENCHMARK(BM_DisconnectInConnectionOrder)->Arg(N)->Arg(4 * N)->Arg(16 * N)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    std::vector<long> const sizes = {N, 4 * N, 16 * N};
    return bench::runWithRatios(
        argc, argv, {},
        {{"first getID of each of n attributes", "BM_FirstGetIdOfEach", sizes,
          "/iterations:200/manual_time",
          true, "#11"},
         {"Node::find of each of n attributes", "BM_FindEach", sizes, "", true, "#11"},
         {"registerAttribute x n in one InhibitUpdate", "BM_RegisterInScope", sizes,
          "/manual_time", true, "#11"},
         {"InhibitUpdate on each of n nodes, own names", "BM_InhibitEachNode", sizes, "", true,
          "#11"},
         {"iterating each of n nodes, own names", "BM_IterateEachNode", sizes, "", true, "#11"},
         {"setRegistry of each of n nodes, own names", "BM_SetRegistryOfEachNode", sizes, "",
          true, "#11"},
         {"findParentOfType, n owner links, first matches", "BM_FindParentFirstMatches", sizes,
          "", true, "#11"},
         {"n disconnections in connection order", "BM_DisconnectInConnectionOrder", sizes,
          "/manual_time", true, "#11"}});
}

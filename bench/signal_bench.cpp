// Signal emission beside a plain loop over std::function and beside Boost.Signals2, and the
// memory one connection costs in each. Prints the ratios after the run.

#define TAVEL_BENCH_COUNT_ALLOCATIONS
#include "BenchSupport.h"

#include <basalt/Signal.h>

#include <boost/signals2.hpp>

#include <functional>
#include <vector>

namespace {

using norv::basalt::signal::Connection;
using norv::basalt::signal::Signal;

int g_sink = 0;

void slot(int v) {
    benchmark::DoNotOptimize(g_sink += v);
}

void BM_Signal(benchmark::State& state) {
    Signal<void(int)> sig;
    std::vector<Connection> connections;
    for (int64_t i = 0; i < state.range(0); ++i) {
        connections.push_back(sig.connect([](int v) { slot(v); }));
    }
    benchmark::DoNotOptimize(&sig);
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        sig(1);
        benchmark::ClobberMemory();
    }
    bench::reportAllocations(state, before);
}
BENCHMARK(BM_Signal)->Arg(0)->Arg(1)->Arg(10);

void BM_FunctionLoop(benchmark::State& state) {
    std::vector<std::function<void(int)>> slots;
    for (int64_t i = 0; i < state.range(0); ++i) {
        slots.emplace_back([](int v) { slot(v); });
    }
    for (auto _ : state) {
        for (auto const& f : slots) {
            f(1);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FunctionLoop)->Arg(1)->Arg(10);

void BM_Signals2(benchmark::State& state) {
    boost::signals2::signal<void(int)> sig;
    for (int64_t i = 0; i < state.range(0); ++i) {
        sig.connect([](int v) { slot(v); });
    }
    benchmark::DoNotOptimize(&sig);
    for (auto _ : state) {
        sig(1);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Signals2)->Arg(0)->Arg(1)->Arg(10);

constexpr int CONNECTIONS = 1000;

// Heap bytes per connection held by the signal; the handles' own storage is reserved first.
double ourBytesPerConnection() {
    Signal<void(int)> sig;
    std::vector<Connection> handles;
    handles.reserve(CONNECTIONS);
    std::size_t const before = bench::liveBytes();
    for (int i = 0; i < CONNECTIONS; ++i) {
        handles.push_back(sig.connect(&slot));
    }
    return static_cast<double>(bench::liveBytes() - before) / CONNECTIONS;
}

double signals2BytesPerConnection() {
    boost::signals2::signal<void(int)> sig;
    std::vector<boost::signals2::connection> handles;
    handles.reserve(CONNECTIONS);
    std::size_t const before = bench::liveBytes();
    for (int i = 0; i < CONNECTIONS; ++i) {
        handles.push_back(sig.connect(&slot));
    }
    return static_cast<double>(bench::liveBytes() - before) / CONNECTIONS;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<bench::Limit> const noAllocation = {{bench::ALLOCATIONS_COUNTER, 0}};
    return bench::runWithRatios(
        argc, argv,
        {{"emit, no slot", "BM_Signal/0", "std::function loop, 1", "BM_FunctionLoop/1", 1.5, "#4",
          noAllocation},
         {"emit to 1 slot", "BM_Signal/1", "std::function loop, 1", "BM_FunctionLoop/1", 2.5,
          "#4", noAllocation},
         {"emit to 10 slots", "BM_Signal/10", "std::function loop, 10", "BM_FunctionLoop/10", 1.5,
          "#4", noAllocation},
         // At least five times faster than Boost.Signals2.
         {"emit, no slot", "BM_Signal/0", "Boost.Signals2, no slot", "BM_Signals2/0", 0, "#4"},
         {"emit to 1 slot", "BM_Signal/1", "Boost.Signals2, 1 slot", "BM_Signals2/1", 0.2, "#4"},
         {"emit to 10 slots", "BM_Signal/10", "Boost.Signals2, 10 slots", "BM_Signals2/10", 0.2,
          "#4"}},
        {},
        {{"heap per connection", ourBytesPerConnection(), "Boost.Signals2's",
          signals2BytesPerConnection(), "B", 0, "#4"}});
}

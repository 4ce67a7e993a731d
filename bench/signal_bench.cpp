// Signal emission beside a plain loop over std::function and beside Boost.Signals2, and the
// memory one connection costs in each. Prints the ratios after the run.

#include <basalt/Signal.h>

#include <benchmark/benchmark.h>
#include <boost/signals2.hpp>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

// Live heap bytes, counted by a replaced global operator new/delete that prefixes each
// block with its size. Not inlined, so the compiler never pairs operator new with free().
namespace {
std::size_t g_liveBytes = 0;
constexpr std::size_t HEADER = alignof(std::max_align_t);
} // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    void* block = std::malloc(size + HEADER);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    g_liveBytes += size;
    return static_cast<char*>(block) + HEADER;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    if (p != nullptr) {
        void* block = static_cast<char*>(p) - HEADER;
        g_liveBytes -= *static_cast<std::size_t*>(block);
        std::free(block);
    }
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}

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
    for (auto _ : state) {
        sig(1);
        benchmark::ClobberMemory();
    }
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

// Keeps the mean real time per iteration of every benchmark for the summary.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(std::vector<Run> const& runs) override {
        for (Run const& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double time(std::string const& name) const {
        auto it = m_times.find(name);
        return it == m_times.end() ? 0.0 : it->second;
    }

private:
    std::map<std::string, double> m_times;
};

constexpr int CONNECTIONS = 1000;

// Heap bytes per connection held by the signal; the handles' own storage is reserved first.
double ourBytesPerConnection() {
    Signal<void(int)> sig;
    std::vector<Connection> handles;
    handles.reserve(CONNECTIONS);
    std::size_t const before = g_liveBytes;
    for (int i = 0; i < CONNECTIONS; ++i) {
        handles.push_back(sig.connect(&slot));
    }
    return static_cast<double>(g_liveBytes - before) / CONNECTIONS;
}

double signals2BytesPerConnection() {
    boost::signals2::signal<void(int)> sig;
    std::vector<boost::signals2::connection> handles;
    handles.reserve(CONNECTIONS);
    std::size_t const before = g_liveBytes;
    for (int i = 0; i < CONNECTIONS; ++i) {
        handles.push_back(sig.connect(&slot));
    }
    return static_cast<double>(g_liveBytes - before) / CONNECTIONS;
}

void printRatio(CollectingReporter const& r, char const* label, std::string const& num,
                std::string const& den) {
    double const n = r.time(num);
    double const d = r.time(den);
    if (n > 0.0 && d > 0.0) {
        std::printf("%-48s %.2fx\n", label, n / d);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n");
    printRatio(reporter, "emit 0 slots / std::function loop 1:", "BM_Signal/0",
               "BM_FunctionLoop/1");
    printRatio(reporter, "emit 1 slot / std::function loop 1:", "BM_Signal/1", "BM_FunctionLoop/1");
    printRatio(reporter, "emit 10 slots / std::function loop 10:", "BM_Signal/10",
               "BM_FunctionLoop/10");
    printRatio(reporter, "Boost.Signals2 0 slots / emit 0 slots:", "BM_Signals2/0", "BM_Signal/0");
    printRatio(reporter, "Boost.Signals2 1 slot / emit 1 slot:", "BM_Signals2/1", "BM_Signal/1");
    printRatio(reporter, "Boost.Signals2 10 slots / emit 10 slots:", "BM_Signals2/10",
               "BM_Signal/10");
    std::printf("bytes per connection: signal %.1f, Boost.Signals2 %.1f\n", ourBytesPerConnection(),
                signals2BytesPerConnection());
    return 0;
}

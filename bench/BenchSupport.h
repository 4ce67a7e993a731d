#pragma once
// Shared pieces of the benchmark programs: a main that runs the benchmarks
// and then prints each measured case as a ratio of its baseline from the
// same run (with the measured case's allocations per operation, where it
// counts them), the growth of cases run at several sizes, and (opt-in)
// counting of heap allocations.
//
//   int main(int argc, char** argv) {
//       return bench::runWithRatios(argc, argv, {{"BM_Set", "BM_PlainStore", 3.0}});
//   }
//
// Times are CPU time per iteration (manually timed cases: their own time); with --benchmark_repetitions the median
// is used. Define TAVEL_BENCH_COUNT_ALLOCATIONS in exactly one program file
// before including this header to replace the global operator new/delete
// with counting ones (bench::allocations(), bench::allocatedBytes(),
// bench::liveBytes()).

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <time.h>

namespace bench {

struct Ratio {
    std::string measured;
    std::string baseline;
    double goal = 0; // the ratio to stay within; 0 for none
};

// One case run at sizes n, 4n, 16n ... (benchmark names prefix + "/" + size
// + suffix); prints each size's time as a multiple of the first. Linear
// growth reads about 4 and 16, quadratic 16 and 256.
struct Growth {
    std::string prefix;
    std::vector<long> sizes;
    std::string suffix; // e.g. "/manual_time"
};

// The counter a benchmark sets for allocations per operation; the ratio
// lines print it beside the measured case.
constexpr char const* ALLOCATIONS_COUNTER = "allocs/op";

// Collects the time per iteration and the counters of every benchmark while
// reporting as usual; a median aggregate replaces the single runs.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(std::vector<Run> const& runs) override {
        for (Run const& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            std::string const name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") {
                    record(name, run);
                    m_median[name] = true;
                }
            } else if (run.iterations > 0 && !m_median[name]) {
                record(name, run);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double time(std::string const& name) const {
        auto const found = m_times.find(name);
        return found == m_times.end() ? 0 : found->second;
    }
    // Negative when the case has no such counter.
    double counter(std::string const& name, std::string const& counter) const {
        auto const found = m_counters.find(name);
        if (found == m_counters.end()) {
            return -1;
        }
        auto const value = found->second.find(counter);
        return value == found->second.end() ? -1 : value->second;
    }

private:
    void record(std::string const& name, Run const& run) {
        // A manually timed case measures only part of its iteration: its own figure counts.
        bool const manual = !run.run_name.time_type.empty();
        m_times[name] = manual ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
        for (auto const& counter : run.counters) {
            m_counters[name][counter.first] = counter.second.value;
        }
    }

    std::map<std::string, double> m_times;
    std::map<std::string, std::map<std::string, double>> m_counters;
    std::map<std::string, bool> m_median;
};

inline void printRatios(CollectingReporter const& reporter, std::vector<Ratio> const& ratios) {
    if (ratios.empty()) {
        return;
    }
    std::printf("\nratios (measured / baseline, CPU time, same run):\n");
    for (Ratio const& ratio : ratios) {
        double const measured = reporter.time(ratio.measured);
        double const baseline = reporter.time(ratio.baseline);
        if (measured <= 0 || baseline <= 0) {
            continue;
        }
        double const value = measured / baseline;
        std::printf("  %-44s / %-34s %7.2fx", ratio.measured.c_str(), ratio.baseline.c_str(),
                    value);
        double const allocations = reporter.counter(ratio.measured, ALLOCATIONS_COUNTER);
        if (allocations >= 0) {
            std::printf("  %5.2f allocs/op", allocations);
        }
        if (ratio.goal > 0) {
            std::printf("   (goal <= %.2fx: %s)", ratio.goal,
                        value <= ratio.goal ? "met" : "MISSED");
        }
        std::printf("\n");
    }
}

inline void printGrowth(CollectingReporter const& reporter, std::vector<Growth> const& growths) {
    if (growths.empty()) {
        return;
    }
    std::printf("\ngrowth (time at each size / time at the first; linear ~ 4, 16):\n");
    for (Growth const& growth : growths) {
        auto const nameAt = [&](long size) {
            return growth.prefix + "/" + std::to_string(size) + growth.suffix;
        };
        double const first = reporter.time(nameAt(growth.sizes.front()));
        if (first <= 0) {
            continue;
        }
        std::printf("  %-40s", growth.prefix.c_str());
        for (long size : growth.sizes) {
            double const time = reporter.time(nameAt(size));
            if (time > 0) {
                std::printf("  n=%-6ld %8.2fx", size, time / first);
            }
        }
        std::printf("\n");
    }
}

inline int runWithRatios(int argc, char** argv, std::vector<Ratio> const& ratios,
                         std::vector<Growth> const& growths = {}) {
    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter, ratios);
    printGrowth(reporter, growths);
    benchmark::Shutdown();
    return 0;
}

// Times a part of an iteration for benchmarks registered with UseManualTime,
// so that per-iteration setup stays out of the figure. It reads the thread's
// CPU clock, as the other cases report CPU time.
class Stopwatch {
public:
    void start() { m_start = now(); }
    void stop() { m_elapsed += now() - m_start; }
    double seconds() const { return m_elapsed; }

private:
    static double now() {
        timespec time{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
        return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
    }

    double m_start = 0;
    double m_elapsed = 0;
};

std::size_t& allocationCounter();
std::size_t& allocatedByteCounter();
std::size_t& liveByteCounter();
inline std::size_t allocations() {
    return allocationCounter();
}
inline std::size_t allocatedBytes() {
    return allocatedByteCounter();
}
// Bytes requested and not yet freed.
inline std::size_t liveBytes() {
    return liveByteCounter();
}

// Sets the allocations-per-operation counter from a count taken before the loop.
inline void reportAllocations(benchmark::State& state, std::size_t before,
                              double operationsPerIteration = 1) {
    state.counters[ALLOCATIONS_COUNTER] = double(allocations() - before) /
                                          (double(state.iterations()) * operationsPerIteration);
}

} // namespace bench

#ifdef TAVEL_BENCH_COUNT_ALLOCATIONS
namespace bench {
std::size_t& allocationCounter() {
    static std::size_t count = 0;
    return count;
}
std::size_t& allocatedByteCounter() {
    static std::size_t bytes = 0;
    return bytes;
}
std::size_t& liveByteCounter() {
    static std::size_t bytes = 0;
    return bytes;
}
// Each block carries its size in front, so a free knows what it returns.
constexpr std::size_t BLOCK_HEADER = alignof(std::max_align_t);
} // namespace bench

// Not inlined, so the compiler never pairs operator new with free().
[[gnu::noinline]] void* operator new(std::size_t size) {
    void* const block = std::malloc(size + bench::BLOCK_HEADER);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    ++bench::allocationCounter();
    bench::allocatedByteCounter() += size;
    bench::liveByteCounter() += size;
    return static_cast<char*>(block) + bench::BLOCK_HEADER;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
[[gnu::noinline]] void operator delete(void* pointer) noexcept {
    if (pointer != nullptr) {
        void* const block = static_cast<char*>(pointer) - bench::BLOCK_HEADER;
        bench::liveByteCounter() -= *static_cast<std::size_t*>(block);
        std::free(block);
    }
}
void operator delete[](void* pointer) noexcept {
    operator delete(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    operator delete(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    operator delete(pointer);
}
#endif

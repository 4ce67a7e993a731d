#pragma once
// Shared pieces of the benchmark programs: a main that runs the benchmarks
// and then prints each measured case as a ratio of its baseline from the
// same run, and (opt-in) counting of heap allocations.
//
//   int main(int argc, char** argv) {
//       return bench::runWithRatios(argc, argv, {{"BM_Set", "BM_PlainStore", 3.0}});
//   }
//
// Define TAVEL_BENCH_COUNT_ALLOCATIONS in exactly one program file before
// including this header to replace the global operator new/delete with
// counting ones (bench::allocations(), bench::allocatedBytes()).

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace bench {

struct Ratio {
    std::string measured;
    std::string baseline;
    double goal = 0; // the ratio to stay within; 0 for none
};

// Collects the time per iteration of every benchmark while reporting as usual.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(std::vector<Run> const& runs) override {
        for (Run const& run : runs) {
            if (run.error_occurred || run.iterations == 0) {
                continue;
            }
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> const& times() const { return m_times; }

private:
    std::map<std::string, double> m_times;
};

inline int runWithRatios(int argc, char** argv, std::vector<Ratio> const& ratios) {
    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nratios (measured / baseline, same run):\n");
    for (Ratio const& ratio : ratios) {
        auto const measured = reporter.times().find(ratio.measured);
        auto const baseline = reporter.times().find(ratio.baseline);
        if (measured == reporter.times().end() || baseline == reporter.times().end() ||
            baseline->second <= 0) {
            continue;
        }
        double const value = measured->second / baseline->second;
        std::printf("  %-48s / %-36s %7.2fx", ratio.measured.c_str(), ratio.baseline.c_str(),
                    value);
        if (ratio.goal > 0) {
            std::printf("   (goal <= %.2fx: %s)", ratio.goal,
                        value <= ratio.goal ? "met" : "MISSED");
        }
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}

std::size_t& allocationCounter();
std::size_t& allocatedByteCounter();
inline std::size_t allocations() {
    return allocationCounter();
}
inline std::size_t allocatedBytes() {
    return allocatedByteCounter();
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
} // namespace bench

void* operator new(std::size_t size) {
    ++bench::allocationCounter();
    bench::allocatedByteCounter() += size;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
#endif

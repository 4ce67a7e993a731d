#pragma once
// Shared pieces of the benchmark programs. A program lists its rows (each
// hot path against its baseline from the same run, with the goal an issue set
// for it) and hands them to runWithRatios, which runs the benchmarks and then
// prints the rows as a table; `--bench_rows=FILE` also appends them to FILE,
// from which bench_table prints the table of every program at once.
//
//   int main(int argc, char** argv) {
//       return bench::runWithRatios(argc, argv,
//           {{"typed set", "BM_Set", "plain store", "BM_PlainStore", 3.0, "#5",
//             {{bench::ALLOCATIONS_COUNTER, 0}}}});
//   }
//
// Times are CPU time per iteration (manually timed cases: their own time);
// with --benchmark_repetitions the median is used. Define
// TAVEL_BENCH_COUNT_ALLOCATIONS in exactly one program file before including
// this header to replace the global operator new/delete with counting ones
// (bench::allocations(), bench::allocatedBytes(), bench::liveBytes()).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <time.h>

namespace bench {

// The counter a benchmark sets for allocations per operation; the table gives
// it a column of its own.
constexpr char const* ALLOCATIONS_COUNTER = "allocs/op";

// A counter of the measured case shown in its row; a maximum of 0 or more is
// a goal the counter must stay within.
struct Limit {
    Limit(std::string counter, double maximum = -1)
        : counter(std::move(counter)), maximum(maximum) {}
    std::string counter;
    double maximum;
};

// A hot path against its baseline: benchmark names, with the words the table
// shows for them. `goal` is the ratio to stay within (0: none), `issue` the
// issue that set it. With `per`, each time is first divided by that counter
// of its case (a time per character, per node ...).
struct Ratio {
    Ratio(std::string label, std::string measured, std::string baselineLabel,
          std::string baseline, double goal = 0, std::string issue = "",
          std::vector<Limit> limits = {}, std::string per = "")
        : label(std::move(label)), measured(std::move(measured)),
          baselineLabel(std::move(baselineLabel)), baseline(std::move(baseline)), goal(goal),
          issue(std::move(issue)), limits(std::move(limits)), per(std::move(per)) {}
    std::string label;
    std::string measured;
    std::string baselineLabel;
    std::string baseline;
    double goal;
    std::string issue;
    std::vector<Limit> limits;
    std::string per;
};

// One case run at several sizes (benchmark names prefix + "/" + size +
// suffix): a row per size beyond the first, its time as a multiple of the
// first's. With `bounded`, the goal is twice the n log n growth, which tells
// linear and n log n walks from quadratic ones on a busy machine (sizes 4x
// apart: linear 4, goal 9; quadratic 16).
struct Growth {
    Growth(std::string label, std::string prefix, std::vector<long> sizes,
           std::string suffix = "", bool bounded = true, std::string issue = "")
        : label(std::move(label)), prefix(std::move(prefix)), sizes(std::move(sizes)),
          suffix(std::move(suffix)), bounded(bounded), issue(std::move(issue)) {}
    std::string label;
    std::string prefix;
    std::vector<long> sizes;
    std::string suffix; // e.g. "/manual_time"
    bool bounded;
    std::string issue;
};

// A figure measured outside the timed benchmarks (bytes, say) against its
// baseline.
struct Figure {
    Figure(std::string label, double measured, std::string baselineLabel, double baseline,
           std::string unit, double goal = 0, std::string issue = "")
        : label(std::move(label)), measured(measured), baselineLabel(std::move(baselineLabel)),
          baseline(baseline), unit(std::move(unit)), goal(goal), issue(std::move(issue)) {}
    std::string label;
    double measured;
    std::string baselineLabel;
    double baseline;
    std::string unit;
    double goal;
    std::string issue;
};

// A line of the table, as printed and as written to a rows file.
struct Row {
    std::string program;
    std::string path;
    std::string baseline;
    double ratio = 0;
    double goal = 0;
    std::string verdict; // "met", "MISSED", or empty without a goal
    std::string measured; // the measured case's own figure
    std::string allocations;
    std::string also;
    std::string issue;
};

inline Row makeRow(std::string program, std::string path, std::string baseline, double ratio,
                   double goal) {
    Row row;
    row.program = std::move(program);
    row.path = std::move(path);
    row.baseline = std::move(baseline);
    row.ratio = ratio;
    row.goal = goal;
    return row;
}

// Collects the time per iteration (in nanoseconds) and the counters of every
// benchmark while reporting as usual; a median aggregate replaces the single runs.
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
        double const adjusted = manual ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
        // Cases report in their own units; rows compare cases of different units.
        m_times[name] = adjusted * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        for (auto const& counter : run.counters) {
            m_counters[name][counter.first] = counter.second.value;
        }
    }

    std::map<std::string, double> m_times;
    std::map<std::string, std::map<std::string, double>> m_counters;
    std::map<std::string, bool> m_median;
};

// Whole numbers as such, others with two decimals (one from 10 on).
inline std::string number(double value) {
    char text[64];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else {
        std::snprintf(text, sizeof text, std::fabs(value) < 10 ? "%.2f" : "%.1f", value);
    }
    return text;
}

inline std::string duration(double nanoseconds) {
    char text[64];
    if (nanoseconds < 1e3) {
        std::snprintf(text, sizeof text, "%.1f ns", nanoseconds);
    } else if (nanoseconds < 1e6) {
        std::snprintf(text, sizeof text, "%.1f us", nanoseconds / 1e3);
    } else if (nanoseconds < 1e9) {
        std::snprintf(text, sizeof text, "%.1f ms", nanoseconds / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.2f s", nanoseconds / 1e9);
    }
    return text;
}

inline std::string ratioText(double ratio) {
    char text[64];
    std::snprintf(text, sizeof text, ratio < 10 ? "%.2fx" : ratio < 100 ? "%.1fx" : "%.0fx", ratio);
    return text;
}

// The counters of a row: allocations in their own column, the rest in `also`;
// false when one of them misses its goal.
inline bool fillCounters(Row& row, CollectingReporter const& reporter, std::string const& name,
                         std::vector<Limit> const& limits) {
    bool met = true;
    for (Limit const& limit : limits) {
        double const value = reporter.counter(name, limit.counter);
        if (value < 0) {
            continue;
        }
        std::string text = number(value);
        if (limit.maximum >= 0) {
            text += " (<= " + number(limit.maximum) + ")";
            met = met && value <= limit.maximum;
        }
        if (limit.counter == ALLOCATIONS_COUNTER) {
            row.allocations = text;
        } else {
            row.also += (row.also.empty() ? "" : ", ") + limit.counter + " " + text;
        }
    }
    return met;
}

inline bool hasGoal(double goal, std::vector<Limit> const& limits) {
    return goal > 0 || std::any_of(limits.begin(), limits.end(),
                                   [](Limit const& limit) { return limit.maximum >= 0; });
}

inline std::vector<Row> collectRows(std::string const& program,
                                    CollectingReporter const& reporter,
                                    std::vector<Ratio> const& ratios,
                                    std::vector<Growth> const& growths,
                                    std::vector<Figure> const& figures) {
    std::vector<Row> rows;
    for (Ratio const& ratio : ratios) {
        double measured = reporter.time(ratio.measured);
        double baseline = reporter.time(ratio.baseline);
        if (!ratio.per.empty()) {
            double const measuredUnits = reporter.counter(ratio.measured, ratio.per);
            double const baselineUnits = reporter.counter(ratio.baseline, ratio.per);
            measured = measuredUnits > 0 ? measured / measuredUnits : 0;
            baseline = baselineUnits > 0 ? baseline / baselineUnits : 0;
        }
        if (measured <= 0 || baseline <= 0) {
            continue; // filtered out or failed
        }
        Row row = makeRow(program, ratio.label, ratio.baselineLabel, measured / baseline,
                          ratio.goal);
        row.measured = duration(measured) + (ratio.per.empty() ? "" : " per " + ratio.per);
        row.issue = ratio.issue;
        bool const countersMet = fillCounters(row, reporter, ratio.measured, ratio.limits);
        if (hasGoal(ratio.goal, ratio.limits)) {
            bool const met = (ratio.goal <= 0 || row.ratio <= ratio.goal) && countersMet;
            row.verdict = met ? "met" : "MISSED";
        }
        rows.push_back(row);
    }
    for (Growth const& growth : growths) {
        auto const nameAt = [&](long size) {
            return growth.prefix + "/" + std::to_string(size) + growth.suffix;
        };
        long const first = growth.sizes.front();
        double const firstTime = reporter.time(nameAt(first));
        for (std::size_t i = 1; i < growth.sizes.size() && firstTime > 0; ++i) {
            long const size = growth.sizes[i];
            double const time = reporter.time(nameAt(size));
            if (time <= 0) {
                continue;
            }
            double const factor = double(size) / double(first);
            Row row = makeRow(program, growth.label + ", n = " + std::to_string(size),
                              "same at n = " + std::to_string(first), time / firstTime, 0);
            if (growth.bounded) {
                row.goal = 2 * factor * std::log(double(size)) / std::log(double(first));
                row.verdict = row.ratio <= row.goal ? "met" : "MISSED";
            }
            row.measured = duration(time);
            row.also = "size x" + number(factor);
            row.issue = growth.issue;
            rows.push_back(row);
        }
    }
    for (Figure const& figure : figures) {
        if (figure.measured <= 0 || figure.baseline <= 0) {
            continue;
        }
        Row row = makeRow(program, figure.label, figure.baselineLabel,
                          figure.measured / figure.baseline, figure.goal);
        if (figure.goal > 0) {
            row.verdict = row.ratio <= figure.goal ? "met" : "MISSED";
        }
        row.measured = number(figure.measured) + " " + figure.unit;
        row.also = "baseline " + number(figure.baseline) + " " + figure.unit;
        row.issue = figure.issue;
        rows.push_back(row);
    }
    return rows;
}

// Rows files hold one row a line, fields separated by tabs.
inline void writeRows(std::string const& path, std::vector<Row> const& rows) {
    std::ofstream out(path, std::ios::app);
    for (Row const& row : rows) {
        char ratio[32];
        char goal[32];
        std::snprintf(ratio, sizeof ratio, "%.17g", row.ratio);
        std::snprintf(goal, sizeof goal, "%.17g", row.goal);
        out << row.program << '\t' << row.path << '\t' << row.baseline << '\t' << ratio << '\t'
            << goal << '\t' << row.verdict << '\t' << row.measured << '\t' << row.allocations
            << '\t' << row.also << '\t' << row.issue << '\n';
    }
}

// Rows of a rows file; a line of another shape is left out.
inline std::vector<Row> readRows(std::string const& path) {
    std::vector<Row> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) {
            fields.push_back(field);
        }
        fields.resize(std::max<std::size_t>(fields.size(), 10));
        if (fields.size() != 10 || fields[3].empty()) {
            continue;
        }
        Row row = makeRow(fields[0], fields[1], fields[2], std::strtod(fields[3].c_str(), nullptr),
                          std::strtod(fields[4].c_str(), nullptr));
        row.verdict = fields[5];
        row.measured = fields[6];
        row.allocations = fields[7];
        row.also = fields[8];
        row.issue = fields[9];
        rows.push_back(row);
    }
    return rows;
}

// The table: rows grouped under their program's name, columns aligned, and a
// count of the goals met and missed.
inline void printTable(std::vector<Row> const& rows) {
    if (rows.empty()) {
        return;
    }
    std::vector<std::string> const header = {"hot path", "baseline (same run)", "ratio", "goal",
                                             "",         "measured",            "allocs/op",
                                             "issue",    "also"};
    std::vector<std::vector<std::string>> cells;
    for (Row const& row : rows) {
        cells.push_back({row.path, row.baseline, ratioText(row.ratio),
                         row.goal > 0 ? "<= " + ratioText(row.goal) : "", row.verdict,
                         row.measured, row.allocations, row.issue, row.also});
    }
    std::vector<std::size_t> widths(header.size());
    for (std::size_t c = 0; c < header.size(); ++c) {
        widths[c] = header[c].size();
        for (auto const& line : cells) {
            widths[c] = std::max(widths[c], line[c].size());
        }
    }
    // Numbers align right, words left; the last column is not padded.
    auto const printLine = [&](std::vector<std::string> const& line) {
        std::string text = " ";
        for (std::size_t c = 0; c < line.size(); ++c) {
            bool const right = c == 2 || c == 3;
            std::string const pad(widths[c] - line[c].size(), ' ');
            text += "  " + (right ? pad + line[c] : c + 1 < line.size() ? line[c] + pad : line[c]);
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        std::printf("%s\n", text.c_str());
    };
    std::printf("\n");
    printLine(header);
    std::size_t met = 0;
    std::size_t missed = 0;
    std::string program;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].program != program) {
            program = rows[r].program;
            std::printf("%s\n", program.c_str());
        }
        printLine(cells[r]);
        met += rows[r].verdict == "met" ? 1 : 0;
        missed += rows[r].verdict == "MISSED" ? 1 : 0;
    }
    std::printf("\n%zu goals: %zu met, %zu MISSED\n", met + missed, met, missed);
}

// Runs the benchmarks, then prints the table of the rows given; with
// `--bench_rows=FILE` it also appends them to FILE.
inline int runWithRatios(int argc, char** argv, std::vector<Ratio> const& ratios,
                         std::vector<Growth> const& growths = {},
                         std::vector<Figure> const& figures = {}) {
    std::string rowsFile;
    int kept = 0;
    constexpr char const* ROWS_FLAG = "--bench_rows=";
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], ROWS_FLAG, std::strlen(ROWS_FLAG)) == 0) {
            rowsFile = argv[i] + std::strlen(ROWS_FLAG);
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    std::string program = argc > 0 ? argv[0] : "";
    program = program.substr(program.find_last_of('/') + 1);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::vector<Row> const rows = collectRows(program, reporter, ratios, growths, figures);
    std::fflush(stdout);
    printTable(rows);
    if (!rowsFile.empty()) {
        writeRows(rowsFile, rows);
    }
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

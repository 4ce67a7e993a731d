// Prints one table from the rows files the benchmark programs write with
// --bench_rows=FILE (tools/bench passes every program's file).

#include "BenchSupport.h"

int main(int argc, char** argv) {
    std::vector<bench::Row> rows;
    for (int i = 1; i < argc; ++i) {
        std::vector<bench::Row> const more = bench::readRows(argv[i]);
        rows.insert(rows.end(), more.begin(), more.end());
    }
    if (rows.empty()) {
        std::fprintf(stderr, "bench_table: no rows in the files given\n");
        return 1;
    }
    bench::printTable(rows);
    return 0;
}

// A fixed, reproducible search workload: fixed-depth searches with one
// thread over a fixed set of positions, each from an empty table. With one
// thread the node total depends only on the search and the evaluation, so
// it doubles as a fingerprint of their behaviour.
#pragma once

#include <cstdint>

struct BenchmarkResult {
    uint64_t nodes = 0;
    uint32_t milliseconds = 0;
    int positions = 0;
};

// Runs every benchmark position to `depth` plies with a transposition table
// of BENCHMARK_TABLE_BYTES (the table's size changes what the search finds,
// so the table is resized for the run and given back its size afterwards).
// Needs the board tables. Leaves the shell's search settings as it found
// them. Prints what the search prints.
BenchmarkResult runSearchBenchmark(int depth);

// Depth of the standard benchmark run.
constexpr int BENCHMARK_DEPTH = 11;
constexpr uint64_t BENCHMARK_TABLE_BYTES = 16ull << 20;

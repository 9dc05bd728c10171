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

// Runs every benchmark position to `depth` plies. Needs the board tables
// and a transposition table; leaves the shell's search settings as it found
// them. Prints what the search prints.
BenchmarkResult runSearchBenchmark(int depth);

// Depth of the standard benchmark run.
constexpr int BENCHMARK_DEPTH = 11;

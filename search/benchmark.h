// A fixed, reproducible search workload: fixed-depth searches with one
// thread over a fixed set of positions, each from an empty table. With one
// thread the node total depends only on the search and the evaluation, so
// it doubles as a fingerprint of their behaviour.
#pragma once

#include <cstdint>

#include "search/position.h"
#include "search/search_request.h"

struct BenchmarkResult {
    uint64_t nodes = 0;
    uint32_t milliseconds = 0;
    int positions = 0;
};

// Runs every benchmark position to `depth` plies with tables of fixed sizes
// (what the search finds depends on the transposition table's size, and the
// lazy evaluation on what the pawn table holds), so both are resized for the
// run and given back their sizes afterwards.
// Needs the board tables. Leaves the game's settings, the game itself and
// the number of search threads as it found them (the searches run with
// one, deaf to input); the tables come back empty. Prints what the search prints.
BenchmarkResult runSearchBenchmark(int depth);

// The benchmark at its standard depth, silent, then its two lines in the
// form testing frameworks read: "Nodes searched: <n>" and
// "Nodes/second: <n>".
void runAndPrintBenchmark();

// One search of the position `fen` as the request asks (a depth limit, a
// fixed time) from empty transposition and pawn tables, as a new game; false
// when the FEN is rejected. The node counts are in pos.stats.
bool searchFromEmptyTables(Position& pos, const char* fen, SearchRequest request);

// Depth of the standard benchmark run.
constexpr int BENCHMARK_DEPTH = 11;
constexpr uint64_t BENCHMARK_TABLE_BYTES = 16ull << 20;
constexpr uint64_t BENCHMARK_PAWN_TABLE_BYTES = 8ull << 20;

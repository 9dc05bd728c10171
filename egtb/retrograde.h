// Retrograde analysis of one table: the distance to mate of every position,
// solved from the mates back, one pawn placement ("slice") at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct MemoryTable;
class TableStore;

// Statistics of a generated table.
struct TableReport {
    double seconds = 0;
    uint64_t wins[2] = {}, losses[2] = {}, draws[2] = {}, unused[2] = {};
    int longestPlies = 0;
};

// How far a table's generation has come: `done` of `total` work units
// (see tableWork), told every few thousand positions.
using SolveProgress = std::function<void(uint64_t done, uint64_t total)>;

// The work of generating a table, in units that take about the same time in
// every table: the entries of the slices to solve, each counted once when it
// is first looked at and again (weighted) when its value spreads to its
// predecessors.
uint64_t tableWork(int table);

// Solves `table` into `out`, reading the values of the smaller tables its
// captures and promotions lead into from `store`, which must hold them.
// False, with the reason in `error`, when a value is missing or does not
// fit the table's entries.
bool solveTable(const TableStore& store, int table, MemoryTable& out, TableReport& report,
                const SolveProgress& progress, std::string& error);

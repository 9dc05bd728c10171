// A trial run of the prober over every table, in a child process.
//
// A file can pass the look at its size and header and still be damaged: a
// header whose tables point past the end of a file that was cut short, or
// garbage behind a sound header. The library would then read outside the
// file and take the engine down in the middle of a game. So before the
// engine uses the tables, a child process sets the prober up on them and
// probes positions of every table; a file that kills or stalls the child, or
// whose verdicts contradict each other, is left out, and the trial goes on
// with the rest.
#pragma once

#include <string>
#include <vector>

#include "egtb/syzygy_files.h"

// Positions probed per table by the trial: through the WDL file (each with
// the positions after all its moves, whose verdicts must agree with its
// own), and root positions through the DTZ file. A set of thousands of
// tables on a slow disk would take minutes at that rate, so the whole trial
// gets a time budget, shared out among the tables still to try; every table
// gets at least one position of each kind.
constexpr int SYZYGY_TRIAL_WDL_SAMPLES = 256;
constexpr int SYZYGY_TRIAL_DTZ_SAMPLES = 64;
constexpr uint32_t SYZYGY_TRIAL_BUDGET_MS = 3000;

// Tries the tables linked into `folder`; a file that fails is reported,
// unlinked and removed from `tables` (a table whose WDL file fails goes
// altogether). Returns false when no trial could be run (the tables are then
// left as they were).
bool trySyzygyTables(std::vector<SyzygyTable>& tables, const std::string& folder, SyzygyMessage say);

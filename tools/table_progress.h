// The progress line of a tool's run over several tables (generating them,
// checking them): the work of every table of the run, counted at the start,
// and of the tables finished so far.
#pragma once

#include <cstdint>
#include <cstdio>

#include "egtb/catalogue.h"
#include "platform/progress_line.h"

struct TableRunProgress {
    ProgressLine line;
    uint64_t totalWork = 0, finishedWork = 0;
    int tables = 0, finished = 0;
};

// When due, shows "<doing> <table> (table k of n)<detail>: p%" for the
// share `tableShare` of the table, and the run's share with `doneInTable`
// units of the table's work behind it.
inline void showTableProgress(TableRunProgress& run, const char* doing, int table, const char* detail,
                              double tableShare, uint64_t doneInTable) {
    if (!progressDue(run.line)) return;
    char what[128];
    std::snprintf(what, sizeof what, "%s %s (table %d of %d)%s: %d%%", doing, tableCatalogue[table].name,
                  run.finished + 1, run.tables, detail, int(100 * tableShare));
    showProgress(run.line, what, double(run.finishedWork + doneInTable) / double(run.totalWork));
}

// A table of the run is finished: its work counts as done.
inline void finishTable(TableRunProgress& run, uint64_t work) {
    run.finishedWork += work;
    run.finished++;
}

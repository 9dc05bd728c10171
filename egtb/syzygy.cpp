#include "egtb/syzygy.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "egtb/syzygy_check.h"
#include "egtb/syzygy_probe.h"

namespace {

// The folder of links the prober reads from. The prober opens a table's
// files when it first needs them, so the links stay until the tables are
// dropped; the program's exit removes them too.
std::string linkFolder;
int largestMen = 0;

void removeLinksAtExit() { removeSyzygyFolder(linkFolder); }

void say(SyzygyMessage to, const char* format, int a, int b = 0, int c = 0) {
    char line[160];
    std::snprintf(line, sizeof line, format, a, b, c);
    to(line);
}

}  // namespace

int setUpSyzygy(const char* pathList, SyzygyMessage report) {
    // The old tables are no longer probed from here on; the prober lets go
    // of them when it is set up again (or stopped, when nothing is left).
    removeSyzygyFolder(linkFolder);
    linkFolder.clear();
    largestMen = 0;
    std::vector<SyzygyTable> tables = findSyzygyTables(pathList, report);
    if (tables.empty()) {
        if (pathList && pathList[0]) report("Syzygy: no tables in use");
        releaseSyzygy();
        return 0;
    }

    static bool exitHookSet = false;
    if (!exitHookSet) exitHookSet = std::atexit(removeLinksAtExit) == 0;
    linkFolder = makeSyzygyFolder();
    if (linkFolder.empty() || !linkSyzygyFiles(linkFolder, tables)) {
        report("Syzygy: no tables in use: cannot make the folder of links to them (is the temporary folder writable?)");
        releaseSyzygy();
        return 0;
    }
    if (!trySyzygyTables(tables, linkFolder, report))
        report("Syzygy: the tables could not be tried out first; they are used as they are");
    if (tables.empty()) {
        report("Syzygy: no tables in use");
        releaseSyzygy();
        return 0;
    }

    largestMen = startSyzygyProber(linkFolder.c_str());
    // Every table is set up by the prober now, one thread at a time, so that
    // the search threads only ever read them (see syzygy_probe.h).
    auto scratch = std::make_unique<Position>();
    int wdlFiles = 0, dtzFiles = 0;
    for (const SyzygyTable& table : tables) {
        touchSyzygyTable(table, false, 1, *scratch);
        wdlFiles++;
        if (table.dtzPath.empty()) continue;
        touchSyzygyTable(table, true, 1, *scratch);
        dtzFiles++;
    }
    say(report, "Syzygy: %d WDL and %d DTZ tables in use, up to %d men", wdlFiles, dtzFiles, largestMen);
    return largestMen;
}

void releaseSyzygy() {
    stopSyzygyProber();
    removeSyzygyFolder(linkFolder);
    linkFolder.clear();
    largestMen = 0;
}

int syzygyLargestMen() { return largestMen; }

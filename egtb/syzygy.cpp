#include "egtb/syzygy.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "egtb/file_stamps.h"
#include "egtb/syzygy_check.h"
#include "egtb/syzygy_probe.h"

namespace {

// The folder of links the prober reads from. The prober opens a table's
// files when it first needs them, so the links stay until the tables are
// dropped; the program's exit removes them too.
std::string linkFolder;
int largestMen = 0;

void removeLinksAtExit() { removeSyzygyFolder(linkFolder); }

// What is in use, as set-up last reported it.
std::string summary;

// What each file in use was when it was set up. The prober maps its files
// and trusts what it reads there: a file cut short, overwritten or swapped
// for another one afterwards would have it read past the end of its mapping
// or follow offsets that mean nothing. Comparing them before a search lets
// the shell set the tables up again from what is on disk now.
FileStamps stamps;

void recordStamps(const std::vector<SyzygyTable>& tables) {
    stamps.clear();
    for (const SyzygyTable& table : tables)
        for (const std::string* path : {&table.wdlPath, &table.dtzPath})
            if (!path->empty()) stamps.add(*path);
}

}  // namespace

bool setUpSyzygy(const char* pathList, SyzygyMessage report) {
    std::vector<SyzygyTable> tables = findSyzygyTables(pathList, report);
    // The new tables are linked and tried while the old ones stay in use.
    std::string folder;
    if (!tables.empty()) {
        static bool exitHookSet = false;
        if (!exitHookSet) exitHookSet = std::atexit(removeLinksAtExit) == 0;
        folder = makeSyzygyFolder();
        if (folder.empty() || !linkSyzygyFiles(folder, tables)) {
            report("Syzygy: cannot make the folder of links to the tables (is the temporary folder writable?)");
            tables.clear();
        } else if (!trySyzygyTables(tables, folder, report)) {
            report("Syzygy: the tables could not be tried out first; they are used as they are");
        }
    }
    if (tables.empty()) {
        removeSyzygyFolder(folder);
        if (splitSyzygyFolders(pathList).empty()) {
            releaseSyzygy();
            return true;
        }
        if (largestMen > 0) {
            report("Syzygy: no usable tables there; the tables in use stay");
            report(summary.c_str());
            return false;
        }
        report("Syzygy: no tables in use");
        releaseSyzygy();
        return true;
    }

    removeSyzygyFolder(linkFolder);
    linkFolder = folder;
    recordStamps(tables);
    largestMen = startSyzygyProber(linkFolder.c_str());
    // Every table is set up by the prober now, one thread at a time, so that
    // the search threads only ever read them (see syzygy_probe.h).
    auto scratch = std::make_unique<Board>();
    int wdlFiles = 0, dtzFiles = 0;
    for (const SyzygyTable& table : tables) {
        touchSyzygyTable(table, false, 1, *scratch);
        wdlFiles++;
        if (table.dtzPath.empty()) continue;
        touchSyzygyTable(table, true, 1, *scratch);
        dtzFiles++;
    }
    char line[160];
    std::snprintf(line, sizeof line, "Syzygy: %d WDL and %d DTZ tables in use, up to %d men", wdlFiles, dtzFiles,
                  largestMen);
    summary = line;
    report(line);
    return true;
}

void releaseSyzygy() {
    stopSyzygyProber();
    removeSyzygyFolder(linkFolder);
    linkFolder.clear();
    largestMen = 0;
    stamps.clear();
}

bool syzygyFilesChanged() { return stamps.anyChanged(); }

int syzygyLargestMen() { return largestMen; }

const char* syzygySummary() { return largestMen > 0 ? summary.c_str() : "Syzygy: no tables in use"; }

// tbgen: generates endgame tables in the engine's own format.
//
//   tbgen [-d DIR] [-c] [-l LEVEL] [-q] (--men N | TABLE...)
//
// Writes both sides of each named table (or of every table up to N men)
// into DIR, generating first the smaller tables its captures and
// promotions lead into, or reading them when DIR holds them already.
// -c writes compressed ".emd" files. A line per generated table, and while
// a table is generated, its progress and the run's with the time left (-q:
// nothing but errors).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "egtb/catalogue.h"
#include "egtb/table_store.h"
#include "platform/progress_line.h"
#include "search/position.h"
#include "tools/table_progress.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: tbgen [-d DIR] [-c] [-l LEVEL] [-q] (--men N | TABLE...)\n");
    return 2;
}

// The line of a generated table: time, wins, losses and draws of each side
// to move, and the longest mate.
void printTableLine(int table, const TableReport& r) {
    std::printf("%-7s %7.2f s  wtm %llu won %llu lost %llu drawn  btm %llu won %llu lost %llu drawn  longest %d plies\n",
                tableCatalogue[table].name, r.seconds, (unsigned long long)r.wins[0], (unsigned long long)r.losses[0],
                (unsigned long long)r.draws[0], (unsigned long long)r.wins[1], (unsigned long long)r.losses[1],
                (unsigned long long)r.draws[1], r.longestPlies);
    std::fflush(stdout);
}

void tableGenerated(TableRunProgress& run, int table, const TableReport& report) {
    clearProgressLine(run.line);
    printTableLine(table, report);
    finishTable(run, tableWork(table));
}

}  // namespace

int main(int argc, char** argv) {
    GeneratorOptions options;
    bool quiet = false;
    int men = 0;
    std::vector<int> tables;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!std::strcmp(a, "-d") && i + 1 < argc) options.directory = argv[++i];
        else if (!std::strcmp(a, "-c")) options.compress = true;
        else if (!std::strcmp(a, "-l") && i + 1 < argc) options.level = std::atoi(argv[++i]);
        else if (!std::strcmp(a, "-q")) quiet = true;
        else if (!std::strcmp(a, "--men") && i + 1 < argc) men = std::atoi(argv[++i]);
        else if (a[0] == '-') return usage();
        else {
            int t = findTable(a);
            if (t < 0 || !tableHasIndex(t)) {
                std::fprintf(stderr, "tbgen: no table \"%s\" (up to five men)\n", a);
                return 2;
            }
            tables.push_back(t);
        }
    }
    if (men) {
        if (men < 3 || men > 5) {
            std::fprintf(stderr, "tbgen: --men takes 3, 4 or 5\n");
            return 2;
        }
        for (int t = 1; t < TABLE_COUNT; t++)
            if (tableMen(t) <= men) tables.push_back(t);
    }
    if (tables.empty()) return usage();

    initZobristKeys();
    initBoardTables();
    // The run's work is that of the tables it will generate, which the store
    // finds once it is made.
    TableRunProgress run;
    if (!quiet) {
        options.reporter.progress = [&](int t, uint64_t done, uint64_t total) {
            showTableProgress(run, "generating", t, "", double(done) / double(total), done);
        };
        options.reporter.generated = [&](int t, const TableReport& report) { tableGenerated(run, t, report); };
    }
    TableStore store(options);
    const std::vector<int> planned = store.tablesToGenerate(tables);
    run.tables = int(planned.size());
    for (int t : planned) run.totalWork += tableWork(t);
    if (!quiet) startProgressLine(run.line, stdout);
    for (int t : tables) {
        std::string error;
        if (!store.ensure(t, error)) {
            clearProgressLine(run.line);
            std::fprintf(stderr, "tbgen: %s: %s\n", tableCatalogue[t].name, error.c_str());
            return 1;
        }
        // Five-man tables are large: read them again when another needs them.
        store.releaseAbove(4);
    }
    clearProgressLine(run.line);
    return 0;
}

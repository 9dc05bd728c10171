// tbcheck: compares generated tables with Gaviota's distance-to-mate tables.
//
//   tbcheck [-d DIR] -g GAVIOTA_DIR (--men N | TABLE...)
//
// Every legal position of each table, both sides to move, is looked up in
// our table (read from DIR, or generated in memory when DIR lacks it) and
// probed in Gaviota's: win, draw or loss and the exact distance in plies
// must agree. Prints the positions compared and the differences; exits 1 on
// any difference. While it works, a progress line says which table and side
// it compares and how long the rest will take.
#include <gtb-probe.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "egtb/catalogue.h"
#include "egtb/table_entries.h"
#include "egtb/table_store.h"
#include "egtb/tablebase_values.h"
#include "tools/table_progress.h"
#include "search/position.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: tbcheck [-d DIR] -g GAVIOTA_DIR (--men N | TABLE...)\n");
    return 2;
}

// What Gaviota says of a position, as a tablebase value for the side to move.
bool gaviotaValue(const TableLayout& layout, const int* sq, int side, int& value) {
    unsigned ws[8], bs[8];
    unsigned char wp[8], bp[8];
    int nw = 0, nb = 0;
    for (int m = 0; m < layout.men; m++) {
        if (layout.manColour[m] == 0) {
            ws[nw] = unsigned(sq[m]);
            wp[nw++] = (unsigned char)layout.manType[m];  // pawn 1 .. king 6, as Gaviota numbers them
        } else {
            bs[nb] = unsigned(sq[m]);
            bp[nb++] = (unsigned char)layout.manType[m];
        }
    }
    ws[nw] = bs[nb] = tb_NOSQUARE;
    wp[nw] = bp[nb] = tb_NOPIECE;
    unsigned info = 0, plies = 0;
    if (!tb_probe_hard(unsigned(side), tb_NOSQUARE, tb_NOCASTLE, ws, bs, wp, bp, &info, &plies)) return false;
    if (info == tb_DRAW) value = 0;
    else if (info == tb_WMATE || info == tb_BMATE) {
        bool moverWins = (info == tb_WMATE) == (side == 0);
        if (moverWins != bool(plies & 1)) return false;  // a win takes an odd number of plies
        value = valueFromPlies(int(plies));
    } else return false;
    return true;
}

// The work of checking a table, for the progress line: every entry of both
// sides is looked at, the legal ones compared.
uint64_t checkWork(int table) { return 2 * tableLayout(table).size; }

}  // namespace

int main(int argc, char** argv) {
    GeneratorOptions options;
    options.writeFiles = false;
    std::string gaviota;
    int men = 0;
    std::vector<int> tables;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!std::strcmp(a, "-d") && i + 1 < argc) options.directory = argv[++i];
        else if (!std::strcmp(a, "-g") && i + 1 < argc) gaviota = argv[++i];
        else if (!std::strcmp(a, "--men") && i + 1 < argc) men = std::atoi(argv[++i]);
        else if (a[0] == '-') return usage();
        else {
            int t = findTable(a);
            if (t < 0 || tableMen(t) > 4) {
                std::fprintf(stderr, "tbcheck: Gaviota's tables here have up to four men, not \"%s\"\n", a);
                return 2;
            }
            tables.push_back(t);
        }
    }
    if (men)
        for (int t = 1; t < TABLE_COUNT; t++)
            if (tableMen(t) <= std::min(men, 4)) tables.push_back(t);
    if (tables.empty() || gaviota.empty()) return usage();

    initZobristKeys();
    initBoardTables();
    const char** paths = tbpaths_add(tbpaths_init(), gaviota.c_str());
    tb_init(0, tb_CP4, paths);
    tbcache_init(64 * 1024 * 1024, 0);
    if (!tb_is_initialized()) {
        std::fprintf(stderr, "tbcheck: Gaviota's tables not found in %s\n", gaviota.c_str());
        return 2;
    }

    TableRunProgress run;
    run.tables = int(tables.size());
    for (int t : tables) run.totalWork += checkWork(t);
    startProgressLine(run.line, stdout);
    // A table that is not in the directory is generated in memory first.
    options.reporter.progress = [&](int t, uint64_t done, uint64_t all) {
        showTableProgress(run, "generating", t, " in memory", double(done) / double(all), 0);
    };
    TableStore store(options);
    unsigned long long total = 0, totalDifferences = 0;
    for (int t : tables) {
        std::string error;
        if (!store.ensure(t, error)) {
            clearProgressLine(run.line);
            std::fprintf(stderr, "tbcheck: %s: %s\n", tableCatalogue[t].name, error.c_str());
            return 1;
        }
        const TableInfo& info = tableCatalogue[t];
        const MemoryTable* ours = store.find(t);
        const TableLayout& layout = tableLayout(t);
        unsigned long long compared = 0, differences = 0;
        for (int side = 0; side < 2; side++) {
            forEachLegalEntry(t, side, [&](uint32_t entry, const int* sq) {
                if (compared % 4096 == 0) {
                    const uint64_t done = side * layout.size + entry;
                    showTableProgress(run, "checking", t, side ? ", Black to move" : ", White to move",
                                      double(done) / double(checkWork(t)), done);
                }
                int first[LIST_SLOTS] = {}, second[LIST_SLOTS] = {};
                int nth[2][7] = {};
                for (int m = 0; m < layout.men; m++) {
                    int c = layout.manColour[m], type = layout.manType[m];
                    (c ? second : first)[listSlot(type, nth[c][type]++)] = sq[m];
                }
                // Through the index function of the side, as a probe would go.
                uint32_t index = info.index[side](first, second, TB_NO_SQUARE, false);
                int mine = index == NO_INDEX ? TB_NOT_AVAILABLE
                                             : ours->value((info.flags & TABLE_SYMMETRIC) ? 0 : side, index);
                int theirs = TB_NOT_AVAILABLE;
                bool known = gaviotaValue(layout, sq, side, theirs);
                compared++;
                if (!known || mine != theirs) {
                    clearProgressLine(run.line);
                    if (differences < 5)
                        std::printf("  %s: ours %d, Gaviota %d%s\n", entryFen(t, sq, side).c_str(), mine, theirs,
                                    known ? "" : " (no answer)");
                    differences++;
                }
            });
        }
        clearProgressLine(run.line);
        std::printf("%-6s %12llu positions compared, %llu differences\n", info.name, compared, differences);
        std::fflush(stdout);
        total += compared;
        totalDifferences += differences;
        store.releaseAbove(3);
        finishTable(run, checkWork(t));
    }
    std::printf("total  %12llu positions compared, %llu differences\n", total, totalDifferences);
    tbcache_done();
    tb_done();
    tbpaths_done(paths);
    return totalDifferences ? 1 : 0;
}

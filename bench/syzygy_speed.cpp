// Syzygy probe speed: fixed-depth searches of endgame positions with the
// tables (probes per second within the search, nodes per second) against the
// same searches without them, alternating, and the bare WDL probe on the
// positions those searches reach. Usage: syzygy_speed [folder] [depth] [runs]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/syzygy.h"
#include "egtb/syzygy_probe.h"
#include "eval/eval_settings.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "search/benchmark.h"
#include "search/iterate.h"
#include "search/new_game.h"
#include "search/search_shared.h"
#include "search/time_control.h"
#include "search/transposition.h"

namespace {

// Endings of four to six men whose captures lead into the tables.
const char* const positions[] = {
    "8/8/4k3/8/2R1r3/8/3PK3/8 w - - 0 1",       // rook and pawn against rook
    "8/5k2/8/3Q4/8/2q3P1/6K1/8 w - - 0 1",      // queen and pawn against queen
    "8/8/3k4/8/1n6/3B4/2K1P3/8 w - - 0 1",      // bishop and pawn against knight
    "8/8/8/4k3/8/2KR4/8/5r2 b - - 0 1",         // rook against rook
    "4k3/8/8/8/8/8/1r6/KQ6 w - - 0 1",          // queen against rook
    "8/p7/8/1k6/8/8/5PK1/8 w - - 0 1",          // pawn against pawn, and one more
    "8/8/2k5/8/8/5N2/1K3B2/8 w - - 0 1",        // bishop and knight
    "8/6k1/8/4r3/8/8/2RB4/2K5 w - - 0 1",       // rook and bishop against rook
};

void quiet(const char*) {}

struct Totals {
    uint64_t nodes = 0, probes = 0, hits = 0;
    uint32_t ms = 0;
};

Totals searchAll(int depth, bool withTables, int largest) {
    auto pos = std::make_unique<Position>();
    SearchRequest request;
    request.depthLimit = depth + 1;
    request.clocks.fixedTime = true;
    request.clocks.fixedMoveTime = 0xFFFFFFF;
    request.syzygyMen = withTables ? largest : 0;
    request.syzygy50MoveRule = true;
    gEvalSettings = EvalSettings{};
    Totals t;
    for (const char* fen : positions) {
        const uint32_t start = timeNow();
        if (!searchFromEmptyTables(*pos, fen, request)) continue;
        t.ms += timeNow() - start;
        t.nodes += pos->stats.nodes;
        t.probes += pos->stats.tablebaseProbes;
        t.hits += pos->stats.tablebaseHits;
    }
    return t;
}

// Every position two plies from the start positions that has no more men
// than the tables: what the search probes.
std::vector<std::unique_ptr<Position>> probedPositions(int largest) {
    std::vector<std::unique_ptr<Position>> out;
    auto pos = std::make_unique<Position>();
    for (const char* fen : positions) {
        if (!beginGame(*pos, fen)) continue;
        Move first[MAX_MOVES];
        Move* endFirst = generateAllMoves(*pos, first);
        for (Move* a = first; a < endFirst; a++) {
            pos->historyCount = 1;
            if (!makeMove(*pos, *a, false)) continue;
            Move second[MAX_MOVES];
            Move* endSecond = generateAllMoves(*pos, second);
            for (Move* b = second; b < endSecond; b++) {
                if (!makeMove(*pos, *b, false)) continue;
                if (popCount(occupied(*pos)) <= largest && !pos->castling) out.push_back(std::make_unique<Position>(*pos));
                unmakeMove(*pos);
            }
            unmakeMove(*pos);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : std::string(TARNO_SOURCE_DIR) + "/tests/data/syzygy";
    const int depth = argc > 2 ? std::atoi(argv[2]) : 14;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    initZobristKeys();
    initBoardTables();
    setUpSyzygy(folder.c_str(), quiet);
    const int largest = syzygyLargestMen();
    if (largest == 0) {
        std::printf("no Syzygy tables in %s\n", folder.c_str());
        return 1;
    }
    allocateTranspositionTable(16ull << 20);
    allocatePawnTable(8ull << 20);

    std::fflush(stdout);
    const int console = dup(1);
    FILE* sink = std::fopen("/dev/null", "w");
    std::vector<double> probeRates, withRates, withoutRates;
    for (int run = 0; run < runs; run++) {
        if (sink) dup2(fileno(sink), 1);
        const Totals with = searchAll(depth, true, largest);
        const Totals without = searchAll(depth, false, largest);
        std::fflush(stdout);
        dup2(console, 1);
        const double probesPerSecond = with.ms ? with.probes * 1000.0 / with.ms : 0;
        const double nodesWith = with.ms ? with.nodes * 1000.0 / with.ms : 0;
        const double nodesWithout = without.ms ? without.nodes * 1000.0 / without.ms : 0;
        probeRates.push_back(probesPerSecond);
        withRates.push_back(nodesWith);
        withoutRates.push_back(nodesWithout);
        std::printf("run %d: with tables %llu nodes, %llu probes (%llu hits) in %u ms: %.0f probes/s, %.0f nodes/s;"
                    " without: %llu nodes in %u ms, %.0f nodes/s\n",
                    run + 1, (unsigned long long)with.nodes, (unsigned long long)with.probes,
                    (unsigned long long)with.hits, with.ms, probesPerSecond, nodesWith,
                    (unsigned long long)without.nodes, without.ms, nodesWithout);
        std::fflush(stdout);  // before the next run sends the output away
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("depth %d, %zu positions, tables of up to %d men: median %.0f probes/s in the search; "
                "%.0f nodes/s with tables, %.0f without\n",
                depth, sizeof positions / sizeof positions[0], largest, median(probeRates), median(withRates),
                median(withoutRates));

    // The bare probe, on what the searches reach.
    const auto probed = probedPositions(largest);
    std::vector<double> nanoseconds;
    long answered = 0;
    for (int run = 0; run < runs; run++) {
        answered = 0;
        const uint32_t start = timeNow();
        int rounds = 0;
        do {
            for (const auto& pos : probed) {
                int wdl;
                answered += probeSyzygyWdl(*pos, wdl);
            }
            rounds++;
        } while (timeNow() - start < 500);
        const double ms = timeNow() - start;
        nanoseconds.push_back(ms * 1e6 / (double(rounds) * double(probed.size())));
        answered /= rounds;
    }
    std::printf("bare WDL probe: %zu positions (%ld answered): median %.0f ns per probe, %.2f M probes/s\n",
                probed.size(), answered, median(nanoseconds), 1000.0 / median(nanoseconds));
    return 0;
}

#include "search/statistics.h"

#include <cstdio>

#include "search/position.h"
#include "search/search_shared.h"
#include "search/output.h"
#include "search/parallel.h"
#include "search/time_control.h"

namespace {

// Percentages in 64-bit arithmetic: the counters of a long search times 100
// do not fit 32 bits.
unsigned percent(uint64_t part, uint64_t whole) { return unsigned(part * 100 / whole); }
int truncatedPercent(uint64_t part, uint64_t whole) { return int(double(part) * 100.0 / double(whole)); }

}  // namespace

void printStatistics(const Position& pos, char* buffer, uint32_t now, uint32_t knps) {
    const SearchStatistics& s = pos.stats;
    const EvalStatistics& e = pos.evalStats;
    double seconds = double(now - gLimits.startTime) / 1000.0;
    uint64_t failHighs = uint64_t(s.failHighs) + 1;
    int n = 0;
    const int size = 512;
    n += std::snprintf(buffer + n, size - n, "  depth=%i time=%.2fs n=%u fh=%u%% killers=%u%% Knps=%u\r\n",
                       gSearch.iterationDepth, seconds, s.nodes, percent(s.firstMoveFailHighs, failHighs),
                       percent(s.killerFailHighs, failHighs), knps);
    n += std::snprintf(buffer + n, size - n, "  nodes-> qsearch=%u qsearch%%=%i%%\n", s.quiescenceNodes,
                       truncatedPercent(s.quiescenceNodes, uint64_t(s.nodes) + 1));
    n += std::snprintf(buffer + n, size - n, "  prune=%u lmr_res=%u pvs_res=%u chkext=%u ppush=%u\r\n", s.prunedMoves,
                       s.lateMoveResearches, s.pvsResearches, s.checkExtensions, s.passedPawnPushes);
    n += std::snprintf(buffer + n, size - n, "  nm=%lu%% evals=%u lazyevals=%u egtb_probes=%u egtb_hits=%u\r\n",
                       (unsigned long)percent(s.nullMoveCutoffs, uint64_t(s.nullMovesTried) + 1), e.evals, e.lazyEvals,
                       s.tablebaseProbes, s.tablebaseHits);
    n += std::snprintf(buffer + n, size - n, "  hashing-> trans/ref=%d%% ttfh=%d%% pawn=%d%%\r\n",
                       int(percent(s.hashHits, uint64_t(s.hashProbes) + 1)),
                       int(percent(s.hashMoveFailHighs, uint64_t(s.firstMoveFailHighs) + 1)),
                       truncatedPercent(e.pawnHits, uint64_t(e.pawnProbes) + 1));
    std::snprintf(buffer + n, size - n, "  smp-> splits=%d aborts=%d\r\n\r\n", int(gParallel.splitCount),
                  int(gParallel.abortCount));
    if (consoleForm() && !gOutput.epdtest) std::fputs(buffer, stdout);
}

void kibitzLine(const Position& pos, uint32_t now, int score, uint32_t knps, const char* text) {
    char line[256];
    int n = std::snprintf(line, sizeof line, "%s", gOutput.computerOpponent ? "kibitz " : "whisper ");
    if (text && text[0]) {
        std::snprintf(line + n, sizeof line - n, "%s", text);
    } else {
        n += std::snprintf(line + n, sizeof line - n, "score=%+.2f depth=%i Knps=%u time=%.2fs", score / 100.0,
                           gSearch.iterationDepth, knps, double(now - gLimits.startTime) / 1000.0);
        if (pos.stats.tablebaseProbes)
            std::snprintf(line + n, sizeof line - n, " tbprobes=%u tbhits=%u", pos.stats.tablebaseProbes,
                          pos.stats.tablebaseHits);
    }
    std::printf("%s\n", line);
    if (score > SHOWN_AS_MATE) {
        int moves = (MATE - score) / 2;
        if (moves) std::printf("kibitz mate in %i\n", moves);
    }
}

// Parallel search speed: the time to reach a fixed depth with one thread
// against N threads, position by position, in the same run. Prints each
// position's time ratio, the median speed-up, and nodes per second for both
// thread counts.
//
// Usage: parallel_speed [threads] [depth] [positions] [repeats]
//   threads    N, default 2
//   depth      plies of the last iteration, default 12
//   positions  how many of the Bratko-Kopec and Win-at-Chess positions,
//              default 44 (all 24 Bratko-Kopec, then the first 20 WAC)
//   repeats    searches of each position with each thread count, default
//              3; the fastest counts. On a machine shared with other work a
//              search can only be slowed down by it, never sped up, so the
//              fastest of a few is the one least disturbed.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/notation.h"
#include "eval/eval_settings.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "search/benchmark.h"
#include "search/parallel.h"
#include "search/time_control.h"
#include "search/transposition.h"

namespace {

constexpr uint64_t TABLE_BYTES = 64ull << 20;
constexpr uint64_t PAWN_TABLE_BYTES = 8ull << 20;
// Positions that one thread searches faster than this are left out of the
// median.
constexpr uint32_t MIN_TIMED_MS = 50;

// The FEN part of each EPD line (everything before the first operation).
std::vector<std::string> readPositions(const std::string& path, size_t limit) {
    std::vector<std::string> fens;
    std::ifstream file(path);
    std::string line;
    while (fens.size() < limit && std::getline(file, line)) {
        size_t bm = line.find(" bm ");
        if (bm == std::string::npos) bm = line.find(" am ");
        if (bm != std::string::npos) fens.push_back(line.substr(0, bm));
    }
    return fens;
}

struct Run {
    uint32_t ms = 0;
    uint64_t nodes = 0;
    uint32_t splits = 0;
    uint32_t aborts = 0;
    double idleShare = 0;  // of all threads' time, waiting for work
};

// One search to `depth` from empty tables, as a fresh game.
Run searchToDepth(Position& pos, const std::string& fen, int depth) {
    Run run;
    SearchRequest request;
    request.depthLimit = depth + 1;
    request.clocks.fixedTime = true;
    request.clocks.fixedMoveTime = 0xFFFFFFF;
    const uint32_t start = timeNow();
    if (!searchFromEmptyTables(pos, fen.c_str(), request)) return run;
    run.ms = timeNow() - start;
    run.nodes = pos.stats.nodes;
    run.splits = gParallel.splitCount;
    run.aborts = gParallel.abortCount;
    if (run.ms) run.idleShare = gParallel.idleNanoseconds.load() / (1e6 * run.ms * searchThreadCount());
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    if (n == 0) return 0;
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned threads = argc > 1 ? unsigned(std::max(1, std::atoi(argv[1]))) : 2;
    const int depth = argc > 2 ? std::max(1, std::atoi(argv[2])) : 12;
    const size_t wanted = argc > 3 ? size_t(std::max(1, std::atoi(argv[3]))) : 44;
    const int repeats = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    initZobristKeys();
    initBoardTables();
    if (!allocateTranspositionTable(TABLE_BYTES) || !allocatePawnTable(PAWN_TABLE_BYTES)) {
        std::fprintf(stderr, "not enough memory for the tables\n");
        return 1;
    }
    const std::string data = std::string(TARNO_SOURCE_DIR) + "/tests/data/";
    std::vector<std::string> fens = readPositions(data + "bratko-kopec.epd", wanted);
    if (fens.size() < wanted) {
        std::vector<std::string> wac = readPositions(data + "wac-001-100.epd", wanted - fens.size());
        fens.insert(fens.end(), wac.begin(), wac.end());
    }
    gEvalSettings = EvalSettings{};
    auto pos = std::make_unique<Position>();

    std::printf("%u threads against 1, depth %d, %zu positions, fastest of %d\n", threads, depth, fens.size(), repeats);
    std::printf("%4s %9s %9s %7s %11s %11s %7s %7s %6s\n", "pos", "1 thr ms", "N thr ms", "ratio", "1 thr nodes",
                "N thr nodes", "splits", "aborts", "idle");
    std::fflush(stdout);
    const int console = dup(1);
    FILE* sink = std::fopen("/dev/null", "w");

    std::vector<double> ratios;
    double idleWeighted = 0;
    uint64_t splitsTotal = 0;
    uint64_t nodes1 = 0, nodesN = 0, ms1 = 0, msN = 0;
    for (size_t i = 0; i < fens.size(); i++) {
        // One thread, then N, on the same position: both meet the same
        // load on the machine.
        if (sink) dup2(fileno(sink), 1);
        Run one, many;
        for (int r = 0; r < repeats; r++) {
            changeThreadCount(1);
            const Run a = searchToDepth(*pos, fens[i], depth);
            if (r == 0 || a.ms < one.ms) one = a;
            // The threads are started before the clock runs: a game starts
            // them once, not for every move.
            changeThreadCount(threads);
            gGame.engineSide = WHITE;
            beginParallelSearch(*pos);
            endParallelSearch();
            const Run b = searchToDepth(*pos, fens[i], depth);
            if (r == 0 || b.ms < many.ms) many = b;
        }
        std::fflush(stdout);
        dup2(console, 1);

        const double ratio = many.ms ? double(one.ms) / many.ms : 0;
        // A search of a few milliseconds (a quick mate) says nothing about
        // the threads: its time is mostly the clock's resolution.
        if (one.ms >= MIN_TIMED_MS) ratios.push_back(ratio);
        nodes1 += one.nodes;
        nodesN += many.nodes;
        ms1 += one.ms;
        msN += many.ms;
        std::printf("%4zu %9u %9u %7.2f %11llu %11llu %7u %7u %5.0f%%\n", i + 1, one.ms, many.ms, ratio,
                    (unsigned long long)one.nodes, (unsigned long long)many.nodes, many.splits, many.aborts,
                    100 * many.idleShare);
        idleWeighted += many.idleShare * many.ms;
        splitsTotal += many.splits;
        std::fflush(stdout);
    }
    changeThreadCount(1);
    const double nps1 = ms1 ? nodes1 * 1000.0 / ms1 : 0;
    const double npsN = msN ? nodesN * 1000.0 / msN : 0;
    std::printf("median time-to-depth speed-up with %u threads: %.2f (over the %zu positions one thread searched "
                "for %u ms or more)\n",
                threads, median(ratios), ratios.size(), MIN_TIMED_MS);
    std::printf("total time: 1 thread %llu ms, %u threads %llu ms (%.2f)\n", (unsigned long long)ms1, threads,
                (unsigned long long)msN, msN ? double(ms1) / msN : 0.0);
    std::printf("nodes per second: 1 thread %.0f, %u threads %.0f (%.2f times)\n", nps1, threads, npsN,
                nps1 ? npsN / nps1 : 0.0);
    std::printf("search overhead (nodes of %u threads / nodes of 1): %.2f\n", threads,
                nodes1 ? double(nodesN) / nodes1 : 0.0);
    std::printf("splits: %llu; threads waiting for work: %.0f%% of their time\n", (unsigned long long)splitsTotal,
                msN ? 100 * idleWeighted / msN : 0.0);
    return 0;
}

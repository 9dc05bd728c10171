#include "search/benchmark.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "eval/eval_settings.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "search/new_game.h"
#include "search/reporter.h"
#include "search/search_request.h"
#include "search/search_shared.h"
#include "search/time_control.h"
#include "search/transposition.h"

namespace {

// Openings, middlegames with tactics, and endgames where the search has to
// see far: a spread of what the engine meets in games.
const char* const benchmarkPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
};

}  // namespace

void runAndPrintBenchmark() {
    const Reporter saved = currentReporter();
    setReporter(Reporter{});
    const BenchmarkResult result = runSearchBenchmark(BENCHMARK_DEPTH);
    setReporter(saved);
    const uint64_t nps = result.nodes * 1000 / std::max<uint32_t>(result.milliseconds, 1);
    std::printf("Nodes searched: %llu\nNodes/second: %llu\n", (unsigned long long)result.nodes,
                (unsigned long long)nps);
    std::fflush(stdout);
}

bool searchFromEmptyTables(Position& pos, const char* fen, SearchRequest request) {
    std::memset(&pos, 0, sizeof(Position));
    // Every position starts from the same empty tables, so the node count
    // never depends on what ran before.
    if (!beginGame(pos, fen, StoredResults::Dropped)) return false;

    gGame.engineSide = pos.sideToMove;
    request.startTime = timeNow();
    request.newPosition = true;
    search(pos, request);
    return true;
}

namespace {

// The game a session was playing when it asked for the benchmark: each
// benchmark position starts a game of its own, and the session's game
// (its moves, repetitions and ply) comes back afterwards.
struct SavedGame {
    std::vector<uint64_t> repetitions;
    uint32_t repetitionCount;
    int gamePly;
    bool setUpPosition;
    std::vector<HistoryEntry> record;
};

SavedGame saveGame() {
    SavedGame saved;
    saved.repetitionCount = gGame.repetitionCount;
    saved.repetitions.assign(gGame.repetitionList, gGame.repetitionList + gGame.repetitionCount);
    saved.gamePly = gGame.gamePly;
    saved.setUpPosition = gGame.setUpPosition;
    saved.record = gGame.gameRecord;
    return saved;
}

void restoreGame(const SavedGame& saved) {
    std::copy(saved.repetitions.begin(), saved.repetitions.end(), gGame.repetitionList);
    gGame.repetitionCount = saved.repetitionCount;
    gGame.gamePly = saved.gamePly;
    gGame.setUpPosition = saved.setUpPosition;
    gGame.gameRecord = saved.record;
}

}  // namespace

BenchmarkResult runSearchBenchmark(int depth) {
    const SearchLimits savedLimits = gLimits;
    const EvalSettings savedEvalSettings = gEvalSettings;
    const int savedEngineSide = gGame.engineSide;
    const SavedGame savedGame = saveGame();
    // One thread, whatever the session uses: the node total of several
    // depends on how the threads meet.
    const unsigned savedThreads = gSearch.threadCount;
    gSearch.threadCount = 1;
    // Nor does the input stop it: a line that arrives meanwhile waits the
    // second it takes, and the node total stays the pinned one.
    const InputHook savedHook = gSearch.inputHook;
    gSearch.inputHook = nullptr;
    const uint64_t savedTableBytes = gTransposition.bytes;
    const uint64_t savedPawnBytes = gPawnTable.count * sizeof(PawnEntry);
    BenchmarkResult result;
    if (!allocateTranspositionTable(BENCHMARK_TABLE_BYTES) || !allocatePawnTable(BENCHMARK_PAWN_TABLE_BYTES)) {
        allocateTranspositionTable(savedTableBytes);
        allocatePawnTable(savedPawnBytes);
        gSearch.threadCount = savedThreads;
        gSearch.inputHook = savedHook;
        return result;
    }
    auto pos = std::make_unique<Position>();

    SearchRequest request;
    request.depthLimit = depth + 1;  // as the "depth" command stores it
    request.clocks.fixedTime = true;
    request.clocks.fixedMoveTime = 0xFFFFFFF;
    // Each position is a new game, out of nobody's book, against nobody in
    // particular.
    gEvalSettings = EvalSettings{};

    const uint32_t start = timeNow();
    for (const char* fen : benchmarkPositions) {
        if (!searchFromEmptyTables(*pos, fen, request)) continue;
        result.nodes += pos->stats.nodes;
        result.positions++;
    }
    result.milliseconds = timeNow() - start;
    gLimits = savedLimits;
    gEvalSettings = savedEvalSettings;
    gGame.engineSide = savedEngineSide;
    gSearch.threadCount = savedThreads;
    gSearch.inputHook = savedHook;
    restoreGame(savedGame);
    allocateTranspositionTable(savedTableBytes);
    allocatePawnTable(savedPawnBytes);
    return result;
}

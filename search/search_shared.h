// The search's shared state in one record: what every search thread reads
// while a search runs. Only search/ writes it; the shell asks for a search
// with a request (search/search_request.h) and reads what it found from the
// result.
#pragma once

#include <atomic>
#include <cstdint>

#include "search/position.h"
#include "search/score.h"
#include "search/search_request.h"

// One legal move at the root, with what the last search of it found.
struct RootMove {
    Move move;
    uint32_t nodes;  // nodes its last search visited
    uint32_t flags;  // ROOT_* bits below
    int32_t score;   // last search score (ordering score before the first iteration)
    char text[12];   // SAN, for output
};

// Root move flags.
constexpr uint32_t ROOT_HANDED_OUT = 0x100;  // searched or being searched in this iteration
constexpr uint32_t ROOT_NO_REDUCE = 0x80;    // never reduced at the root
constexpr uint32_t ROOT_NO_SPLIT = 0x40;     // never reduced; no root split while it is next
// Aspiration failures of the current iteration: first, second, third
// fail-low and fail-high.
constexpr uint32_t FAIL_LOW_1 = 0x01, FAIL_LOW_2 = 0x02, FAIL_LOW_3 = 0x04;
constexpr uint32_t FAIL_HIGH_1 = 0x08, FAIL_HIGH_2 = 0x10, FAIL_HIGH_3 = 0x20;
constexpr uint32_t FAIL_LOW_BITS = FAIL_LOW_1 | FAIL_LOW_2 | FAIL_LOW_3;
constexpr uint32_t FAIL_HIGH_BITS = FAIL_HIGH_1 | FAIL_HIGH_2 | FAIL_HIGH_3;

constexpr int MAX_ROOT_MOVES = 256;

struct SearchShared {
    // Set by the time check, by a command arriving during the search, or by
    // quitting; read by every thread at every node.
    std::atomic<bool> abortFlag{false};
    // Nodes left before thread 0 next polls input and the clock; only
    // thread 0 counts it down. Written at every node, so it has a cache line
    // of its own: the other threads read the fields around it (the abort
    // flag at every node, the idle threads' flags while they spin), and a
    // shared line would travel between the processors at every node.
    alignas(64) std::atomic<int32_t> nodeCountdown{65535};
    alignas(64) int32_t checkInterval = 65535;  // set by time control after each move
    // Called by thread 0 every `check interval` nodes to look for input: it
    // may run a command that arrived, which can stop the search. Start-up
    // installs the shell's; without one (tests, the benchmark) a search
    // never reads input.
    InputHook inputHook = nullptr;
    int iterationDepth = 0;

    // Search threads, the main thread included: from the settings file or
    // "cores".
    unsigned threadCount = 1;
    // "easy": the engine does not think on the opponent's time. Written by
    // the shell, read by the game flow.
    std::atomic<bool> ponderingDisabled{false};

    // root
    int rootAlpha = -MATE;
    int rootBeta = MATE;
    int rootLowerBound = -MATE;
    int lastCompletedScore = NO_SCORE;
    int lastCompletedDepth = 0;
    Move easyMove = 0;

    // A search on the opponent's time: the reply it assumes, for the
    // thinking lines, and its last complete root search.
    char expectedReply[13] = {};
    int ponderScore = NO_SCORE;  // NO_SCORE: no result
    Move ponderBestMove = 0;
    bool ponderFailedLow = false;  // its last iteration ended below its window

    // The root move list, built by the first nextRootMove of a search.
    RootMove rootMoves[MAX_ROOT_MOVES];
    int rootMoveCount = 0;
    // The moves the request restricted the search to (UCI "go
    // searchmoves"); empty: every legal move.
    Move searchMoves[MAX_ROOT_MOVES];
    int searchMoveCount = 0;
    // Several principal variations: the lines wanted, and the one being
    // searched now (from 0). Line k is found by searching the root moves
    // from index k on, the k better ones set aside; everything that hands
    // out, promotes or re-releases root moves starts at `pvIndex`.
    int multiPV = 1;
    int pvIndex = 0;
    // Lines the request asked to see; a strength limit searches more, to
    // choose among, and shows only these.
    int shownLines = 1;
    int limitElo = 0;  // the request's strength limit; 0: none
    // What each line found in its last complete search (depth 0: none yet).
    // The root record's own rows keep line 0, the move the game plays.
    struct Line {
        PVRow row;
        int score;
        int depth;
    };
    Line lines[MAX_ROOT_MOVES];
    // Aspiration failures of the running iteration (FAIL_* bits). They
    // belong to the iteration, not to whichever move is first in the list.
    uint32_t rootFailBits = 0;

    // Largest tablebase (in men) the search may probe; 0 = none available.
    // From the request.
    int tablebaseMenLimit = 0;
    // The same for the Syzygy tables (their largest size within the probe
    // limit), and whether their wins beyond the fifty-move rule are draws.
    int syzygyMenLimit = 0;
    bool syzygy50MoveRule = true;
    int syzygyProbeDepth = 1;  // plies left below which Syzygy is not probed

    // Root progress lines may come from any thread handing out root moves
    // (a spin word, platform/spin_lock.h).
    uint32_t outputLock = 0;
};

extern SearchShared gSearch;

// The one test whether a search must unwind: time is up, input stopped it,
// or (in a parallel search) this thread's work at a split is no longer
// needed.
inline bool stopFlagSet(const Position& pos) {
    return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(pos.stopFlag)).load(std::memory_order_relaxed) != 0;
}
inline void setStopFlag(Position& pos, bool stop) {
    std::atomic_ref<uint8_t>(pos.stopFlag).store(stop ? 1 : 0, std::memory_order_relaxed);
}
inline bool searchStopped(const Position& pos) {
    return gSearch.abortFlag.load(std::memory_order_relaxed) || stopFlagSet(pos);
}

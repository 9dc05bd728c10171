// The search's shared state in one record: what every search thread and the
// shell may read while a search runs.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"

struct SearchShared {
    // Set by the time check, by a command arriving during the search, or by
    // quitting; read by every thread at every node.
    std::atomic<bool> abortFlag{false};
    // Nodes left before thread 0 next polls input and the clock. Decremented
    // by every thread; only its sign matters, so relaxed order is enough.
    std::atomic<int32_t> nodeCountdown{65535};
    int32_t checkInterval = 65535;
    int iterationDepth = 0;

    // root
    int rootAlpha = -10000;
    int rootBeta = 10000;
    int rootLowerBound = -10000;
    int lastCompletedScore = -10000;  // -10000 = none
    int lastCompletedDepth = 0;
    Move easyMove = 0;
    uint32_t deadline = 0;

    // pondering
    bool ponderingInProgress = false;
    bool puzzle = false;
};

extern SearchShared gSearch;

#include "search/time_control.h"

#include <algorithm>

#include "platform/clock.h"
#include "search/iterate.h"
#include "search/position.h"
#include "search/score.h"
#include "search/search_shared.h"

TimeControl gTimeControl;
SearchLimits gLimits;

namespace {

uint32_t engineClockOrDefault() {
    return gTimeControl.engineClock == CLOCK_NOT_SET ? DEFAULT_CLOCK_MS : gTimeControl.engineClock;
}

uint32_t suddenDeathMoveTime(uint32_t clock) {
    uint32_t share = DEFAULT_SHARE;
    if (clock > MIDDLE_CLOCK_MS && clock < LONG_CLOCK_MS) share = MIDDLE_CLOCK_SHARE;
    else if (clock > SHORT_CLOCK_MS && clock < MIDDLE_CLOCK_MS) share = SHORT_CLOCK_SHARE;
    if (clock < SHORT_CLOCK_MS) return PANIC_MOVE_TIME;
    return clock / share + gTimeControl.increment / 2;
}

// The move about to be played is the last before the time control (the
// game ply counts both sides' moves; White's move n is ply 2n - 1).
bool lastMoveBeforeControl(int movesLeft) {
    const int side = gGame.engineSide;
    return (side == WHITE && movesLeft == 1) || (side == BLACK && movesLeft == 0);
}

uint32_t controlMoveTime(uint32_t clock) {
    const int left = std::max(0, gTimeControl.nextControlMove - gGame.gamePly / 2);
    uint32_t time = clock / uint32_t(left + 1) + gTimeControl.increment;
    if (lastMoveBeforeControl(left)) time = clock > CONTROL_RESERVE_MS ? clock - CONTROL_RESERVE_MS : 0;
    if (time < MINIMUM_PLAN_MS) time = MINIMUM_MOVE_TIME;
    return time;
}

// Past the plan: keep going only while the score is dropping and there is
// time to find out how far. True when the search should stop.
bool stopAfterDeadline(uint32_t elapsed, uint32_t remaining) {
    const TimeControl& tc = gTimeControl;
    const uint64_t plan = gLimits.moveTime;
    const uint32_t opponent = tc.opponentClock;
    const bool onlyFirst = rootMovesHandedOut() == 1;

    const int last = gSearch.lastCompletedScore;
    const int lower = gSearch.rootLowerBound;
    const bool failedLow = (gSearch.rootFailBits & FAIL_LOW_BITS) != 0;
    if (!((last != NO_SCORE && lower < last) || failedLow)) return true;

    if (lower < last - BIG_DROP && (lower <= MODEST_SCORE || lower < last - CLEAR_DROP)) {
        if (uint64_t(elapsed) * 2 < plan * BIG_DROP_TIMES_TWO && remaining >= BIG_DROP_RESERVE_MS) return false;
        if (lower < last - SEVERE_DROP && lower <= SEVERE_SCORE)
            return !(uint64_t(elapsed) < plan * SEVERE_DROP_TIMES || remaining > opponent);
        return onlyFirst;
    }
    if (int32_t(remaining - opponent) >= CLOCK_LEAD_MS && tc.engineClock > SHORT_OF_TIME_MS) return false;
    if (elapsed > plan * SMALL_DROP_TIMES) return true;
    return onlyFirst;
}

}  // namespace

uint32_t planMoveTime() {
    if (gTimeControl.fixedTime) return gTimeControl.fixedMoveTime;
    const uint32_t clock = engineClockOrDefault();
    return gTimeControl.nextControlMove == 0 ? suddenDeathMoveTime(clock) : controlMoveTime(clock);
}

SearchLimits plannedLimits(uint32_t startTime) {
    SearchLimits limits;
    limits.startTime = startTime;
    limits.moveTime = planMoveTime();
    limits.depthLimit = gTimeControl.depthLimit;
    limits.fixedTime = gTimeControl.fixedTime;
    limits.analysis = gTimeControl.untimed;
    limits.nodeLimit = gTimeControl.nodeLimit;
    return limits;
}

SearchLimits puzzleLimits(uint32_t startTime) {
    SearchLimits limits = plannedLimits(startTime);
    const uint32_t opponent = gTimeControl.opponentClock == CLOCK_NOT_SET ? DEFAULT_CLOCK_MS : gTimeControl.opponentClock;
    limits.moveTime = (opponent / PUZZLE_CLOCK_SHARE + gTimeControl.increment / PUZZLE_INCREMENT_SHARE) / 2;
    return limits;
}

void startSearchClock(const SearchLimits& limits) {
    gLimits = limits;
    gLimits.deadline = limits.startTime + limits.moveTime;
    // A small node budget is looked at sooner than the clock would be.
    if (limits.nodeLimit && limits.nodeLimit < uint32_t(gSearch.checkInterval))
        gSearch.nodeCountdown.store(int32_t(limits.nodeLimit), std::memory_order_relaxed);
}

void startClockOnPonderHit(uint32_t now) {
    gSearch.ponderingInProgress = false;
    gLimits.startTime = now;
    gLimits.deadline = now + gLimits.moveTime;
}

bool nodeBudgetSpent(const Position& pos) { return gLimits.nodeLimit && pos.stats.nodes >= gLimits.nodeLimit; }

void setFixedMoveTime(uint32_t ms) {
    gTimeControl.fixedTime = true;
    gTimeControl.fixedMoveTime = ms;
    // An interface may send "st" while the engine thinks; the running
    // search measures itself against the new time from its next check.
    gLimits.fixedTime = true;
    gLimits.moveTime = ms;
}

void timeCheck(Position& pos) {
    const TimeControl& tc = gTimeControl;
    const uint32_t now = timeNow();
    const uint32_t elapsed = now - gLimits.startTime;
    // Time left on the engine's clock; 0 once the clock is used up (not a
    // wrapped-around huge value).
    const uint32_t remaining = elapsed >= tc.engineClock ? 0 : tc.engineClock - elapsed;
    const bool pondering = gSearch.ponderingInProgress;

    // A node budget holds whatever else does, once the first iteration has
    // found a move; until it is spent, the next look comes when it would be.
    if (gLimits.nodeLimit) {
        const uint32_t nodes = pos.stats.nodes;
        if (nodes >= gLimits.nodeLimit) {
            if (gSearch.iterationDepth > 1) return stopSearch();
        } else if (gLimits.nodeLimit - nodes < uint32_t(gSearch.nodeCountdown.load(std::memory_order_relaxed))) {
            gSearch.nodeCountdown.store(int32_t(gLimits.nodeLimit - nodes), std::memory_order_relaxed);
        }
    }
    // A depth limit is reached whatever the clock says, and the first
    // iterations always finish.
    if (gLimits.depthLimit > 0 && gSearch.iterationDepth < gLimits.depthLimit) return;
    if (gSearch.rootLowerBound == -MATE && gSearch.rootAlpha == -MATE) return;
    if (gSearch.iterationDepth <= 2) return;
    if (gSearch.rootMoveCount == 1 && !pondering && !gLimits.analysis) return stopSearch();
    // The engine's clock runs only in its own game search: analysis and
    // pondering may go on past what it shows.
    const bool ownClockRuns = !gLimits.analysis && !(pondering && !gSearch.puzzle);
    if (remaining == 0 && ownClockRuns) return stopSearch();
    if (pondering && !gSearch.puzzle) return;

    if (int32_t(now - gLimits.deadline) < 0) {
        // Before the deadline only a clear easy move ends the search early.
        if (!gSearch.puzzle && !gLimits.fixedTime && gSearch.easyMove && remaining <= tc.opponentClock &&
            uint64_t(elapsed) * 100 >= uint64_t(gLimits.moveTime) * EASY_MOVE_SHARE) {
            PVRow& row = pos.pv[0];
            if (row.moves[1] != gSearch.easyMove || row.end < 2) row.end = 2;
            row.moves[1] = gSearch.easyMove;
            stopSearch();
        }
        return;
    }

    if (gLimits.analysis) return;
    if (gLimits.fixedTime || gSearch.puzzle) return stopSearch();
    // The last move before the time control must not overstep it.
    if (tc.nextControlMove != 0 && lastMoveBeforeControl(tc.nextControlMove - gGame.gamePly / 2)) return stopSearch();
    if (tc.engineClock < SHORT_OF_TIME_MS) return stopSearch();
    if (stopAfterDeadline(elapsed, remaining)) stopSearch();
}

void chargeEngineClock(uint32_t elapsed) {
    // A clock that was never set stays unset: adding the increment to it
    // would wrap it round to almost nothing.
    if (gTimeControl.engineClock == CLOCK_NOT_SET) return;
    const uint32_t clock = gTimeControl.engineClock;
    gTimeControl.engineClock = clock + gTimeControl.increment - std::min(clock, elapsed);
}

void advanceTimeControl(bool analysis) {
    // A move before the opponent's control arrives: the clocks reset there.
    if (!analysis && gGame.gamePly / 2 >= gTimeControl.nextControlMove)
        gTimeControl.nextControlMove += gTimeControl.movesPerControl;
}

void updateCheckInterval(uint32_t elapsedMs, uint32_t nodes) {
    if (elapsedMs > MEASURABLE_MS) {
        // Only thread 0 counts the nodes down: its share of the search's.
        nodes /= std::max(1u, gSearch.threadCount);
        const uint64_t perCheck = uint64_t(nodes) * (1000 / CHECKS_PER_SECOND) / elapsedMs;
        gSearch.checkInterval = perCheck > uint64_t(MINIMUM_CHECK_INTERVAL)
                                    ? int32_t(std::min<uint64_t>(perCheck, 0x7FFFFFFF))
                                    : MINIMUM_CHECK_INTERVAL;
    }
    if (gTimeControl.engineClock <= SHORT_OF_TIME_MS) gSearch.checkInterval /= 2;
    gSearch.nodeCountdown.store(gSearch.checkInterval, std::memory_order_relaxed);
}

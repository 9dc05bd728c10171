#include "search/time_control.h"

#include <algorithm>

#include "platform/clock.h"
#include "search/iterate.h"
#include "search/position.h"
#include "search/score.h"
#include "search/search_request.h"
#include "search/search_shared.h"

SearchLimits gLimits;

namespace {

uint32_t clockOrDefault(uint32_t clock) { return clock == CLOCK_NOT_SET ? DEFAULT_CLOCK_MS : clock; }

uint32_t suddenDeathMoveTime(const TimeControl& tc, uint32_t clock) {
    uint32_t share = DEFAULT_SHARE;
    if (clock > MIDDLE_CLOCK_MS && clock < LONG_CLOCK_MS) share = MIDDLE_CLOCK_SHARE;
    else if (clock > SHORT_CLOCK_MS && clock < MIDDLE_CLOCK_MS) share = SHORT_CLOCK_SHARE;
    if (clock < SHORT_CLOCK_MS) return PANIC_MOVE_TIME;
    return clock / share + tc.increment / 2;
}

// The move about to be played is the last before the time control (the
// game ply counts both sides' moves; White's move n is ply 2n - 1).
bool lastMoveBeforeControl(int movesLeft) {
    const int side = gGame.engineSide;
    return (side == WHITE && movesLeft == 1) || (side == BLACK && movesLeft == 0);
}

uint32_t controlMoveTime(const TimeControl& tc, uint32_t clock) {
    const int left = std::max(0, tc.nextControlMove - gGame.gamePly / 2);
    uint32_t time = clock / uint32_t(left + 1) + tc.increment;
    if (lastMoveBeforeControl(left)) time = clock > CONTROL_RESERVE_MS ? clock - CONTROL_RESERVE_MS : 0;
    if (time < MINIMUM_PLAN_MS) time = MINIMUM_MOVE_TIME;
    return time;
}

// Past the plan: keep going only while the score is dropping and there is
// time to find out how far. True when the search should stop.
bool stopAfterDeadline(uint32_t elapsed, uint32_t remaining) {
    const TimeControl& tc = gLimits.clocks;
    const uint64_t plan = gLimits.moveTime;
    const uint32_t opponent = tc.opponentClock;
    const bool onlyFirst = rootMovesHandedOut() == 1;
    // A later line of several: the first, the move to play, is complete in
    // this iteration, so no drop of its score is to be found out.
    if (gSearch.pvIndex > 0) return true;

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

uint32_t planMoveTime(const TimeControl& clocks) {
    if (clocks.fixedTime) return clocks.fixedMoveTime;
    const uint32_t clock = clockOrDefault(clocks.engineClock);
    return clocks.nextControlMove == 0 ? suddenDeathMoveTime(clocks, clock) : controlMoveTime(clocks, clock);
}

uint32_t puzzleMoveTime(const TimeControl& clocks) {
    const uint32_t opponent = clockOrDefault(clocks.opponentClock);
    return (opponent / PUZZLE_CLOCK_SHARE + clocks.increment / PUZZLE_INCREMENT_SHARE) / 2;
}

uint32_t planAfterOverhead(uint32_t plan, uint32_t overhead) { return plan > overhead ? plan - overhead : 1; }

void startSearchClock(const SearchRequest& request) {
    SearchLimits& limits = gLimits;
    limits.startTime = request.startTime;
    limits.began = request.startTime;
    limits.clocks = request.clocks;
    limits.moveOverhead = request.moveOverhead;
    limits.moveTime = request.puzzle ? puzzleMoveTime(request.clocks) : planMoveTime(request.clocks);
    if (!request.clocks.fixedTime && !request.puzzle) limits.moveTime = planAfterOverhead(limits.moveTime, request.moveOverhead);
    limits.deadline = limits.startTime + limits.moveTime;
    limits.depthLimit = request.depthLimit;
    limits.fixedTime = request.clocks.fixedTime;
    limits.analysis = request.analysis;
    limits.nodeLimit = request.nodeLimit;
    limits.mateLimit = request.mateLimit;
    limits.pondering = request.ponder;
    limits.puzzle = request.puzzle;
    // A small node budget is looked at sooner than the clock would be.
    if (limits.nodeLimit && limits.nodeLimit < uint32_t(gSearch.checkInterval))
        gSearch.nodeCountdown.store(int32_t(limits.nodeLimit), std::memory_order_relaxed);
}

uint32_t searchElapsed(uint32_t now) { return now - gLimits.startTime; }

uint32_t searchRunTime(uint32_t now) { return now - gLimits.began; }

void updateSearchClocks(const TimeControl& clocks) { gLimits.clocks = clocks; }

void setSearchMoveTime(uint32_t ms) {
    // An interface may send "st" while the engine thinks; the running
    // search measures itself against the new time from its next check.
    gLimits.fixedTime = true;
    gLimits.moveTime = ms;
}

void ponderHit(uint32_t now) {
    gLimits.pondering = false;
    gLimits.startTime = now;
    gLimits.deadline = now + gLimits.moveTime;
}

bool nodeBudgetSpent(const Position& pos) { return gLimits.nodeLimit && pos.stats.nodes >= gLimits.nodeLimit; }

void timeCheck(Position& pos) {
    const TimeControl& tc = gLimits.clocks;
    const uint32_t now = timeNow();
    const uint32_t elapsed = searchElapsed(now);
    // Time left on the engine's clock once the move has been passed on; 0
    // once that is used up (not a wrapped-around huge value).
    const uint64_t used = uint64_t(elapsed) + gLimits.moveOverhead;
    const uint32_t remaining = used >= tc.engineClock ? 0 : uint32_t(tc.engineClock - used);
    const bool pondering = gLimits.pondering;
    const bool puzzle = gLimits.puzzle;

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
    if (gSearch.iterationDepth <= 2) return;
    // The engine's clock runs only in its own game search: analysis and
    // pondering may go on past what it shows. An empty clock ends the search
    // before anything else is weighed, even while the first root move of an
    // iteration whose window has opened all the way after failing low still
    // has no score: the last completed iteration's move is there to play,
    // and waiting for that re-search, however long, would lose on time.
    const bool ownClockRuns = !gLimits.analysis && !(pondering && !puzzle);
    if (remaining == 0 && ownClockRuns) return stopSearch();
    if (gSearch.pvIndex == 0 && gSearch.rootLowerBound == -MATE && gSearch.rootAlpha == -MATE) return;
    if (gSearch.rootMoveCount == 1 && !pondering && !gLimits.analysis) return stopSearch();
    if (pondering && !puzzle) return;

    if (int32_t(now - gLimits.deadline) < 0) {
        // Before the deadline only a clear easy move ends the search early.
        if (!puzzle && !gLimits.fixedTime && gSearch.easyMove && remaining <= tc.opponentClock &&
            uint64_t(elapsed) * 100 >= uint64_t(gLimits.moveTime) * EASY_MOVE_SHARE) {
            PVRow& row = pos.pv[0];
            if (row.moves[1] != gSearch.easyMove || row.end < 2) row.end = 2;
            row.moves[1] = gSearch.easyMove;
            stopSearch();
        }
        return;
    }

    if (gLimits.analysis) return;
    if (gLimits.fixedTime || puzzle) return stopSearch();
    // The last move before the time control must not overstep it.
    if (tc.nextControlMove != 0 && lastMoveBeforeControl(tc.nextControlMove - gGame.gamePly / 2)) return stopSearch();
    if (tc.engineClock < SHORT_OF_TIME_MS) return stopSearch();
    if (stopAfterDeadline(elapsed, remaining)) stopSearch();
}

uint32_t updateOverheadEstimate(uint32_t estimate, uint32_t reckoned, uint32_t reported) {
    if (reckoned == CLOCK_NOT_SET || reported == CLOCK_NOT_SET || reported > reckoned) return estimate;
    const uint32_t sample = reckoned - reported;
    if (sample > MAX_OVERHEAD_SAMPLE_MS) return estimate;
    if (sample > estimate) return estimate + (sample - estimate + OVERHEAD_RISE_SHARE - 1) / OVERHEAD_RISE_SHARE;
    return estimate - (estimate - sample) / OVERHEAD_FALL_SHARE;
}

void chargeEngineClock(TimeControl& clocks, uint32_t elapsed) {
    // A clock that was never set stays unset: adding the increment to it
    // would wrap it round to almost nothing.
    if (clocks.engineClock == CLOCK_NOT_SET) return;
    const uint32_t clock = clocks.engineClock;
    clocks.engineClock = clock + clocks.increment - std::min(clock, elapsed);
}

void advanceTimeControl(TimeControl& clocks, bool analysis) {
    // A move before the opponent's control arrives: the clocks reset there.
    if (!analysis && gGame.gamePly / 2 >= clocks.nextControlMove) clocks.nextControlMove += clocks.movesPerControl;
}

void updateCheckInterval(uint32_t elapsedMs, uint32_t nodes, uint32_t engineClock) {
    const bool panic = engineClock < SHORT_CLOCK_MS;
    if (elapsedMs > MEASURABLE_MS) {
        // Only thread 0 counts the nodes down: its share of the search's.
        nodes /= std::max(1u, gSearch.threadCount);
        const uint64_t period = panic ? PANIC_CHECK_MS * 2 : 1000 / CHECKS_PER_SECOND;  // halved below
        const uint64_t least = panic ? PANIC_MINIMUM_CHECK_INTERVAL : MINIMUM_CHECK_INTERVAL;
        const uint64_t perCheck = uint64_t(nodes) * period / elapsedMs;
        gSearch.checkInterval = int32_t(std::clamp<uint64_t>(perCheck, least, 0x7FFFFFFF));
    } else if (panic) {
        gSearch.checkInterval = std::min(gSearch.checkInterval, PANIC_MINIMUM_CHECK_INTERVAL * 2);
    }
    if (engineClock <= SHORT_OF_TIME_MS) gSearch.checkInterval /= 2;
    gSearch.nodeCountdown.store(gSearch.checkInterval, std::memory_order_relaxed);
}

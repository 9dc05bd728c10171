// Time control: the time planned for one move from the clocks and the
// control, and when the time check stops a running search.
#include "search/time_control.h"

#include "search/search.h"
#include "search_fixture.h"

namespace {

const char* const kMiddlegame = "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9";

class MoveTime : public ::testing::Test {
protected:
    TimeControl tc;
    int savedPly = gGame.gamePly;
    int savedSide = gGame.engineSide;
    void TearDown() override {
        gGame.gamePly = savedPly;
        gGame.engineSide = savedSide;
    }
    uint32_t plan(uint32_t clock, uint32_t increment = 0) {
        tc.fixedTime = false;
        tc.engineClock = clock;
        tc.increment = increment;
        return planMoveTime(tc);
    }
};

TEST_F(MoveTime, SuddenDeathSharesTheClockByItsSize) {
    tc.nextControlMove = 0;
    EXPECT_EQ(plan(10000), 333u);
    EXPECT_EQ(plan(10000, 2000), 1333u);  // half the increment on top
    EXPECT_EQ(plan(9999), 142u);
    EXPECT_EQ(plan(30000), 600u);
    EXPECT_EQ(plan(60000), 2000u);
    EXPECT_EQ(plan(3001), 42u);
    EXPECT_EQ(plan(2999, 1000), 15u);  // almost out of time: move at once
}

TEST_F(MoveTime, MovesPerControlShareTheClockOverTheMovesLeft) {
    tc.movesPerControl = 40;
    tc.nextControlMove = 40;
    gGame.engineSide = WHITE;
    gGame.gamePly = 1;
    EXPECT_EQ(plan(60000, 0), 60000u / 41);
    EXPECT_EQ(plan(60000, 500), 60000u / 41 + 500);
    // The last move before the control may use all but a second.
    gGame.gamePly = 79;
    EXPECT_EQ(plan(20000), 19000u);
    gGame.engineSide = BLACK;
    gGame.gamePly = 80;
    EXPECT_EQ(plan(20000), 19000u);
    // Very little left: half a second, and never a wrapped-around clock.
    EXPECT_EQ(plan(900), 500u);
    gGame.gamePly = 60;
    EXPECT_EQ(plan(5000), 500u);
}

TEST_F(MoveTime, FixedTimeIsKept) {
    tc.fixedTime = true;
    tc.fixedMoveTime = 7000;
    tc.engineClock = 1000;
    EXPECT_EQ(planMoveTime(tc), 7000u);
}

TEST_F(MoveTime, AClockNeverSetPlansLikeFiveMinutes) {
    tc.nextControlMove = 0;
    EXPECT_EQ(plan(CLOCK_NOT_SET), 300000u / 30);
}

// A running search at iteration 5, as the time check finds it.
class TimeCheckTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        pos = setUp(kMiddlegame);
        gGame.engineSide = WHITE;
        gLimits.clocks.engineClock = 60000;
        gLimits.clocks.opponentClock = 60000;
        gLimits.moveTime = 1000;
        gSearch.iterationDepth = 5;
        gSearch.rootAlpha = 0;
        gSearch.rootBeta = 70;
        gSearch.lastCompletedScore = 35;
        gSearch.rootLowerBound = 35;
        gSearch.rootMoveCount = 30;
        for (int i = 0; i < 30; i++) gSearch.rootMoves[i] = RootMove{findMove(*pos, D4, C6), 0, 0, 0, "Nxc6"};
        gSearch.rootMoves[0].flags = gSearch.rootMoves[1].flags = ROOT_HANDED_OUT;
    }
    // Runs the time check `elapsed` milliseconds into the search.
    bool stopsAfter(uint32_t elapsed) {
        gLimits.startTime = timeNow() - elapsed;
        gLimits.deadline = gLimits.startTime + gLimits.moveTime;
        gSearch.abortFlag = false;
        timeCheck(*pos);
        return gSearch.abortFlag;
    }
    std::unique_ptr<Position> pos;
};

TEST_F(TimeCheckTest, KeepsGoingBeforeTheDeadlineAndStopsAfterIt) {
    EXPECT_FALSE(stopsAfter(500));
    EXPECT_TRUE(stopsAfter(1200));  // score steady: no reason to go on
}

TEST_F(TimeCheckTest, NeverStopsTheFirstIterationsOrADepthLimitedSearch) {
    gSearch.iterationDepth = 2;
    EXPECT_FALSE(stopsAfter(59000));
    EXPECT_FALSE(stopsAfter(61000)) << "the first iterations finish even past the clock";
    gSearch.iterationDepth = 5;
    gSearch.rootAlpha = gSearch.rootLowerBound = -10000;
    EXPECT_FALSE(stopsAfter(59000));
    gSearch.rootAlpha = 0;
    gLimits.depthLimit = 9;
    EXPECT_FALSE(stopsAfter(70000));  // even with the flag fallen
    gLimits.depthLimit = 5;
    EXPECT_TRUE(stopsAfter(70000));
}

TEST_F(TimeCheckTest, AnEmptyClockStopsAFirstMoveReSearchedOnAWideOpenWindow) {
    // After failing low all the way the first root move has no score yet;
    // the last completed iteration's move is there to play.
    gSearch.rootAlpha = gSearch.rootLowerBound = -10000;
    EXPECT_FALSE(stopsAfter(59000));
    EXPECT_TRUE(stopsAfter(61000));
    gLimits.pondering = true;  // the engine's clock is not running
    EXPECT_FALSE(stopsAfter(61000));
    gLimits.pondering = false;
}

TEST_F(TimeCheckTest, SingleReplyAndAnEmptyClockStopAtOnce) {
    gSearch.rootMoveCount = 1;
    EXPECT_TRUE(stopsAfter(1));
    gLimits.analysis = true;
    EXPECT_FALSE(stopsAfter(1));
    gLimits.analysis = false;
    gSearch.rootMoveCount = 30;
    gLimits.moveTime = 200000;  // a plan longer than the clock
    EXPECT_TRUE(stopsAfter(60000));
    EXPECT_TRUE(stopsAfter(61000));  // past the clock: nothing left, not a wrapped-around plenty
}

TEST_F(TimeCheckTest, EasyMoveIsPlayedAfterAThirdOfTheTime) {
    const Move easy = findMove(*pos, D4, C6);
    gSearch.easyMove = easy;
    EXPECT_FALSE(stopsAfter(300));
    EXPECT_TRUE(stopsAfter(400));
    EXPECT_EQ(pos->pv[0].moves[1], easy);
    gLimits.fixedTime = true;
    EXPECT_FALSE(stopsAfter(400));
    gLimits.fixedTime = false;
    gLimits.clocks.engineClock = 70000;  // more time left than the opponent: no hurry
    EXPECT_FALSE(stopsAfter(400));
}

TEST_F(TimeCheckTest, FixedTimeAnalysisAndPonderingAtTheDeadline) {
    gLimits.fixedTime = true;
    gSearch.lastCompletedScore = 100;  // even with a falling score
    gSearch.rootLowerBound = 0;
    EXPECT_TRUE(stopsAfter(1001));
    gLimits.fixedTime = false;
    // Neither analysis nor pondering runs on the engine's clock: they go on
    // past the deadline and past what the clock shows.
    gLimits.analysis = true;
    EXPECT_FALSE(stopsAfter(100000));
    gLimits.analysis = false;
    gLimits.pondering = true;
    EXPECT_FALSE(stopsAfter(59000));
    EXPECT_FALSE(stopsAfter(100000));
}

TEST_F(TimeCheckTest, TheLastMoveBeforeTheControlIsNotExtended) {
    gLimits.clocks.movesPerControl = 40;
    gLimits.clocks.nextControlMove = 40;
    gGame.gamePly = 78;  // 40 - 78 / 2 = 1 move to go, White to play it
    gSearch.lastCompletedScore = 100;
    gSearch.rootLowerBound = 0;  // a big drop would otherwise extend
    EXPECT_TRUE(stopsAfter(1001));
    gGame.gamePly = 70;
    EXPECT_FALSE(stopsAfter(1001));
}

TEST_F(TimeCheckTest, FallingScoresBuyTime) {
    // Big drop from 100 to 0: up to two and a half times the plan...
    gSearch.lastCompletedScore = 100;
    gSearch.rootLowerBound = 0;
    EXPECT_FALSE(stopsAfter(2400));
    // ...and, dropping by more than 67, up to seven times.
    EXPECT_FALSE(stopsAfter(6900));
    gLimits.clocks.opponentClock = 90000;
    EXPECT_TRUE(stopsAfter(7100));
    // A drop of 50 stops after 2.5 times when only the first move is out.
    gSearch.rootLowerBound = 50;
    gSearch.rootMoves[1].flags = 0;
    EXPECT_TRUE(stopsAfter(2600));
    gSearch.rootMoves[1].flags = ROOT_HANDED_OUT;
    EXPECT_FALSE(stopsAfter(2600));
}

TEST_F(TimeCheckTest, SmallDropsOrAFailLowKeepGoingWhileAheadOnTheClock) {
    gSearch.lastCompletedScore = 40;
    gSearch.rootLowerBound = 20;  // small drop
    gLimits.clocks.opponentClock = 50000;
    EXPECT_FALSE(stopsAfter(3000));  // 57 s left against 50 s
    gLimits.clocks.opponentClock = 60000;
    EXPECT_FALSE(stopsAfter(1500));
    EXPECT_TRUE(stopsAfter(2100));
    // A fail-low keeps the search alive even without a completed score.
    gSearch.lastCompletedScore = -10000;
    gSearch.rootFailBits = FAIL_LOW_1;
    gSearch.rootMoves[1].flags = 0;
    EXPECT_TRUE(stopsAfter(1500));
    gSearch.rootMoves[1].flags = ROOT_HANDED_OUT;
    EXPECT_FALSE(stopsAfter(1500));
    gSearch.rootFailBits = 0;
    EXPECT_TRUE(stopsAfter(1500));
}

}  // namespace

namespace {

// The overhead of passing a move on comes off every plan made from the
// clocks, never below a millisecond; a fixed time is the interface's.
TEST_F(MoveTime, MoveOverheadIsKeptBackFromThePlan) {
    SearchRequest request;
    request.startTime = timeNow();
    request.clocks.engineClock = 10000;
    request.moveOverhead = 50;
    startSearchClock(request);
    EXPECT_EQ(gLimits.moveTime, 333u - 50);
    request.clocks.engineClock = 2000;  // the plan of a nearly empty clock is 15 ms
    startSearchClock(request);
    EXPECT_EQ(gLimits.moveTime, 1u);
    request.clocks.fixedTime = true;
    request.clocks.fixedMoveTime = 700;
    startSearchClock(request);
    EXPECT_EQ(gLimits.moveTime, 700u);
    request.moveOverhead = 0;
    startSearchClock(request);
}

TEST_F(TimeCheckTest, MoveOverheadBringsTheLastSafeMomentForward) {
    gLimits.moveTime = 200000;  // a plan longer than the clock
    gLimits.moveOverhead = 0;
    EXPECT_FALSE(stopsAfter(59600));
    gLimits.moveOverhead = 500;  // 400 ms left, but the move takes 500 to arrive
    EXPECT_TRUE(stopsAfter(59600));
    EXPECT_FALSE(stopsAfter(59400));
    gLimits.moveOverhead = 0;
}

// A bullet clock's plan is 15 ms: the clock must be looked at every few
// milliseconds at the speed just measured, however slow the machine.
TEST(CheckInterval, ShortClocksAreLookedAtEveryFewMilliseconds) {
    const int32_t saved = gSearch.checkInterval;
    const unsigned threads = gSearch.threadCount;
    gSearch.threadCount = 1;
    auto msBetweenLooks = [](uint32_t elapsed, uint32_t nodes) {
        return double(gSearch.checkInterval) * elapsed / nodes;
    };
    updateCheckInterval(100, 6000000, 60000);  // a minute left: ten looks a second
    EXPECT_NEAR(msBetweenLooks(100, 6000000), 100.0, 1.0);
    updateCheckInterval(100, 6000000, 2000);
    EXPECT_LE(msBetweenLooks(100, 6000000), double(PANIC_CHECK_MS));
    updateCheckInterval(100, 300000, 2000);  // a slow machine, still often
    EXPECT_LE(msBetweenLooks(100, 300000), double(PANIC_CHECK_MS));
    // Too short to measure: no look further apart than a short clock allows.
    updateCheckInterval(100, 6000000, 60000);
    updateCheckInterval(3, 100, 2000);
    EXPECT_LE(gSearch.checkInterval, PANIC_MINIMUM_CHECK_INTERVAL);
    gSearch.threadCount = threads;
    setCheckInterval(saved);
}

}  // namespace

namespace {

// The interface's clock against the engine's reckoning: a busy machine's
// lag is believed within a few moves and forgotten slowly; a clock that
// rose, was never set or jumped by more than lag can explain teaches
// nothing.
TEST(OverheadEstimate, RisesQuicklyFallsSlowlyAndIgnoresWhatIsNotLag) {
    uint32_t estimate = 0;
    estimate = updateOverheadEstimate(estimate, 3000, 2920);  // 80 ms went missing
    EXPECT_EQ(estimate, 40u);
    estimate = updateOverheadEstimate(estimate, 3000, 2920);
    EXPECT_EQ(estimate, 60u);
    for (int move = 0; move < 10; move++) estimate = updateOverheadEstimate(estimate, 3000, 2920);
    EXPECT_EQ(estimate, 80u);
    estimate = updateOverheadEstimate(estimate, 3000, 3000);  // one move passed on at once
    EXPECT_EQ(estimate, 70u);

    EXPECT_EQ(updateOverheadEstimate(70, 3000, 3500), 70u);  // a new control, a clock set anew
    EXPECT_EQ(updateOverheadEstimate(70, 3000, 1000), 70u);  // two seconds are no lag
    EXPECT_EQ(updateOverheadEstimate(70, CLOCK_NOT_SET, 1000), 70u);
    EXPECT_EQ(updateOverheadEstimate(70, 3000, CLOCK_NOT_SET), 70u);
    EXPECT_EQ(updateOverheadEstimate(0, 3000, 3000 - MAX_OVERHEAD_SAMPLE_MS), MAX_OVERHEAD_SAMPLE_MS / 2);
}

}  // namespace

namespace {

// A ponder hit starts the engine's clock but not a new search: the time the
// search's nodes took, which sets how often the next search looks at the
// clock, still counts from the search's start. (A speed taken from the
// pondering's nodes and the clock's few milliseconds had a search in the
// soak look at its clock only after 1.5 seconds.)
TEST(PonderHitClock, TheClockStartsAtTheHitTheSearchTimeDoesNot) {
    SearchRequest request;
    request.startTime = 1000;
    request.ponder = true;
    request.clocks.engineClock = 5000;
    startSearchClock(request);
    ponderHit(2500);
    EXPECT_EQ(searchElapsed(2570), 70u);
    EXPECT_EQ(searchRunTime(2570), 1570u);
    EXPECT_EQ(gLimits.deadline, 2500u + gLimits.moveTime);
    gLimits.pondering = false;
}

}  // namespace

// The root and the clock: when the time check stops a search, how the
// aspiration window widens, how root moves are scored, and the fixed
// benchmark whose node total pins the search's behaviour.
#include <cstdlib>

#include "search/benchmark.h"
#include "search/search.h"
#include "search_fixture.h"

namespace {

const char* const kMiddlegame = "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9";

// A running search at iteration 5, as the time check finds it.
class TimeCheckTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        pos = setUp(kMiddlegame);
        gShell.engineSide = WHITE;
        gShell.engineClock = 60000;
        gShell.opponentClock = 60000;
        gShell.moveTime = 1000;
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
        gShell.searchStartTime = timeNow() - elapsed;
        gSearch.deadline = gShell.searchStartTime + gShell.moveTime;
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
    gSearch.iterationDepth = 5;
    gSearch.rootAlpha = gSearch.rootLowerBound = -10000;
    EXPECT_FALSE(stopsAfter(59000));
    gSearch.rootAlpha = 0;
    gShell.depthLimit = 9;
    EXPECT_FALSE(stopsAfter(70000));  // even with the flag fallen
    gShell.depthLimit = 5;
    EXPECT_TRUE(stopsAfter(70000));
}

TEST_F(TimeCheckTest, SingleReplyAndAnEmptyClockStopAtOnce) {
    gSearch.rootMoveCount = 1;
    EXPECT_TRUE(stopsAfter(1));
    gShell.analysisMode = true;
    EXPECT_FALSE(stopsAfter(1));
    gShell.analysisMode = false;
    gSearch.rootMoveCount = 30;
    gShell.moveTime = 200000;  // a plan longer than the clock
    EXPECT_TRUE(stopsAfter(60000));
    EXPECT_TRUE(stopsAfter(61000));  // past the clock: nothing left, not a wrapped-around plenty
}

TEST_F(TimeCheckTest, EasyMoveIsPlayedAfterAThirdOfTheTime) {
    const Move easy = findMove(*pos, D4, C6);
    gSearch.easyMove = easy;
    EXPECT_FALSE(stopsAfter(300));
    EXPECT_TRUE(stopsAfter(400));
    EXPECT_EQ(pos->pv[0].moves[1], easy);
    gShell.fixedTime = true;
    EXPECT_FALSE(stopsAfter(400));
    gShell.fixedTime = false;
    gShell.engineClock = 70000;  // more time left than the opponent: no hurry
    EXPECT_FALSE(stopsAfter(400));
}

TEST_F(TimeCheckTest, FixedTimeAnalysisAndPonderingAtTheDeadline) {
    gShell.fixedTime = true;
    gSearch.lastCompletedScore = 100;  // even with a falling score
    gSearch.rootLowerBound = 0;
    EXPECT_TRUE(stopsAfter(1001));
    gShell.fixedTime = false;
    // Neither analysis nor pondering runs on the engine's clock: they go on
    // past the deadline and past what the clock shows.
    gShell.analysisMode = true;
    EXPECT_FALSE(stopsAfter(100000));
    gShell.analysisMode = false;
    gSearch.ponderingInProgress = true;
    EXPECT_FALSE(stopsAfter(59000));
    EXPECT_FALSE(stopsAfter(100000));
}

TEST_F(TimeCheckTest, TheLastMoveBeforeTheControlIsNotExtended) {
    gShell.movesPerControl = 40;
    gShell.nextControlMove = 40;
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
    gShell.opponentClock = 90000;
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
    gShell.opponentClock = 50000;
    EXPECT_FALSE(stopsAfter(3000));  // 57 s left against 50 s
    gShell.opponentClock = 60000;
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

TEST_F(SearchTest, AspirationWindowWidensInThreeSteps) {
    gSearch.rootAlpha = 65;
    gSearch.rootBeta = 135;
    EXPECT_STREQ(recordAspirationFailure(true), "-1");
    EXPECT_EQ(gSearch.rootAlpha, -35);
    EXPECT_EQ(gSearch.rootLowerBound, -35);
    EXPECT_STREQ(recordAspirationFailure(true), "-2");
    EXPECT_EQ(gSearch.rootAlpha, -235);
    EXPECT_STREQ(recordAspirationFailure(true), "-3");
    EXPECT_EQ(gSearch.rootAlpha, -10000);
    EXPECT_EQ(gSearch.rootBeta, 135);

    gSearch.rootFailBits = 0;
    gSearch.rootAlpha = 65;
    EXPECT_STREQ(recordAspirationFailure(false), "+1");
    EXPECT_EQ(gSearch.rootBeta, 235);
    EXPECT_STREQ(recordAspirationFailure(false), "+2");
    EXPECT_EQ(gSearch.rootBeta, 435);
    EXPECT_STREQ(recordAspirationFailure(false), "+3");
    EXPECT_EQ(gSearch.rootBeta, 10000);
    EXPECT_EQ(gSearch.rootAlpha, 65);
}

TEST_F(SearchTest, RootMovesThatRepeatScoreAsDraws) {
    auto pos = setUp("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    const int game[][2] = {{G1, F3}, {G8, F6}, {F3, G1}, {F6, G8}, {G1, F3}};
    for (auto& m : game) playGameMove(*pos, findMove(*pos, m[0], m[1]));
    resetSearch(*pos);
    testing::internal::CaptureStdout();
    RootMove* first = nextRootMove(*pos);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(first, nullptr);
    // ...Nf6 would repeat the position after 1...Nf6.
    EXPECT_NE(out.find("repetition detected at root Nf6\n"), std::string::npos) << out;
    bool found = false;
    for (int i = 0; i < gSearch.rootMoveCount; i++) {
        if (moveFrom(gSearch.rootMoves[i].move) == G8 && moveTo(gSearch.rootMoves[i].move) == F6) {
            found = true;
            EXPECT_EQ(gSearch.rootMoves[i].score, 0);
        }
    }
    EXPECT_TRUE(found);
    for (int i = 1; i < gSearch.rootMoveCount; i++)
        EXPECT_GE(gSearch.rootMoves[i - 1].score, gSearch.rootMoves[i].score);
}

TEST_F(SearchTest, ASingleLegalMoveIsTheEasyMove) {
    auto pos = setUp("k7/2K5/8/8/8/8/8/1R6 b - - 0 1");
    testing::internal::CaptureStdout();
    nextRootMove(*pos);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gSearch.rootMoveCount, 1);
    EXPECT_EQ(gSearch.easyMove, findMove(*pos, A8, A7));
}

// The benchmark's node total with one thread. Any change to the search or
// the evaluation changes it; when that is intended, run
//   build/bench/search_speed
// and put the node total it prints here, saying why in the commit.
constexpr uint64_t kBenchmarkNodes = 5960991;

TEST_F(SearchTest, BenchmarkNodeTotalIsPinned) {
    testing::internal::CaptureStdout();
    BenchmarkResult result = runSearchBenchmark(BENCHMARK_DEPTH);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(result.positions, 9);
    EXPECT_EQ(result.nodes, kBenchmarkNodes);
}

TEST_F(SearchTest, BenchmarkDoesNotDependOnWhatRanBefore) {
    testing::internal::CaptureStdout();
    BenchmarkResult first = runSearchBenchmark(6);
    testing::internal::GetCapturedStdout();
    auto pos = setUp(kMiddlegame);
    searchToDepth(*pos, 5);  // leaves killers, table entries and root state behind
    testing::internal::CaptureStdout();
    BenchmarkResult again = runSearchBenchmark(6);
    testing::internal::GetCapturedStdout();
    EXPECT_GT(first.nodes, 0u);
    EXPECT_EQ(again.nodes, first.nodes);
}

}  // namespace

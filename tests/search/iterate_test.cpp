// The root: how the aspiration window widens, how root moves are scored,
// the depth limit, and the fixed benchmark whose node total pins the
// search's behaviour.
#include <cstdlib>

#include "search/benchmark.h"
#include "search/search.h"
#include "search_fixture.h"

namespace {

const char* const kMiddlegame = "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9";
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
    // The remark goes to the reporter, whatever the protocol makes of it.
    static std::string out;
    out.clear();
    Reporter noting;
    noting.note = [](const char* text) { out += std::string(text) + "\n"; };
    setReporter(noting);
    RootMove* first = nextRootMove(*pos);
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

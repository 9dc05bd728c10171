// Several principal variations: the N best root moves, each with its own
// line, in order, without changing what a one-line search finds.
#include <cstdlib>
#include <set>
#include <vector>

#include "search/parallel.h"
#include "search/search.h"
#include "search/thread_pool.h"
#include "search_fixture.h"

namespace {

// The last line the reporter got for each variation index.
struct Collected {
    int multiPV;
    int depth;
    int score;
    Move first;
};
std::vector<Collected> gCollected;

void collect(const VariationReport& line) {
    if (line.mark[0]) return;  // a bound, not a line's score
    const Move first = line.length > 0 ? line.moves[0].move : line.rootMove.move;
    gCollected.push_back({line.multiPV, line.depth, line.score, first});
}

class MultiPVTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        gCollected.clear();
        Reporter r;
        r.showsVariation = [](uint32_t, int) { return true; };
        r.variation = collect;
        setReporter(r);
    }
    // The last report of each index at the deepest depth reached.
    std::vector<Collected> finalLines(int lines) {
        std::vector<Collected> last(lines, Collected{0, 0, 0, 0});
        for (const Collected& c : gCollected)
            if (c.multiPV >= 1 && c.multiPV <= lines && c.depth >= last[c.multiPV - 1].depth) last[c.multiPV - 1] = c;
        return last;
    }
};

// White wins the queen with Rxd5; every other move leaves it on the board.
const char* const kQueenHangs = "3k4/ppp5/8/3q4/8/8/PPP5/3RK3 w - - 0 1";

TEST_F(MultiPVTest, FindsTheBestMovesInOrderEachWithItsOwnLine) {
    auto pos = setUp(kQueenHangs);
    SearchRequest request = depthRequest(6);
    request.multiPV = 3;
    searchAsRequested(*pos, request);
    const std::vector<Collected> lines = finalLines(3);
    std::set<Move> firsts;
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(lines[k].multiPV, k + 1);
        EXPECT_EQ(lines[k].depth, 6) << "line " << k + 1;
        EXPECT_NE(lines[k].first, 0u);
        firsts.insert(lines[k].first);
        if (k > 0) {
            EXPECT_GE(lines[k - 1].score, lines[k].score) << "line " << k + 1;
        }
    }
    EXPECT_EQ(firsts.size(), 3u) << "each line starts with a move of its own";
    const Move capture = findMove(*pos, D1, D5);
    EXPECT_EQ(lines[0].first, capture);
    EXPECT_EQ(lastResult.best, capture);
    // The capture wins a queen; without it White is a queen against a rook down.
    EXPECT_GT(lines[0].score, 500);
    EXPECT_LT(lines[1].score, 0);
}

TEST_F(MultiPVTest, MoreLinesThanMovesShowsEveryMoveAndAMateNone) {
    // A bare king against king and rook: a handful of legal moves.
    auto pos = setUp("3k4/8/3K4/8/8/8/8/R7 b - - 0 1");
    Move list[MAX_MOVES];
    int legal = 0;
    for (Move* m = list, *end = generateAllMoves(*pos, list); m < end; m++) legal += isLegalMove(*m, *pos);
    ASSERT_GE(legal, 1);
    SearchRequest request = depthRequest(4);
    request.multiPV = 500;
    searchAsRequested(*pos, request);
    int highest = 0;
    for (const Collected& c : gCollected) highest = std::max(highest, c.multiPV);
    EXPECT_EQ(highest, legal);
    EXPECT_NE(lastResult.best, 0u);

    // Checkmated: no line at all, and no move.
    gCollected.clear();
    auto mated = setUp("R2k4/8/3K4/8/8/8/8/8 b - - 0 1");
    searchAsRequested(*mated, request);
    EXPECT_EQ(lastResult.best, 0u);
    EXPECT_EQ(lastResult.rootMoveCount, 0);
}

TEST_F(MultiPVTest, SeveralThreadsFindTheSameBestMoves) {
    if (std::getenv("TARNO_SANITIZED")) GTEST_SKIP() << "slow under the sanitizers";
    auto pos = setUp(kQueenHangs);
    SearchRequest request = depthRequest(7);
    request.multiPV = 2;
    searchAsRequested(*pos, request);
    const std::vector<Collected> one = finalLines(2);

    changeThreadCount(2);
    gCollected.clear();
    clearTranspositionTable();
    auto again = setUp(kQueenHangs);
    searchAsRequested(*again, request);
    const std::vector<Collected> two = finalLines(2);
    changeThreadCount(1);
    EXPECT_EQ(two[0].first, one[0].first);
    EXPECT_EQ(two[0].depth, 7);
    EXPECT_EQ(two[1].depth, 7);
    EXPECT_NE(two[1].first, two[0].first);
    EXPECT_LT(two[1].score, two[0].score);
}

}  // namespace

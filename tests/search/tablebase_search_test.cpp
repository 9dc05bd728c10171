// The search with Syzygy tables: the root keeps the moves that hold the best
// result under the fifty-move rule (and the quickest ones when the game
// goes round in circles or the rule is off), a loss is resisted longest, and
// inside the tree Syzygy says who wins while our tables say how far the mate
// is.
#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "board/notation.h"
#include "egtb/block_cache.h"
#include "egtb/syzygy.h"
#include "egtb/syzygy_probe.h"
#include "egtb/tablebases.h"
#include "search/parallel.h"
#include "search/search_fixture.h"
#include "search/tablebase_probes.h"

namespace {

void quiet(const char*) {}

class TablebaseSearchTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        ASSERT_TRUE(setUpSyzygy(testDataPath("syzygy").c_str(), quiet));
        ASSERT_EQ(syzygyLargestMen(), 4);
        requestDefaults.syzygyMen = 4;
    }
    void TearDown() override { releaseSyzygy(); }

    // The root list as the first root move of a search builds it.
    std::vector<std::string> rootMoves(Position& pos) {
        resetSearch(pos);
        gSearch.iterationDepth = 1;
        nextRootMove(pos);
        std::vector<std::string> moves;
        for (int i = 0; i < gSearch.rootMoveCount; i++) moves.push_back(coordinates(gSearch.rootMoves[i].move));
        std::sort(moves.begin(), moves.end());
        return moves;
    }

    static std::string coordinates(Move m) {
        std::string text = std::string(squareName[moveFrom(m)]) + squareName[moveTo(m)];
        return text;
    }

    // The tables' verdict on every legal move, with the count at zero.
    std::vector<SyzygyMoveResult> results(Position& pos) {
        std::vector<SyzygyMoveResult> list(SYZYGY_MAX_MOVES);
        const int n = probeSyzygyRoot(pos, 0, list.data());
        list.resize(size_t(std::max(n, 0)));
        return list;
    }
};

// KQvKR, White to move: the queen wins the rook in seven plies at best
// (Qh5+), in up to 49 by other winning moves; some moves lose the queen and
// Kd2 lets the rook draw.
const char* const QUEEN_AGAINST_ROOK = "r3k3/8/8/8/8/8/8/3QK3 w - - %d 60";

std::string withCount(int count) {
    char fen[64];
    std::snprintf(fen, sizeof fen, QUEEN_AGAINST_ROOK, count);
    return fen;
}

}  // namespace

TEST_F(TablebaseSearchTest, RootKeepsTheWinsTheFiftyMoveRuleAllows) {
    auto pos = setUp(withCount(0));
    std::set<std::string> wins;
    for (const SyzygyMoveResult& r : results(*pos))
        if (r.wdl == SYZYGY_WIN) wins.insert(std::string(squareName[r.from]) + squareName[r.to]);
    ASSERT_EQ(wins.size(), 16u);
    const std::vector<std::string> all = rootMoves(*pos);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()), wins);
    // Every legal move was probed and judged.
    EXPECT_EQ(pos->stats.tablebaseProbes, 21u);
    EXPECT_EQ(pos->stats.tablebaseHits, 21u);

    // Fifty plies without a capture or pawn move already: only the wins
    // that take the rook within the rest of the count.
    pos = setUp(withCount(50));
    EXPECT_EQ(rootMoves(*pos).size(), 16u);
    pos = setUp(withCount(51));
    EXPECT_EQ(rootMoves(*pos).size(), 13u);  // the three of 49 plies are too slow now
    pos = setUp(withCount(60));
    EXPECT_EQ(rootMoves(*pos), std::vector<std::string>{"d1h5"});

    // With the count nearly used up every win is cursed: all are kept, the
    // opponent may still go wrong.
    pos = setUp(withCount(95));
    EXPECT_EQ(rootMoves(*pos).size(), 16u);
    // Without the rule the same wins are wins, and only the quickest is
    // sure to get anywhere.
    requestDefaults.syzygy50MoveRule = false;
    pos = setUp(withCount(95));
    EXPECT_EQ(rootMoves(*pos), std::vector<std::string>{"d1h5"});
}

TEST_F(TablebaseSearchTest, RootPositionSeenBeforeTakesTheQuickestWin) {
    auto pos = setUp(withCount(10));
    // The same position two plies ago: the free choice went round once.
    gGame.repetitionList[0] = pos->hashKey;
    gGame.repetitionList[1] = pos->hashKey ^ 0x1234;
    gGame.repetitionList[2] = pos->hashKey;
    gGame.repetitionCount = 3;
    EXPECT_EQ(rootMoves(*pos), std::vector<std::string>{"d1h5"});
}

TEST_F(TablebaseSearchTest, RootHoldsADrawAndResistsALoss) {
    // KRvKR: the rook on b1 may not go where the other takes it.
    auto pos = setUp("8/8/8/3k4/8/2r5/8/KR6 w - - 0 1");
    const std::vector<SyzygyMoveResult> list = results(*pos);
    std::set<std::string> draws, losses;
    for (const SyzygyMoveResult& r : list)
        (r.wdl == SYZYGY_DRAW ? draws : losses).insert(std::string(squareName[r.from]) + squareName[r.to]);
    ASSERT_FALSE(losses.empty());
    const std::vector<std::string> kept = rootMoves(*pos);
    EXPECT_EQ(std::set<std::string>(kept.begin(), kept.end()), draws);

    // KRvKQ lost: the moves that put off the capture or pawn move longest.
    pos = setUp("6q1/8/6K1/4R3/1k6/8/8/8 w - - 0 1");
    int longest = 0;
    std::set<std::string> slowest;
    for (const SyzygyMoveResult& r : results(*pos)) longest = std::max(longest, r.dtz);
    for (const SyzygyMoveResult& r : results(*pos))
        if (r.dtz == longest) slowest.insert(std::string(squareName[r.from]) + squareName[r.to]);
    const std::vector<std::string> resisting = rootMoves(*pos);
    EXPECT_EQ(std::set<std::string>(resisting.begin(), resisting.end()), slowest);
    EXPECT_LT(slowest.size(), results(*pos).size());
}

TEST_F(TablebaseSearchTest, SyzygySaysWhoWinsOurTablesHowFar) {
    // Qxb2 wins the rook; the queen then mates at a distance our three-man
    // tables know and Syzygy's do not.
    const std::string fen = "8/8/8/3k4/8/8/1r6/KQ6 w - - 0 1";
    auto pos = setUp(fen);
    const int syzygyOnly = searchToDepth(*pos, 4);
    EXPECT_EQ(syzygyOnly, TABLEBASE_WIN - 1) << searchOutput;
    EXPECT_EQ(moveTo(pos->pv[0].moves[1]), B2);
    EXPECT_GT(pos->stats.tablebaseHits, 0u);

    std::vector<uint8_t> cache(64 * CACHE_BLOCK_BYTES);
    ASSERT_EQ(initTablebases(threeManTables().c_str(), 1, false), 3);
    setTablebaseCache(cache.data(), cache.size());
    requestDefaults.tablebaseMen = 3;
    pos = setUp(fen);
    const int both = searchToDepth(*pos, 4);
    requestDefaults.syzygyMen = 0;
    pos = setUp(fen);
    const int oursOnly = searchToDepth(*pos, 4);
    releaseTablebases();
    EXPECT_GT(both, SHOWN_AS_MATE);
    EXPECT_EQ(both, oursOnly);
}

TEST_F(TablebaseSearchTest, SeveralThreadsProbeTheTablesInOneSearch) {
    // Queen and rook against rook, won for White, with White and then Black
    // to move: every capture leads into a table (the queen or a rook gone,
    // or the black rook), so the split subtrees probe on every thread at
    // once. One thread and three must both see the win, and the loss.
    struct Case {
        const char* fen;
        bool won;
    };
    // Shallower under the thread checker, which slows the search tenfold.
    const int depth = std::getenv("TARNO_THREAD_SANITIZED") ? 8 : 9;
    for (const Case& c : {Case{"8/5k2/8/3r4/8/8/1Q6/K2R4 w - - 0 1", true},
                          Case{"8/8/8/3k4/8/8/1r6/KQ1R4 b - - 0 1", false}}) {
        for (unsigned threads : {1u, 3u}) {
            changeThreadCount(threads);
            clearTranspositionTable();
            auto pos = setUp(c.fen);
            const int score = searchToDepth(*pos, depth);
            if (c.won) EXPECT_GT(score, MATE_THRESHOLD) << c.fen << ", " << threads << " threads";
            else EXPECT_LT(score, -MATE_THRESHOLD) << c.fen << ", " << threads << " threads";
            EXPECT_GT(pos->stats.tablebaseHits, 50u) << c.fen << ", " << threads << " threads";
            if (threads > 1) {
                EXPECT_GT(gParallel.splitCount, 0u) << c.fen;
            }
            EXPECT_EQ(gThreadPool.recordsInUse, 0u);
        }
    }
    changeThreadCount(1);
}

namespace {

// Five men at the root, four after any capture: only the tree probes, and
// the probe depth decides where.
TEST_F(TablebaseSearchTest, ProbeDepthSparesTheLastPlies) {
    const char* fen = "8/8/8/3k4/8/2r5/1P6/KR6 w - - 0 1";
    uint32_t probes[3];
    const int depths[3] = {1, 4, 100};
    for (int i = 0; i < 3; i++) {
        clearTranspositionTable();
        requestDefaults.syzygyProbeDepth = depths[i];
        auto pos = setUp(fen);
        searchToDepth(*pos, 7);
        probes[i] = pos->stats.tablebaseProbes;
        EXPECT_NE(lastResult.best, 0u);
    }
    EXPECT_GT(probes[0], probes[1]);
    EXPECT_GT(probes[1], 0u) << "plies enough are left near the root";
    EXPECT_EQ(probes[2], 0u) << "no node of a depth-7 search has 100 plies left";
}

}  // namespace

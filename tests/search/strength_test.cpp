// A weaker engine: fewer nodes, a choice among good lines, and no gift of a
// won position whatever the dice say.
#include <set>

#include "search/strength.h"
#include "search_fixture.h"

namespace {

class StrengthTest : public SearchTest {
protected:
    // A limited search as a game asks for it, then the choice with `seed`.
    Move limitedMove(const char* fen, int elo, uint32_t seed, uint32_t* nodes = nullptr) {
        auto pos = setUp(fen);
        SearchRequest request = depthRequest(MAX_PLY);
        request.limitElo = elo;
        searchAsRequested(*pos, request);
        if (nodes) *nodes = pos->stats.nodes;
        const Move m = chooseLimitedMove(*pos, elo, seed);
        EXPECT_TRUE(isLegalMove(m, *pos));
        EXPECT_EQ(pos->pv[0].moves[1], m) << "the root line is the chosen move's";
        return m;
    }
};

TEST_F(StrengthTest, FewerNodesForALowerRating) {
    EXPECT_LT(strengthNodes(STRENGTH_ELO_MIN), strengthNodes(1800));
    EXPECT_LT(strengthNodes(1800), strengthNodes(STRENGTH_ELO_MAX));
    EXPECT_GT(strengthNoise(STRENGTH_ELO_MIN), strengthNoise(2000));
    uint32_t nodes = 0;
    limitedMove("r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9", 1500, 1, &nodes);
    // The budget ends the search at the first look past it.
    EXPECT_LE(nodes, 2 * strengthNodes(1500) + 5000) << nodes;
}

TEST_F(StrengthTest, AWeakSettingPlaysSeveralGoodMovesButNeverThrowsAWin) {
    // Level: the weakest setting does not always play the same move.
    std::set<Move> chosen;
    for (uint32_t seed = 1; seed <= 40; seed++)
        chosen.insert(limitedMove("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", STRENGTH_ELO_MIN,
                                  seed * 2654435761u));
    EXPECT_GE(chosen.size(), 2u);

    // The queen hangs: taking it is the only move that keeps the win, and
    // the weakest setting takes it every time.
    const char* queenHangs = "3k4/ppp5/8/3q4/8/8/PPP5/3RK3 w - - 0 1";
    auto pos = setUp(queenHangs);
    const Move capture = findMove(*pos, D1, D5);
    for (uint32_t seed = 1; seed <= 20; seed++)
        EXPECT_EQ(limitedMove(queenHangs, STRENGTH_ELO_MIN, seed * 2654435761u), capture) << seed;
    // A mate is played as found.
    const char* mateInOne = "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1";
    pos = setUp(mateInOne);
    const Move mate = findMove(*pos, D1, D8);
    for (uint32_t seed = 1; seed <= 10; seed++) EXPECT_EQ(limitedMove(mateInOne, STRENGTH_ELO_MIN, seed * 40503u), mate);
}

TEST_F(StrengthTest, TheExtraLinesStayUnseen) {
    static int shown = 0;
    static int indexed = 0;
    shown = indexed = 0;
    Reporter r;
    r.showsVariation = [](uint32_t, int) { return true; };
    r.variation = [](const VariationReport& line) {
        shown++;
        indexed += line.multiPV != 0;
    };
    setReporter(r);
    limitedMove("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", 1600, 7);
    EXPECT_GT(shown, 0);
    EXPECT_EQ(indexed, 0) << "one line asked for: no multipv index, no second line";
}

}  // namespace

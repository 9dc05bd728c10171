// The search below the root and the driver above it: mate and draw scores,
// the repetition window, the null-move rule, extensions and reductions,
// shallow futility, the ply limits and the legality of what comes back.
#include "board/notation.h"
#include "search/movepicker.h"
#include "search/search.h"
#include "search_fixture.h"

namespace {

const char* const kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

class SearchNodeTest : public SearchTest {
protected:
    // Prepares a direct call of the search at the root ply.
    std::unique_ptr<Position> atRoot(const std::string& fen) {
        auto pos = setUp(fen);
        pos->inCheck[1] = isSquareAttacked(*pos, pos->sides[pos->sideToMove].kingSquare, pos->sideToMove ^ 1);
        pos->currentMove[0] = 0;
        gSearch.iterationDepth = 4;
        return pos;
    }
    // Makes `m` at the root as the search would, arriving at ply 2.
    void playAtRoot(Position& pos, Move m) {
        ASSERT_NE(m, 0u);
        pos.currentMove[1] = m;
        ASSERT_TRUE(makeMove(pos, m, false));
        pos.inCheck[2] = isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);
        pos.listStart[2] = pos.listStart[1];
    }
};

TEST_F(SearchTest, MatesScoreByTheirDistanceFromTheRoot) {
    // Mate in one: 10000 - 2.
    auto pos = setUp("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    EXPECT_EQ(searchToDepth(*pos, 4), 9998);
    EXPECT_EQ(pos->pv[0].moves[1], findMove(*pos, D1, D8));

    // Mate in two with the rook ladder: 10000 - 4.
    pos = setUp("7k/8/8/8/8/8/R7/1R4K1 w - - 0 1");
    EXPECT_EQ(searchToDepth(*pos, 5), 9996);

    // Black's only move walks into mate: mated after one move of its own,
    // 2 * 1 + 1 - 10000.
    pos = setUp("k7/2K5/8/8/8/8/8/1R6 b - - 0 1");
    EXPECT_EQ(searchToDepth(*pos, 4), 3 - 10000);
    EXPECT_EQ(pos->pv[0].moves[1], findMove(*pos, A8, A7));
}

TEST_F(SearchTest, NoLegalMoveTellsStalemateFromCheckmate) {
    auto stalemate = setUp("k7/2Q5/1K6/8/8/8/8/8 b - - 0 1");
    gLimits.depthLimit = 6;
    gGame.engineSide = BLACK;
    testing::internal::CaptureStdout();
    EXPECT_EQ(iterate(*stalemate), 0);
    auto mate = setUp("k7/1Q6/1K6/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(iterate(*mate), -10000);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gSearch.rootMoveCount, 0);
    EXPECT_TRUE(gSearch.abortFlag);
}

TEST_F(SearchTest, FoundMateEndsTheDeepeningOneIterationLate) {
    auto pos = setUp("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    searchToDepth(*pos, 30);
    // Found at depth 1, seen by the stop test at depth 2.
    EXPECT_EQ(gSearch.lastCompletedDepth, 2);
}

TEST_F(SearchTest, ScoresAreForTheSideToMove) {
    // Black is a queen up; whoever is to move sees it from its own side.
    auto white = setUp("3qk3/8/8/8/8/8/8/4K3 w - - 0 1");
    int forWhite = searchToDepth(*white, 3);
    auto black = setUp("3qk3/8/8/8/8/8/8/4K3 b - - 0 1");
    int forBlack = searchToDepth(*black, 3);
    EXPECT_LT(forWhite, -700);
    EXPECT_GT(forBlack, 700);
}

TEST_F(SearchTest, SearchesAlwaysReturnALegalMove) {
    const char* fens[] = {
        kStart,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "4k3/8/8/8/8/8/4r3/3QK3 w - - 0 1",   // in check
        "k7/2K5/8/8/8/8/8/1R6 b - - 0 1",     // one legal move
        "8/8/8/8/8/5k2/6q1/7K w - - 0 1",     // checkmated: nothing to return
    };
    for (const char* fen : fens) {
        auto pos = setUp(fen);
        Move list[MAX_MOVES];
        Move* end = generateAllMoves(*pos, list);
        int legal = 0;
        for (Move* m = list; m < end; m++) {
            if (makeMove(*pos, *m, false)) {
                legal++;
                unmakeMove(*pos);
            }
        }
        searchToDepth(*pos, 4);
        const Move best = pos->pv[0].end >= 2 ? pos->pv[0].moves[1] : 0;
        if (legal > 0) {
            EXPECT_NE(best, 0u) << fen;
            EXPECT_TRUE(isLegalMove(best, *pos)) << fen;
        }
        EXPECT_EQ(pos->historyCount, 1u) << fen;
    }
}

TEST_F(SearchNodeTest, CheckmateAndStalemateAtTheNode) {
    auto pos = atRoot("k7/1Q6/1K6/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(search(*pos, 2, -10000, 10000, false), 1 - 10000);
    pos = atRoot("k7/2Q5/1K6/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(search(*pos, 2, -10000, 10000, false), 0);
    // One ply deeper the mated side is further from the root.
    pos = atRoot("k7/1Q6/1K6/8/8/8/8/8 b - - 0 1");
    pos->historyCount = 3;
    pos->history[3] = pos->history[1];
    pos->inCheck[3] = 1;
    pos->listStart[3] = 0;
    EXPECT_EQ(search(*pos, 2, -10000, 10000, false), 3 - 10000);
}

TEST_F(SearchNodeTest, FiftyMovesAreNotClaimedByAMatedSide) {
    auto pos = atRoot("k7/1Q6/1K6/8/8/8/8/8 b - - 0 1");
    pos->history[1].reversibleMoves = FIFTY_MOVE_PLIES;
    EXPECT_EQ(search(*pos, 2, -10000, 10000, false), 1 - 10000);
    pos = atRoot("k7/8/1K6/8/8/8/8/7R b - - 0 1");
    pos->history[1].reversibleMoves = FIFTY_MOVE_PLIES;
    EXPECT_EQ(search(*pos, 2, -10000, 10000, false), 0);
    EXPECT_EQ(repetitionCheck(*pos), 2);
}

TEST_F(SearchNodeTest, RepetitionWindowStopsShortOfTheLastIrreversibleMove) {
    auto pos = atRoot(kStart);
    const int route[][2] = {{G1, F3}, {G8, F6}, {F3, G1}, {F6, G8}, {G1, F3}};
    int answers[5];
    for (int i = 0; i < 5; i++) {
        ASSERT_TRUE(makeMove(*pos, findMove(*pos, route[i][0], route[i][1]), false));
        answers[i] = repetitionCheck(*pos);
    }
    // Back at the start position (reached by no capture or pawn move since)
    // nothing is found; one move later the position after 1. Nf3 repeats.
    EXPECT_EQ(answers[3], 0);
    EXPECT_EQ(answers[4], 1);
    for (int i = 0; i < 5; i++) unmakeMove(*pos);
}

TEST_F(SearchNodeTest, RepetitionsOfGamePositionsAreFound) {
    auto pos = atRoot(kStart);
    const int game[][2] = {{G1, F3}, {G8, F6}, {F3, G1}, {F6, G8}, {G1, F3}};
    for (auto& m : game) playGameMove(*pos, findMove(*pos, m[0], m[1]));
    resetSearch(*pos);
    // ...Nf6 now repeats the position after the game's first 1...Nf6.
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, G8, F6), false));
    EXPECT_EQ(repetitionCheck(*pos), 1);
    unmakeMove(*pos);
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, B8, C6), false));
    EXPECT_EQ(repetitionCheck(*pos), 0);
    unmakeMove(*pos);
}

TEST_F(SearchNodeTest, NullMoveNeedsANullWindowPiecesAndNoCheck) {
    auto rookKnight = atRoot("6k1/8/8/8/8/8/8/RN4K1 w - - 0 1");  // 8 units
    EXPECT_TRUE(nullMoveAllowed(*rookKnight, 6, 0, 1, false));
    EXPECT_FALSE(nullMoveAllowed(*rookKnight, 7, 0, 1, false));  // deep with under ten units
    EXPECT_FALSE(nullMoveAllowed(*rookKnight, 6, 0, 2, false));
    EXPECT_FALSE(nullMoveAllowed(*rookKnight, 6, 0, 1, true));
    EXPECT_FALSE(nullMoveAllowed(*rookKnight, 1, 0, 1, false));
    auto pawns = atRoot("6k1/p7/8/8/8/8/P7/6K1 w - - 0 1");
    EXPECT_FALSE(nullMoveAllowed(*pawns, 4, 0, 1, false));
    auto checked = atRoot("6k1/8/8/8/8/8/6r1/RN4K1 w - - 0 1");
    EXPECT_FALSE(nullMoveAllowed(*checked, 4, 0, 1, false));
    auto queenRook = atRoot("6k1/8/8/8/8/8/8/RQ4K1 w - - 0 1");  // 14 units
    EXPECT_TRUE(nullMoveAllowed(*queenRook, 10, 0, 1, false));
    EXPECT_EQ(nullMoveReduction(10, 14), 4);
    EXPECT_EQ(nullMoveReduction(6, 14), 3);
    EXPECT_EQ(nullMoveReduction(10, 8), 3);
}

TEST_F(SearchNodeTest, ChecksAreExtendedOnlyWhenTheCheckerIsSafe) {
    auto pos = atRoot("r3k3/8/8/8/8/8/8/3QK3 w - - 0 1");
    Move safe = findMove(*pos, D1, H5), hanging = findMove(*pos, D1, A4);
    for (auto [m, expected] : {std::pair{safe, 1}, std::pair{hanging, 0}}) {
        pos->currentMove[1] = m;
        ASSERT_TRUE(makeMove(*pos, m, false));
        EXPECT_EQ(extendOrReduce(*pos, 1, 5), expected);
        EXPECT_EQ(pos->inCheck[2], 1);
        unmakeMove(*pos);
    }
}

TEST_F(SearchNodeTest, LateQuietMovesAreReduced) {
    auto pos = atRoot("6k1/p7/8/8/8/8/1P4P1/R5K1 w - - 0 1");
    auto reduction = [&](int fromSq, int toSq, int depth, int searchedHere, int searchedAbove) {
        Move m = findMove(*pos, fromSq, toSq);
        pos->currentMove[1] = m;
        pos->movesSearched[1] = uint32_t(searchedHere);
        pos->movesSearched[0] = uint32_t(searchedAbove);
        EXPECT_TRUE(makeMove(*pos, m, false));
        int e = extendOrReduce(*pos, 1, depth);
        unmakeMove(*pos);
        return e;
    };
    EXPECT_EQ(reduction(A1, A2, 5, 3, 0), -1);
    EXPECT_EQ(reduction(A1, A2, 5, 3, 3), -2);  // the parent was already late in its list
    EXPECT_EQ(reduction(A1, A2, 5, 0, 0), 0);   // first move
    EXPECT_EQ(reduction(A1, A2, 2, 3, 0), 0);   // too shallow
    EXPECT_EQ(reduction(G2, G3, 5, 3, 0), 0);   // a passed pawn moves on
    EXPECT_EQ(reduction(B2, B3, 5, 3, 0), -1);  // the a7 pawn can stop this one
}

TEST_F(SearchNodeTest, FutilityPrunesOnlyForTheSideThatIsBehind) {
    // White to move at ply 2, a queen and a rook down: its quiet moves at
    // depth 2 cannot reach alpha and are left to the quiescence search.
    auto behind = atRoot("3q2k1/3r4/8/8/8/8/7P/6K1 b - - 0 1");
    playAtRoot(*behind, findMove(*behind, G8, H8));
    search(*behind, 2, -5, 5, false);
    EXPECT_GT(behind->stats.prunedMoves, 0u);

    // A queen and a rook up: nothing is futile.
    auto ahead = atRoot("6k1/7p/8/8/8/8/3R4/3Q2K1 b - - 0 1");
    playAtRoot(*ahead, findMove(*ahead, G8, H8));
    search(*ahead, 2, -5, 5, false);
    EXPECT_EQ(ahead->stats.prunedMoves, 0u);
}

TEST_F(SearchNodeTest, PlyLimits) {
    auto pos = atRoot("r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9");
    const int standPat = evaluate(*pos, -10000, 10000);
    pos->history[65] = pos->history[1];
    pos->history[64] = pos->history[1];
    pos->historyCount = 65;
    EXPECT_EQ(search(*pos, 3, -100, 100, false), 100);
    EXPECT_EQ(pos->stats.nodes, 0u);
    EXPECT_EQ(quiesceChecks(*pos, -10000, 10000), standPat);
    pos->historyCount = 64;
    EXPECT_EQ(quiesce(*pos, -10000, 10000), standPat);
}

TEST_F(SearchNodeTest, AKingLeftEnPriseMeansTheLastMoveWasIllegal) {
    // The bishop is pinned; moving it anyway (as only a corrupt table move
    // could) leaves the rook a king to take.
    auto pos = atRoot("4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1");
    Move pinned = findMove(*pos, E2, D3);
    pos->currentMove[1] = pinned;
    ASSERT_TRUE(makeMove(*pos, pinned, true));
    EXPECT_EQ(quiesceChecks(*pos, -10000, 10000), 10000);
}

TEST_F(SearchNodeTest, PrincipalVariationIsPlayable) {
    auto pos = setUp("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    searchToDepth(*pos, 5);
    const PVRow& row = pos->pv[0];
    ASSERT_GE(row.end, 2);
    int made = 0;
    for (int i = 1; i < row.end; i++) {
        ASSERT_TRUE(validMoveTest(*pos, row.moves[i])) << "ply " << i;
        ASSERT_TRUE(makeMove(*pos, row.moves[i], false)) << "ply " << i;
        made++;
    }
    while (made--) unmakeMove(*pos);
}

}  // namespace

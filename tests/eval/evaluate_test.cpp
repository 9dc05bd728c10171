// The driver and the material rules, checked against scores worked out by
// hand for small positions.
#include "eval_fixture.h"
#include "eval/pieces.h"

namespace {

using Evaluate = EvalTest;

TEST_F(Evaluate, MaterialBalanceCountsImbalanceAndTempo) {
    // Start position: equal material, White's tempo.
    EXPECT_EQ(materialBalance(*positionFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1")), 5);
    // Rook against knight: 200, imbalance[5][3] = 42, Black to move -5.
    EXPECT_EQ(materialBalance(*positionFromFen("4k1n1/8/8/8/8/8/8/R3K3 b - - 0 1")), 500 - 300 + 42 - 5);
    // Queen against two rooks: majors 2-2, minors equal, so only tempo.
    EXPECT_EQ(materialBalance(*positionFromFen("r3k2r/8/8/8/8/8/8/3QK3 w - - 0 1")), 900 - 1000 + 5);
}

TEST_F(Evaluate, BareKingsAndSingleMinorsAreDeadDraws) {
    for (const char* fen : {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", "4k3/8/8/8/8/8/8/4KN2 w - - 0 1",
                            "4k3/8/8/8/8/8/8/4KB2 b - - 0 1", "4kb2/8/8/8/8/8/8/4KB2 w - - 0 1",
                            "4k3/8/8/8/8/8/8/3NKN2 w - - 0 1", "2n1k3/8/8/8/8/8/8/3NKN2 w - - 0 1"}) {
        auto pos = prepared(fen);
        EXPECT_EQ(recogniseDraw(*pos), 0) << fen;
        EXPECT_EQ(evaluate(*pos, -10000, 10000), 0) << fen;
    }
}

TEST_F(Evaluate, DrawMaskSaysWhoCanStillWin) {
    EXPECT_EQ(recogniseDraw(*positionFromFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1")), 1);  // rook wins
    EXPECT_EQ(recogniseDraw(*positionFromFen("4k3/8/8/8/8/8/8/r3K3 w - - 0 1")), 2);
    EXPECT_EQ(recogniseDraw(*positionFromFen("4k3/4p3/8/8/8/8/4P3/4K3 w - - 0 1")), 3);
    // Two bishops beat a knight, bishop and knight do not.
    EXPECT_EQ(recogniseDraw(*positionFromFen("4k1n1/8/8/8/8/8/8/2B1KB2 w - - 0 1")), 1);
    EXPECT_EQ(recogniseDraw(*positionFromFen("4k1n1/8/8/8/8/8/8/2N1KB2 w - - 0 1")), 0);
    // Lots of material: not examined.
    EXPECT_EQ(recogniseDraw(*positionFromFen("4k3/8/8/8/8/8/8/1Q2K3 w - - 0 1")), 3);
}

TEST_F(Evaluate, BishopAndKnightDriveTheKingToTheBishopsCorner) {
    // 600 material + imbalance[4][6] 126 + tempo 5 = 731, plus the mating
    // table at the black king: h8 is a dark corner.
    EXPECT_EQ(eval("7k/8/8/8/8/8/8/K1BN4 w - - 0 1"), 731 + 100);  // dark bishop
    EXPECT_EQ(eval("7k/8/8/8/8/8/8/KBN5 w - - 0 1"), 731 + 30);    // light bishop: h8 is the wrong corner
    EXPECT_EQ(eval("8/8/8/3k4/8/8/8/K1BN4 w - - 0 1"), 731 + 30);  // d5 lies on the a8-h1 diagonal
    // Black mating: the same numbers with the sign turned, for Black to move.
    EXPECT_EQ(eval("k1bn4/8/8/8/8/8/8/7K b - - 0 1"), 731 + 100);
}

TEST_F(Evaluate, LoneKingIsPushedToTheEdgeAgainstARook) {
    // 500 + imbalance[5][4] 104 + tempo: 609; d5 edge value 40; kings e1 and
    // d5 are 4 apart: 15 * (3 - 4).
    EXPECT_EQ(eval("8/8/8/3k4/8/8/8/R3K3 w - - 0 1"), 609 + 40 - 15);
    EXPECT_EQ(eval("8/8/8/3k4/8/8/8/R3K3 b - - 0 1"), -(599 + 40 - 15));
    // In the corner with the kings in opposition: 100 + 15.
    EXPECT_EQ(eval("k7/8/K7/8/8/8/8/7R w - - 0 1"), 609 + 100 + 15);
}

TEST_F(Evaluate, FarWindowReturnsMaterialOnly) {
    auto pos = prepared("r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq - 4 4");
    uint32_t evalsBefore = pos->evalStats.evals;
    EXPECT_EQ(evaluate(*pos, 2000, 2100), 5);
    EXPECT_EQ(evaluate(*pos, -2100, -2000), 5);
    EXPECT_EQ(pos->evalStats.evals, evalsBefore) << "the first lazy exit comes before the counter";
    evaluate(*pos, -10000, 10000);
    EXPECT_EQ(pos->evalStats.evals, evalsBefore + 1);
}

TEST_F(Evaluate, SecondLazyExitSkipsPieceTerms) {
    auto pos = prepared("r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq - 4 4");
    evaluate(*pos, -10000, 10000);
    EXPECT_EQ(pos->evalStats.lazyEvals, 0u);
    // Inside the first margin (5 + 295 >= 250), outside the second.
    evaluate(*pos, 250, 260);
    EXPECT_EQ(pos->evalStats.lazyEvals, 1u);
    EXPECT_EQ(pos->evalStats.evals, 2u);
    EXPECT_EQ(pos->attackUnits[WHITE] + pos->attackUnits[BLACK], 0) << "no piece raised attack units";
}

TEST_F(Evaluate, OppositeBishopsDampTheNonMaterialScore) {
    // White Bf1 (light), a2, b2; Black Bf8 (dark). Material 200, tempo 5;
    // pawns a2/b2: b-file base 3, phalanx 2 + 2, passers 8 + 8 = 23; outside
    // passer against a minor: 48; bishops -8 + 7 mobility - 2 (a2 on its
    // colour) against -8 + 7: -2. Non-material 74, quartered: 18.
    EXPECT_EQ(eval("4kb2/8/8/8/8/8/PP6/4KB2 w - - 0 1"), 200 + 18);
}

TEST_F(Evaluate, RookPawnWithTheWrongBishopIsADraw) {
    EXPECT_EQ(eval("8/1k6/8/8/8/8/P7/K7 w - - 0 1"), 0);
    EXPECT_EQ(eval("8/1k6/8/8/8/8/P7/K1B5 w - - 0 1"), 0) << "a dark bishop cannot cover a8";
    EXPECT_GT(eval("8/1k6/8/8/8/8/P7/KB6 w - - 0 1"), 300) << "a light bishop drives the king out";
    EXPECT_EQ(eval("k7/p7/8/8/8/8/1K6/8 b - - 0 1"), 0);
    EXPECT_EQ(eval("7k/8/4b3/p7/8/8/1K6/8 w - - 0 1"), 0) << "a light bishop cannot cover a1";
    EXPECT_LT(eval("7k/8/3b4/p7/8/8/1K6/8 w - - 0 1"), -300) << "a dark one can";
    // The defender too far from the corner: the pawn runs.
    EXPECT_NE(recogniseDraw(*positionFromFen("8/8/8/8/8/6k1/P7/K7 w - - 0 1")) & 1, 0);
    // Pawns on both rook files win.
    EXPECT_NE(recogniseDraw(*positionFromFen("8/1k6/8/8/8/8/P6P/K7 w - - 0 1")) & 1, 0);
}

TEST_F(Evaluate, RookPawnRuleCountsTheTempo) {
    // The black king two steps from a8 against a pawn four steps away.
    EXPECT_EQ(recogniseDraw(*positionFromFen("8/8/2k5/8/P7/8/1K6/8 b - - 0 1")), 0);
    // Four steps against a pawn two steps away, White to move: it queens.
    EXPECT_NE(recogniseDraw(*positionFromFen("8/8/P3k3/8/8/8/1K6/8 w - - 0 1")) & 1, 0);
    // Black king c6 against a6: two steps each; with Black to move he is in
    // time, with White to move the pawn is.
    EXPECT_EQ(recogniseDraw(*positionFromFen("8/8/P1k5/8/8/8/1K6/8 b - - 0 1")), 0);
    EXPECT_NE(recogniseDraw(*positionFromFen("8/8/P1k5/8/8/8/1K6/8 w - - 0 1")) & 1, 0);
    // The same for Black's pawns, mirrored.
    EXPECT_EQ(recogniseDraw(*positionFromFen("8/1k6/8/8/8/p1K5/8/8 w - - 0 1")), 0);
    EXPECT_NE(recogniseDraw(*positionFromFen("8/1k6/8/8/8/p1K5/8/8 b - - 0 1")) & 2, 0);
}

TEST_F(Evaluate, TrappedBishopOnA7CostsItsValue) {
    // The same but for the pawn that defends b6 (c7) or does not (c5).
    int defended = eval("4k3/B1p5/1p6/8/8/8/5PP1/4K3 w - - 0 1");
    int alone = eval("4k3/B7/1p6/2p5/8/8/5PP1/4K3 w - - 0 1");
    EXPECT_LT(defended, alone - 100);
    auto pos = positionFromFen("4k3/2p5/1p6/B7/8/8/8/4K3 w - - 0 1");
    EXPECT_TRUE(isDefended(*pos, B6));
    EXPECT_FALSE(isDefended(*pos, C7));
    EXPECT_FALSE(isDefended(*pos, A5));
}

}  // namespace

// Piece terms and king safety on small positions, against values worked out
// by hand from the tables.
#include "eval_fixture.h"
#include "eval/pawns.h"
#include "eval/pieces.h"

namespace {

using PieceTerms = EvalTest;

TEST_F(PieceTerms, KnightOutpostOnE6) {
    // e6: outpost 12, again 12 with a pawn guard and no enemy minor able to
    // trade it (no knight, no light-squared bishop), plus its square 6.
    auto pos = prepared("4k3/8/4N3/3P4/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluateKnights(*pos), 12 + 12 + 6);
    // A dark-squared enemy bishop (h2) cannot touch it.
    EXPECT_EQ(evaluateKnights(*prepared("4k3/8/4N3/3P4/8/8/7b/4K3 w - - 0 1")), 30);
    // A light-squared one (g2) can: one guard is then worth half.
    EXPECT_EQ(evaluateKnights(*prepared("4k3/8/4N3/3P4/8/8/6b1/4K3 w - - 0 1")), 12 + 6 + 6);
    // In front of a backward e7 pawn: 12 more.
    EXPECT_EQ(evaluateKnights(*prepared("4k3/4p3/4N3/3P4/8/8/8/4K3 w - - 0 1")), 30 + 12);
    // A black pawn on f7 can chase it away: no outpost, square value only.
    EXPECT_EQ(evaluateKnights(*prepared("4k3/5p2/4N3/3P4/8/8/8/4K3 w - - 0 1")), 6);
    // Black's mirror image scores the same for Black.
    EXPECT_EQ(evaluateKnights(*prepared("4k3/8/8/8/3p4/4n3/8/4K3 b - - 0 1")), -30);
}

TEST_F(PieceTerms, KnightsAddAttackUnitsByDistance) {
    auto pos = prepared("4k3/8/2N5/8/8/8/8/N3K3 w - - 0 1");
    evaluateKnights(*pos);
    // c6 is two steps from e8 (3 units), a1 seven steps (0).
    EXPECT_EQ(pos->attackUnits[WHITE], 3);
    EXPECT_EQ(pos->attackUnits[BLACK], 0);
}

TEST_F(PieceTerms, LoneBishopBehindItsOwnPawnsInTheEndgame) {
    // a1 bishop: square -16, no mobility (b2 is an own pawn), and five own
    // pawns on dark squares: -10.
    EXPECT_EQ(evaluateBishops(*prepared("7k/8/5P2/4P3/3P4/2P5/1P6/B6K w - - 0 1")), -16 - 10);
}

TEST_F(PieceTerms, BishopPairAndMobility) {
    // c1 and f1 at home behind their pawns: -8 each, no mobility; pair 24.
    EXPECT_EQ(evaluateBishops(*prepared("4k3/8/8/8/8/8/1PPPPPP1/2B1KB2 w - - 0 1")), -8 - 8 + 24);
    // f1 with e2 gone: e2 d3 c4 b5 a6 open up: +5.
    EXPECT_EQ(evaluateBishops(*prepared("4k3/8/8/8/8/8/1PPP1PP1/2B1KB2 w - - 0 1")), -8 - 8 + 24 + 5);
}

TEST_F(PieceTerms, FianchettoNextToTheCastledKing) {
    // Kg1, g3 pushed, Bg2: square 2, mobility f3 e4 d5 c6 b7 a8 (6) and h3
    // f1 h1 (3), and 20 for the fianchetto. White's queen and rook keep the
    // game out of the endgame.
    auto pos = prepared("q3k3/8/8/8/8/6P1/5PBP/3Q1RK1 w - - 0 1");
    EXPECT_EQ(evaluateBishops(*pos), 2 + 9 + 20);
}

TEST_F(PieceTerms, RookFilesAndSeventhRank) {
    // d1 on an open file: 6 + 24. a1 on a half-open file (a7): 0 + 5.
    auto files = prepared("4k3/p7/8/8/8/8/4P3/R2RK3 w - - 0 1");
    evaluatePawnStructure(*files);
    EXPECT_EQ(evaluateRooks(*files), 30 + 5);
    // d7 on an open file and the seventh rank, Black's king still at home.
    auto seventh = prepared("4k3/p2R4/8/8/8/8/8/4K3 w - - 0 1");
    evaluatePawnStructure(*seventh);
    EXPECT_EQ(evaluateRooks(*seventh), 6 + 24 + 30);
}

TEST_F(PieceTerms, RookBehindAPassedPawn) {
    auto pos = prepared("4k3/8/8/8/3P4/8/8/3RK3 w - - 0 1");
    evaluatePawnStructure(*pos);  // the rook term reads the passed files
    // d1: 6 for the file, which its own pawn closes, and 16 behind the passer.
    EXPECT_EQ(evaluateRooks(*pos), 6 + 16);
    // A piece blockading the pawn takes the bonus away.
    auto blocked = prepared("4k3/8/8/3n4/3P4/8/8/3RK3 w - - 0 1");
    evaluatePawnStructure(*blocked);
    EXPECT_EQ(evaluateRooks(*blocked), 6);
}

TEST_F(PieceTerms, KingWeaknessInTheCentreAndWithoutQueens) {
    // Both kings at home with all rights: the square value 3, the centre
    // files closed.
    auto start = prepared("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    evaluatePawnStructure(*start);
    EXPECT_EQ(evaluateKingSafety(*start), 0);
    EXPECT_EQ(start->kingWeakness[WHITE], 3);
    EXPECT_EQ(start->kingWeakness[BLACK], 3);
    // d- and e-files open: 2 + 4 more each.
    auto open = prepared("rnbqkbnr/ppp2ppp/8/8/8/8/PPP2PPP/RNBQKBNR w KQkq - 0 1");
    evaluatePawnStructure(*open);
    evaluateKingSafety(*open);
    EXPECT_EQ(open->kingWeakness[WHITE], 9);
    EXPECT_EQ(open->kingWeakness[BLACK], 9);
    // Without queens the danger is halved.
    auto noQueens = prepared("rnb1kbnr/ppp2ppp/8/8/8/8/PPP2PPP/RNB1KBNR w KQkq - 0 1");
    evaluatePawnStructure(*noQueens);
    evaluateKingSafety(*noQueens);
    EXPECT_EQ(noQueens->kingWeakness[WHITE], 4);
    EXPECT_EQ(noQueens->kingWeakness[BLACK], 4);
}

TEST_F(PieceTerms, CastledKingBehindItsShelter) {
    // White castled short behind f2 g3 h2 (one defect), no rights left;
    // Black at home with its rights. White: g1 square 0 + shelter 1.
    auto pos = prepared("rnbqkbnr/pppppppp/8/8/8/6P1/PPPPPP1P/RNBQ1RK1 w kq - 0 1");
    evaluatePawnStructure(*pos);
    int score = evaluateKingSafety(*pos);
    EXPECT_EQ(pos->kingWeakness[WHITE], 1);
    EXPECT_EQ(pos->kingWeakness[BLACK], 3);
    // King-safety table: 24 for Black's 3, 4 for White's 1.
    EXPECT_EQ(score, 24 - 4);
}

TEST_F(PieceTerms, DevelopmentPenalisesAnEarlyQueenAndAnUncastledKing) {
    // All rights at the root and now: the queen left d1 (-18), the king
    // still between its rooks (-24).
    auto pos = prepared("rnbqkbnr/pppppppp/8/8/8/5Q2/PPPPPPPP/RNB1KBNR w KQkq - 0 1");
    // Both knights still shut in their rooks: -7 each.
    EXPECT_EQ(evaluateDevelopment(*pos, WHITE), -18 - 7 - 7 - 24);
    // The rights were lost during the search without castling: -20, tripled
    // with the black queen on the board.
    pos->castling &= uint8_t(~(WHITE_KINGSIDE | WHITE_QUEENSIDE));
    // (No rights left, so the queen's excursion no longer counts.)
    EXPECT_EQ(evaluateDevelopment(*pos, WHITE), -7 - 7 - 24 - 60);
}

TEST_F(PieceTerms, EndgameKingGoesWhereThePawnsAre) {
    // Pawns on the kingside only: the white king on f5 (60) against the
    // black king on b7 (its own rank 2, b-file: -40).
    auto pos = prepared("8/1k6/8/5K2/6P1/8/8/8 w - - 0 1");
    EXPECT_EQ(evaluateKingPlacement(*pos), 60 - (-40));
}

}  // namespace

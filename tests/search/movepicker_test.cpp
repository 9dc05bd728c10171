// Move ordering: the picker's delivery order, static exchange evaluation,
// killers and the validation of moves taken from other positions.
#include <algorithm>
#include <vector>

#include "search/movepicker.h"
#include "search_fixture.h"

namespace {

class PickerTest : public SearchTest {
protected:
    // Runs the picker at the root ply until it is exhausted.
    std::vector<Move> pickAll(Position& pos, Move hash = 0, Move killer1 = 0, Move killer2 = 0, Move previousBest = 0) {
        const int p = int(pos.historyCount);
        pos.inCheck[p] = isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);
        pos.hashMove[p] = hash;
        pos.killers[p][0] = killer1;
        pos.killers[p][1] = killer2;
        pos.pv[p].moves[p] = previousBest;
        pos.movesDelivered[p] = 0;
        pos.listStart[p + 1] = pos.listStart[p];
        pos.picker[p].status = hash ? PICK_HASH_MOVE : pos.inCheck[p] ? PICK_EVASIONS : PICK_START;
        std::vector<Move> moves;
        while (Move m = nextMove(pos)) {
            moves.push_back(m);
            if (moves.size() > 300) break;
        }
        return moves;
    }

    static std::vector<Move> pseudoLegal(Position& pos) {
        Move list[MAX_MOVES];
        Move* end = generateAllMoves(pos, list);
        return std::vector<Move>(list, end);
    }

    static bool sameSet(std::vector<Move> a, std::vector<Move> b) {
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        return a == b;
    }
};

// White: Kg1 Qd1 Nc3 Pe4; Black: Kg8 Pd5 (loose) Pb5 (guarded by a6).
const char* const kCaptures = "6k1/8/p7/1p1p4/4P3/2N5/8/3Q2K1 w - - 0 1";

TEST_F(PickerTest, DeliversHashCapturesKillersThenTheRest) {
    auto pos = setUp(kCaptures);
    const Move hash = findMove(*pos, G1, H1);
    const Move exd5 = findMove(*pos, E4, D5), nxd5 = findMove(*pos, C3, D5), qxd5 = findMove(*pos, D1, D5);
    const Move nxb5 = findMove(*pos, C3, B5);
    const Move killer1 = findMove(*pos, D1, H5), killer2 = findMove(*pos, C3, E2);
    const Move previousBest = findMove(*pos, D1, D3);

    std::vector<Move> order = pickAll(*pos, hash, killer1, killer2, previousBest);
    ASSERT_GE(order.size(), 9u);
    // Hash move; winning and equal captures by victim, then attacker; the
    // killers; the previous best move; then the losing capture ahead of the
    // quiet moves.
    std::vector<Move> expectedHead = {hash, exd5, nxd5, qxd5, killer1, killer2, previousBest, nxb5};
    EXPECT_EQ(std::vector<Move>(order.begin(), order.begin() + 8), expectedHead);
    EXPECT_TRUE(sameSet(order, pseudoLegal(*pos))) << "every move once";
    for (size_t i = 8; i < order.size(); i++) EXPECT_FALSE(isCapture(order[i]));
}

TEST_F(PickerTest, LosingCapturesWaitBehindTheKillers) {
    // Only capture: Nxb5, which loses the knight for a pawn.
    auto pos = setUp("6k1/8/p7/1p6/4P3/2N5/8/3Q2K1 w - - 0 1");
    const Move nxb5 = findMove(*pos, C3, B5);
    const Move killer1 = findMove(*pos, D1, H5), killer2 = findMove(*pos, C3, E2);
    std::vector<Move> order = pickAll(*pos, 0, killer1, killer2);
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(order[0], killer1);
    EXPECT_EQ(order[1], killer2);
    EXPECT_EQ(order[2], nxb5);
    EXPECT_TRUE(sameSet(order, pseudoLegal(*pos)));
}

TEST_F(PickerTest, HashMoveIsNeverDeliveredTwice) {
    auto pos = setUp(kCaptures);
    const Move nxd5 = findMove(*pos, C3, D5);
    std::vector<Move> order = pickAll(*pos, nxd5);
    EXPECT_EQ(order.front(), nxd5);
    EXPECT_EQ(std::count(order.begin(), order.end(), nxd5), 1);
    EXPECT_TRUE(sameSet(order, pseudoLegal(*pos)));

    // A killer equal to the hash move is skipped.
    const Move quiet = findMove(*pos, D1, H5);
    order = pickAll(*pos, quiet, quiet);
    EXPECT_EQ(std::count(order.begin(), order.end(), quiet), 1);
    EXPECT_TRUE(sameSet(order, pseudoLegal(*pos)));
}

TEST_F(PickerTest, KillersThatDoNotFitThePositionAreSkipped) {
    auto pos = setUp(kCaptures);
    // A knight move from a square without a knight, and a blocked pawn push.
    const Move stray = encodeMove(F3, G5, KNIGHT);
    const Move blocked = encodeMove(D5, D4, PAWN);
    std::vector<Move> order = pickAll(*pos, 0, stray, blocked);
    EXPECT_EQ(std::count(order.begin(), order.end(), stray), 0);
    EXPECT_EQ(std::count(order.begin(), order.end(), blocked), 0);
    EXPECT_TRUE(sameSet(order, pseudoLegal(*pos)));
}

TEST_F(PickerTest, EvasionsPutCapturesFirst) {
    // The loose rook on e2 checks the king: both captures, king first (the
    // cheaper attacker), come before the king's step aside.
    auto pos = setUp("4k3/8/8/8/8/8/4r3/3QK3 w - - 0 1");
    std::vector<Move> order = pickAll(*pos);
    Move evasions[MAX_MOVES];
    Move* end = generateEvasions(*pos, evasions);
    EXPECT_TRUE(sameSet(order, std::vector<Move>(evasions, end)));
    std::vector<Move> expected = {findMove(*pos, E1, E2), findMove(*pos, D1, E2), findMove(*pos, E1, F1)};
    EXPECT_EQ(order, expected);

    // With a hash move it comes first and is not repeated.
    order = pickAll(*pos, findMove(*pos, E1, F1));
    expected = {findMove(*pos, E1, F1), findMove(*pos, E1, E2), findMove(*pos, D1, E2)};
    EXPECT_EQ(order, expected);
}

TEST_F(PickerTest, CountsWhatItDelivered) {
    auto pos = setUp(kCaptures);
    std::vector<Move> order = pickAll(*pos, findMove(*pos, G1, H1), findMove(*pos, D1, H5));
    EXPECT_EQ(pos->movesDelivered[1], order.size());
}

TEST_F(SearchTest, StaticExchangePlaysOutTheWholeSequence) {
    struct Case {
        const char* fen;
        int from, to, promotion;
        int expected;
    } cases[] = {
        // Pawn takes a pawn-defended knight, a rook backing it up.
        {"6k1/8/4p3/3n4/4P3/8/8/3R2K1 w - - 0 1", E4, D5, 0, 300},
        // Pawn takes a knight defended only by the queen: the queen's
        // recapture is always played out, and loses it to the rook.
        {"3q2k1/8/8/3n4/4P3/8/8/3R2K1 w - - 0 1", E4, D5, 0, 1100},
        // Doubled rooks: the rear one recaptures through the front one.
        {"3r2k1/8/8/3n4/8/8/3R4/3R2K1 w - - 0 1", D2, D5, 0, 300},
        // The king may not recapture onto a square the bishop still guards.
        {"4r1k1/2b5/5K2/4p3/8/8/4Q3/8 w - - 0 1", E2, E5, 0, -800},
        // ... but it may once nothing guards it.
        {"4r1k1/8/5K2/4p3/8/8/4Q3/8 w - - 0 1", E2, E5, 0, -300},
        // Capturing promotion: the new queen counts, less the pawn.
        {"r5k1/1P6/8/8/8/8/8/6K1 w - - 0 1", B7, A8, QUEEN, 1300},
        {"r5k1/1P6/8/8/8/8/r7/6K1 w - - 0 1", B7, A8, QUEEN, 400},
        // A quiet move onto a square the enemy pawn guards.
        {"6k1/8/4p3/8/8/8/8/3R2K1 w - - 0 1", D1, D5, 0, -500},
    };
    for (const Case& c : cases) {
        auto pos = positionFromFen(c.fen);
        Move m = findMove(*pos, c.from, c.to, c.promotion);
        ASSERT_NE(m, 0u) << c.fen;
        EXPECT_EQ(staticExchange(*pos, m, WHITE), c.expected) << c.fen;
        // The same exchange seen after the move has been made.
        ASSERT_TRUE(makeMove(*pos, m, false)) << c.fen;
        EXPECT_EQ(staticExchange(*pos, m, WHITE), c.expected) << c.fen << " (after the move)";
        unmakeMove(*pos);
    }
}

TEST_F(SearchTest, KillersKeepTheTwoLatestQuietRefutations) {
    auto pos = positionFromFen(kCaptures);
    const Move a = findMove(*pos, D1, H5), b = findMove(*pos, C3, E2), c = findMove(*pos, G1, H1);
    Move* k = pos->killers[pos->historyCount];
    updateKillers(*pos, a);
    EXPECT_EQ(k[0], 0u);
    EXPECT_EQ(k[1], a);
    updateKillers(*pos, a);  // a second success promotes it
    EXPECT_EQ(k[0], a);
    EXPECT_EQ(k[1], 0u);
    updateKillers(*pos, b);
    updateKillers(*pos, a);  // already first: no change
    EXPECT_EQ(k[0], a);
    EXPECT_EQ(k[1], b);
    updateKillers(*pos, c);
    EXPECT_EQ(k[0], a);
    EXPECT_EQ(k[1], c);
    updateKillers(*pos, findMove(*pos, E4, D5));  // captures are not killers
    EXPECT_EQ(k[1], c);
}

TEST_F(SearchTest, ValidMoveTestFollowsTheRules) {
    // White: Ke1 Ra1 Rh1 Nb1 Bc1 Pe2 Pd5; Black: Ke8 Rf8 (covering f1) and
    // Pc5, which has just made its double step.
    auto pos = positionFromFen("4kr2/8/8/2pP4/8/8/4P3/RNB1K2R w KQ c6 0 2");
    EXPECT_TRUE(validMoveTest(*pos, encodeMove(D5, C6, PAWN, PAWN) | EN_PASSANT_FLAG));
    EXPECT_FALSE(validMoveTest(*pos, encodeMove(D5, E6, PAWN, PAWN) | EN_PASSANT_FLAG));
    EXPECT_TRUE(validMoveTest(*pos, encodeMove(E2, E4, PAWN)));
    EXPECT_FALSE(validMoveTest(*pos, encodeMove(E2, E5, PAWN)));
    EXPECT_FALSE(validMoveTest(*pos, encodeMove(E2, D3, PAWN)));  // diagonal without a capture
    EXPECT_TRUE(validMoveTest(*pos, encodeMove(B1, C3, KNIGHT)));
    EXPECT_FALSE(validMoveTest(*pos, encodeMove(B1, B3, KNIGHT)));
    EXPECT_FALSE(validMoveTest(*pos, encodeMove(C1, A3, KNIGHT)));  // wrong piece on the square
    EXPECT_TRUE(validMoveTest(*pos, encodeMove(C1, H6, BISHOP)));
    EXPECT_TRUE(validMoveTest(*pos, encodeMove(A1, A8, ROOK)));
    EXPECT_FALSE(validMoveTest(*pos, encodeMove(A1, A8, ROOK, KNIGHT)));  // a capture of nothing
    EXPECT_FALSE(validMoveTest(*pos, encodeMove(H1, F1, ROOK) | CASTLING_FLAG));
    EXPECT_FALSE(validMoveTest(*pos, WHITE_CASTLE_KINGSIDE));  // f1 is covered by the rook on f8
    EXPECT_FALSE(validMoveTest(*pos, WHITE_CASTLE_QUEENSIDE));  // b1 and c1 are occupied
    EXPECT_FALSE(validMoveTest(*pos, encodeMove(E1, F1, KING)));  // into the rook's file
    EXPECT_TRUE(validMoveTest(*pos, encodeMove(E1, D2, KING)));
    EXPECT_FALSE(validMoveTest(*pos, 0));
}

}  // namespace

// Attack tables against slow ray-walking references, and the masks the
// evaluation reads.
#include <random>

#include "board/board_helpers.h"

namespace {

// A position with random pieces (kings kept) for attack comparisons.
std::unique_ptr<Position> randomBoard(std::mt19937& rng, int pieces) {
    auto pos = startPosition();
    std::memset(pos->board, 0, sizeof pos->board);
    pos->board[rng() % 64] = KING;
    int blackKing;
    do blackKing = int(rng() % 64);
    while (pos->board[blackKing]);
    pos->board[blackKing] = -KING;
    for (int i = 0; i < pieces; i++) {
        int sq = int(rng() % 64);
        if (pos->board[sq]) continue;
        int type = 1 + int(rng() % 5);
        pos->board[sq] = int8_t(rng() % 2 ? type : -type);
    }
    rebuildDerivedState(*pos);
    return pos;
}

TEST(RotatedOccupancy, RenumberingTablesFollowTheirLines) {
    initEngineTables();
    // Squares of a line are contiguous bits, in increasing square order.
    for (int sq = 0; sq < 64; sq++) {
        int row = rowOf(sq), file = fileOf(sq);
        EXPECT_EQ(fileMajorIndex[sq], file * 8 + row);
        EXPECT_EQ(a1h8Index[sq], a1h8Shift[sq] + std::min(row, 7 - file)) << sq;
        EXPECT_EQ(a8h1Index[sq], a8h1Shift[sq] + std::min(row, file)) << sq;
        EXPECT_EQ(a1h8LineMask[sq], (1 << (8 - std::abs(row + file - 7))) - 1) << sq;
        EXPECT_EQ(a8h1LineMask[sq], (1 << (8 - std::abs(file - row))) - 1) << sq;
    }
    // Each numbering is a permutation of 0..63.
    for (const uint8_t* table : {fileMajorIndex, a1h8Index, a8h1Index}) {
        Bitboard seen = 0;
        for (int sq = 0; sq < 64; sq++) seen |= 1ull << table[sq];
        EXPECT_EQ(seen, ~0ull);
    }
    const uint8_t firstA1H8[10] = {0, 1, 3, 6, 10, 15, 21, 28, 2, 4};
    const uint8_t firstA8H1[10] = {28, 21, 15, 10, 6, 3, 1, 0, 36, 29};
    for (int sq = 0; sq < 10; sq++) {
        EXPECT_EQ(a1h8Index[sq], firstA1H8[sq]);
        EXPECT_EQ(a8h1Index[sq], firstA8H1[sq]);
    }
}

TEST(SlidingAttacks, MatchRayWalkingOnRandomBoards) {
    initEngineTables();
    std::mt19937 rng(7);
    for (int trial = 0; trial < 300; trial++) {
        auto pos = randomBoard(rng, trial % 40);
        for (int sq = 0; sq < 64; sq++) {
            ASSERT_EQ(rookAttacks(*pos, sq), slowAttacks(pos->board, sq, ROOK)) << "trial " << trial << " sq " << sq;
            ASSERT_EQ(bishopAttacks(*pos, sq), slowAttacks(pos->board, sq, BISHOP)) << "trial " << trial << " sq " << sq;
            ASSERT_EQ(knightAttacks[sq], slowAttacks(pos->board, sq, KNIGHT));
            ASSERT_EQ(kingAttacks[sq], slowAttacks(pos->board, sq, KING));
        }
    }
}

TEST(SlidingAttacks, RookOnA1AndShortDiagonals) {
    auto pos = positionFromFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    // Rank attacks of a1 with a1 and e1 occupied: b1, c1, d1, e1.
    EXPECT_EQ(rankAttacks(*pos, A1), squareMask[B1] | squareMask[C1] | squareMask[D1] | squareMask[E1]);
    // Only a1 occupied: the whole rank.
    EXPECT_EQ(rankAttackTable[A1][1], 0xFEull << 56);
    // a8 and h1 lie on a diagonal of length one: nothing along it.
    EXPECT_EQ(a1h8LineMask[A8], 1);
    EXPECT_EQ(a1h8AttackTable[A8][0], 0u);
    EXPECT_EQ(a1h8AttackTable[A8][1], 0u);
    EXPECT_EQ(a1h8AttackTable[H1][1], 0u);
}

TEST(SlidingAttacks, OwnSquareDoesNotChangeTheLookup) {
    // Looking up from an empty square must give the same set as if a piece
    // stood there; the attack test relies on it for empty squares.
    initEngineTables();
    for (int sq = 0; sq < 64; sq++) {
        for (unsigned occ = 0; occ < 256; occ++) {
            EXPECT_EQ(rankAttackTable[sq][occ], rankAttackTable[sq][occ | (1u << fileOf(sq))]);
            EXPECT_EQ(fileAttackTable[sq][occ], fileAttackTable[sq][occ | (1u << rowOf(sq))]);
            unsigned a1 = occ & a1h8LineMask[sq], a8 = occ & a8h1LineMask[sq];
            EXPECT_EQ(a1h8AttackTable[sq][a1], a1h8AttackTable[sq][a1 | (1u << (a1h8Index[sq] - a1h8Shift[sq]))]);
            EXPECT_EQ(a8h1AttackTable[sq][a8], a8h1AttackTable[sq][a8 | (1u << (a8h1Index[sq] - a8h1Shift[sq]))]);
        }
    }
}

TEST(AttackQueries, AttackersAndAttackTestMatchTheReference) {
    initEngineTables();
    std::mt19937 rng(11);
    for (int trial = 0; trial < 300; trial++) {
        auto pos = randomBoard(rng, 4 + trial % 30);
        for (int sq = 0; sq < 64; sq++) {
            Bitboard expected = 0;
            for (int from = 0; from < 64; from++) {
                int piece = pos->board[from];
                if (!piece) continue;
                int8_t single[64] = {};
                std::memcpy(single, pos->board, 64);
                single[sq] = 0;  // a piece on sq itself does not block
                bool hits;
                if (std::abs(piece) == PAWN)  // one row forward, one file aside
                    hits = rowOf(sq) == rowOf(from) + (piece > 0 ? -1 : 1) && std::abs(fileOf(sq) - fileOf(from)) == 1;
                else
                    hits = (slowAttacks(single, from, std::abs(piece)) & squareMask[sq]) != 0;
                if (hits && from != sq) expected |= squareMask[from];
            }
            ASSERT_EQ(attackersOf(*pos, sq), expected) << "trial " << trial << " sq " << sq;
            for (int colour : {WHITE, BLACK})
                ASSERT_EQ(isSquareAttacked(*pos, sq, colour), (expected & pos->sides[colour].pieces[ALL_PIECES]) != 0);
        }
    }
}

TEST(AttackQueries, EmptySquareIsJudgedAsIfOccupied) {
    // The rook on a1 reaches d1 but not e1 behind it, whether or not d1 is
    // empty: the square itself never blocks.
    auto pos = positionFromFen("4k3/8/8/8/8/8/8/R6K w - - 0 1");
    EXPECT_TRUE(isSquareAttacked(*pos, D1, WHITE));
    EXPECT_TRUE(isSquareAttacked(*pos, G1, WHITE));
    EXPECT_FALSE(isSquareAttacked(*pos, D2, WHITE));
}

TEST(AttackQueries, QueenAttacksNeedAQueen) {
    auto without = positionFromFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(queenAttacks(*without, D4), 0u);
    auto with = positionFromFen("4k3/8/8/8/8/8/8/R2QK3 w - - 0 1");
    EXPECT_EQ(queenAttacks(*with, D4), slowAttacks(with->board, D4, QUEEN));
}

TEST(PawnTables, CapturesPushesAndEnPassantNeighbours) {
    initEngineTables();
    EXPECT_EQ(pawnCaptures[WHITE][E2], squareMask[D3] | squareMask[F3]);
    EXPECT_EQ(pawnCaptures[WHITE][A2], squareMask[B3]);
    EXPECT_EQ(pawnCaptures[BLACK][H7], squareMask[G6]);
    EXPECT_EQ(pawnCaptures[WHITE][E8], 0u);
    EXPECT_EQ(pawnPush[WHITE][E2][1], squareMask[E3] | squareMask[E4]);
    EXPECT_EQ(pawnPush[WHITE][E2][5], squareMask[E3]);
    EXPECT_EQ(pawnPush[WHITE][E2][3], 0u);
    EXPECT_EQ(pawnPush[WHITE][E3][1], squareMask[E4]);
    EXPECT_EQ(pawnPush[BLACK][D7][1], squareMask[D6] | squareMask[D5]);
    EXPECT_EQ(pawnPush[BLACK][D7][5], squareMask[D6]);
    EXPECT_EQ(pawnPush[WHITE][E7][1], squareMask[E8]);
    EXPECT_EQ(pawnPush[WHITE][E1][1], 0u);
    EXPECT_EQ(epNeighbours[E4], squareMask[D4] | squareMask[F4]);
    EXPECT_EQ(epNeighbours[A5], squareMask[B5]);
    EXPECT_EQ(epNeighbours[E3], 0u);
}

TEST(LinesBetweenSquares, DirectionsRaysAndSquaresBetween) {
    initEngineTables();
    for (int a = 0; a < 64; a++) {
        for (int b = 0; b < 64; b++) {
            int dr = rowOf(b) - rowOf(a), df = fileOf(b) - fileOf(a);
            bool aligned = a != b && (dr == 0 || df == 0 || std::abs(dr) == std::abs(df));
            int expected = aligned ? ((dr > 0) - (dr < 0)) * 8 + ((df > 0) - (df < 0)) : 0;
            ASSERT_EQ(direction[a][b], expected) << a << " " << b;
            if (!aligned) continue;
            // Squares strictly between, walked one step at a time.
            Bitboard between = 0;
            for (int s = a + expected; s != b; s += expected) between |= squareMask[s];
            ASSERT_EQ(squaresBetween(expected, b, a), between) << a << " " << b;
        }
    }
    EXPECT_EQ(squaresBetween(0, E1, E8), 0u);
    EXPECT_EQ(squaresBetween(3, E1, E8), 0u);
    EXPECT_EQ(directionIndex(-9), 6);
    EXPECT_EQ(directionIndex(2), -1);
    EXPECT_EQ(rayMask[directionIndex(-8)][E1], fileMask[4] & ~squareMask[E1]);
}

TEST(EvaluationMasks, PawnStructureMasks) {
    initEngineTables();
    EXPECT_EQ(fileMask[0], 0x0101010101010101ull);
    EXPECT_EQ(rankMask[0], 0xFFull);
    EXPECT_EQ(rankMaskByRank[1], rankMask[7]);
    EXPECT_EQ(filesBtoG, ~(fileMask[0] | fileMask[7]));
    EXPECT_TRUE(lightSquares & squareMask[A8]);
    EXPECT_TRUE(darkSquares & squareMask[A1]);
    EXPECT_EQ(lightSquares | darkSquares, ~0ull);
    EXPECT_EQ(adjacentFiles[A4], fileMask[1]);
    EXPECT_EQ(passedMask[WHITE][E6], squareMask[D7] | squareMask[E7] | squareMask[F7] | squareMask[D8] |
                                         squareMask[E8] | squareMask[F8]);
    EXPECT_EQ(passedMask[BLACK][A2], squareMask[A1] | squareMask[B1]);
    EXPECT_EQ(adjacentAheadMask[E7], squareMask[D8] | squareMask[F8]);
    EXPECT_EQ(adjacentBehindMask[E2], squareMask[D1] | squareMask[F1]);
    EXPECT_EQ(neighbourMask[H5], squareMask[G5]);
    EXPECT_EQ(neighbourUpMask[E5], squareMask[D5] | squareMask[F5] | squareMask[D6] | squareMask[F6]);
    EXPECT_EQ(neighbourDownMask[E5], squareMask[D5] | squareMask[F5] | squareMask[D4] | squareMask[F4]);
    EXPECT_EQ(neighbourUpMask[E7], squareMask[D7] | squareMask[F7]);  // s <= 15
}

TEST(EvaluationMasks, SquareOfThePawn) {
    initEngineTables();
    // White pawn on e5: three rows to go. A king on b8 (three moves away)
    // is inside the square, one on a8 (four) only with the extra move.
    EXPECT_TRUE(pawnSquareMask[WHITE][E5] & squareMask[B8]);
    EXPECT_FALSE(pawnSquareMask[WHITE][E5] & squareMask[A8]);
    EXPECT_TRUE(pawnSquareMaskWide[WHITE][E5] & squareMask[A8]);
    // A pawn on its start row can double-step: e2 counts as e3, five rows.
    EXPECT_TRUE(pawnSquareMask[WHITE][E2] & squareMask[A3]);
    EXPECT_FALSE(pawnSquareMask[WHITE][E2] & squareMask[A2]);
    // Black mirrors White.
    for (int sq = 8; sq < 56; sq++) {
        int mirrored = squareAt(7 - rowOf(sq), fileOf(sq));
        for (int k = 0; k < 64; k++) {
            int mk = squareAt(7 - rowOf(k), fileOf(k));
            ASSERT_EQ(bool(pawnSquareMask[WHITE][sq] & squareMask[k]), bool(pawnSquareMask[BLACK][mirrored] & squareMask[mk]));
            ASSERT_EQ(bool(pawnSquareMaskWide[WHITE][sq] & squareMask[k]),
                      bool(pawnSquareMaskWide[BLACK][mirrored] & squareMask[mk]));
        }
    }
}

TEST(EvaluationMasks, ByteTables) {
    initEngineTables();
    EXPECT_EQ(lowestBitByte[0], 8);
    EXPECT_EQ(highestBitByte[0], 8);
    EXPECT_EQ(lowestBitByte[0b10100], 2);
    EXPECT_EQ(highestBitByte[0b10100], 4);
    EXPECT_EQ(popCountByte[0xFF], 8);
    EXPECT_EQ(adjacentPairByte[0b0110], 1);
    EXPECT_EQ(adjacentPairByte[0b0011], 8);   // the a/b pair reads 8
    EXPECT_EQ(adjacentPairByte[0b0101], 0);   // no two adjacent files
    EXPECT_EQ(adjacentPairByte[0b11011000], 3);
    // An a-file passer against enemy pawns from the c-file on is an outside
    // passer; against one on the b-file only the lesser form; against one
    // on its own file neither.
    EXPECT_EQ(outsidePasserTable[0b1][0b11111100], 1);
    EXPECT_EQ(outsidePasserTable[0b1][0b11111110], 0);
    EXPECT_EQ(lesserOutsidePasserTable[0b1][0b11111110], 1);
    EXPECT_EQ(lesserOutsidePasserTable[0b1][0b01111111], 0);
    // An h-file passer against enemy pawns on a..e.
    EXPECT_EQ(outsidePasserTable[0x80][0b00011111], 1);
    EXPECT_EQ(outsidePasserTable[0][0xFF], 0);
}

}  // namespace

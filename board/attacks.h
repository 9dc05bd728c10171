// Attack tables built once at start-up and read by every thread without
// locks: leaper attacks, sliding attacks through rotated occupancies, rays,
// directions, and the masks and byte tables the evaluation reads.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "board/types.h"

// Builds every table below (not the Zobrist keys).
void initBoardTables();

// --- single squares and renumbering of the rotated occupancies ---
extern Bitboard squareMask[64];        // 1 << s
extern uint8_t fileMajorIndex[64];  // bit of s in the file-major occupancy
extern uint8_t a1h8Index[64];       // bit of s in the a1-h8 occupancy
extern uint8_t a8h1Index[64];       // bit of s in the a8-h1 occupancy
extern uint8_t a1h8Shift[64];       // first bit of s's a1-h8 diagonal
extern uint8_t a1h8LineMask[64];    // (1 << diagonal length) - 1
extern uint8_t a8h1Shift[64];
extern uint8_t a8h1LineMask[64];
// The three rotated-occupancy bits of each square, for make/unmake.
struct RotatedBits {
    Bitboard fileMajor, a1h8, a8h1;
};
extern RotatedBits rotatedBits[64];

// --- sliding attacks, [square][occupancy byte of the line] ---
extern Bitboard rankAttackTable[64][256];
extern Bitboard fileAttackTable[64][256];
extern Bitboard a1h8AttackTable[64][256];
extern Bitboard a8h1AttackTable[64][256];

inline Bitboard occupied(const Board& pos) {
    return pos.sides[WHITE].pieces[ALL_PIECES] | pos.sides[BLACK].pieces[ALL_PIECES];
}
inline Bitboard rankAttacks(const Board& pos, int sq) {
    return rankAttackTable[sq][(occupied(pos) >> (sq & ~7)) & 0xFF];
}
inline Bitboard fileAttacks(const Board& pos, int sq) {
    return fileAttackTable[sq][(pos.occFileMajor >> (fileOf(sq) * 8)) & 0xFF];
}
inline Bitboard a1h8Attacks(const Board& pos, int sq) {
    return a1h8AttackTable[sq][(pos.occA1H8 >> a1h8Shift[sq]) & a1h8LineMask[sq]];
}
inline Bitboard a8h1Attacks(const Board& pos, int sq) {
    return a8h1AttackTable[sq][(pos.occA8H1 >> a8h1Shift[sq]) & a8h1LineMask[sq]];
}
inline Bitboard bishopAttacks(const Board& pos, int sq) { return a1h8Attacks(pos, sq) | a8h1Attacks(pos, sq); }
inline Bitboard rookAttacks(const Board& pos, int sq) { return rankAttacks(pos, sq) | fileAttacks(pos, sq); }
// Empty when neither side has a queen on the board.
Bitboard queenAttacks(const Board& pos, int sq);

// --- leapers and pawns ---
extern Bitboard knightAttacks[64];
extern Bitboard kingAttacks[64];
// pawnCaptures[WHITE][s]: squares a white pawn on s attacks (equally, the
// squares from which a black pawn attacks s); [BLACK] likewise.
extern Bitboard pawnCaptures[2][64];
// Push targets by colour, square and blocking state (see the generators).
extern Bitboard pawnPush[2][64][8];
// For squares on rows 3 and 4: the squares beside s on its rank.
extern Bitboard epNeighbours[64];

// --- rays and lines ---
// Direction steps and their index in rayMask.
constexpr int directionSteps[8] = {-8, 8, 1, -1, -7, 7, -9, 9};
int directionIndex(int step);  // 0..7, or -1 for a step that is no direction
// Squares strictly beyond s in direction index d, to the board edge.
extern Bitboard rayMask[8][64];
// Step from a towards b when they share a line (+-1, +-8, +-7, +-9), else 0.
extern int32_t direction[64][64];
// Squares strictly between from and to along step (empty for a non-direction).
Bitboard squaresBetween(int step, int to, int from);

// --- masks for the evaluation ---
extern Bitboard fileMask[8];
extern Bitboard rankMask[8];        // by row (row 0 = rank 8)
extern Bitboard rankMaskByRank[9];  // by rank number 1..8
extern Bitboard filesAtoC, filesAtoD, filesFtoH, filesEtoH, filesBtoG;
extern Bitboard lightSquares, darkSquares;  // a8 is light
extern Bitboard adjacentFiles[64];          // whole files beside s's file
extern Bitboard passedMask[2][64];          // squares ahead on own and adjacent files
extern Bitboard adjacentAheadMask[64];      // adjacent files, strictly towards rank 8
extern Bitboard adjacentBehindMask[64];     // adjacent files, strictly towards rank 1
extern Bitboard neighbourMask[64];          // beside s on its row
extern Bitboard neighbourUpMask[64];        // ... plus the two diagonally towards rank 8
extern Bitboard neighbourDownMask[64];      // ... plus the two diagonally towards rank 1
// King squares inside the "square" of a pawn on s: [colour of the pawn][s].
// The first form is for the defender not to move; the second allows the
// defending king one extra move.
extern Bitboard pawnSquareMask[2][64];
extern Bitboard pawnSquareMaskWide[2][64];
constexpr Bitboard centreE6D5F5 = 0x28100000ull;
constexpr Bitboard centreD6C5E5 = 0x14080000ull;
constexpr Bitboard centreE3D4F4 = 0x102800000000ull;
constexpr Bitboard centreD3C4E4 = 0x81400000000ull;

// --- byte tables ---
extern uint8_t popCountByte[256];
extern uint8_t lowestBitByte[256];   // 8 for 0
extern uint8_t highestBitByte[256];  // 8 for 0
extern uint8_t adjacentPairByte[256];
// Outside-passer tables over file sets (bit f = file f, a = bit 0).
extern uint8_t outsidePasserTable[256][256];
extern uint8_t lesserOutsidePasserTable[256][256];

// --- attack queries ---
// Every piece of either colour that attacks sq. Sliding lookups use the
// current occupancy, so a piece standing on sq itself does not block.
Bitboard attackersOf(const Board& pos, int sq);

// Whether bySide attacks sq: the king-in-check test after every move, so it
// stops at the first attacker found. The sliding tables give the same set
// whether or not sq itself is occupied, so an empty square is judged
// exactly as if a piece stood on it.
inline bool isSquareAttacked(const Board& pos, int sq, int bySide) {
    const SideRecord& by = pos.sides[bySide];
    // The squares from which a pawn of bySide attacks sq are those a pawn of
    // the other colour on sq would attack.
    if (by.pieces[PAWN] & pawnCaptures[bySide ^ 1][sq]) return true;
    if (by.pieces[KNIGHT] & knightAttacks[sq]) return true;
    if (by.pieces[KING] & kingAttacks[sq]) return true;
    Bitboard diagonal = by.pieces[BISHOP] | by.pieces[QUEEN];
    if (diagonal && (bishopAttacks(pos, sq) & diagonal)) return true;
    Bitboard straight = by.pieces[ROOK] | by.pieces[QUEEN];
    return straight && (rookAttacks(pos, sq) & straight);
}

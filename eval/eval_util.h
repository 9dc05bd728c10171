// Small colour-relative helpers shared by the evaluation terms. Every term is
// written once for a side `c`; these turn "ahead", "rank" and "the White
// table entry for this square" into plain square and bitboard arithmetic.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "board/board.h"
#include "board/types.h"

inline Bitboard bit(int sq) { return Bitboard(1) << sq; }

// Rank 1..8 counted from c's own side (a white pawn on e2 is on rank 2, a
// black pawn on e7 too).
inline int relativeRank(int c, int sq) { return c == WHITE ? 8 - rowOf(sq) : rowOf(sq) + 1; }

// The square whose White table entry applies to c's piece on sq: tables are
// written from White's side, Black reads them flipped top to bottom.
inline int whiteView(int c, int sq) { return c == WHITE ? sq : sq ^ 56; }

// The square one step towards c's promotion rank; only valid off the last row.
inline int stepAhead(int c, int sq) { return c == WHITE ? sq - 8 : sq + 8; }

// Every square of a bitboard moved one row towards c's promotion rank; bits
// pushed off the board vanish, so pawns on a bad row from a FEN stay safe.
inline Bitboard shiftAhead(int c, Bitboard b) { return c == WHITE ? b >> 8 : b << 8; }

// Whole rows strictly in front of sq from c's side, and strictly behind it.
inline Bitboard rowsAhead(int c, int sq) {
    int row = rowOf(sq);
    if (c == WHITE) return (Bitboard(1) << (row * 8)) - 1;
    return row == 7 ? 0 : ~Bitboard(0) << ((row + 1) * 8);
}
inline Bitboard rowsBehind(int c, int sq) { return rowsAhead(c ^ 1, sq); }

inline int kingDistance(int a, int b) {
    int df = std::abs(fileOf(a) - fileOf(b));
    int dr = std::abs(rowOf(a) - rowOf(b));
    return df > dr ? df : dr;
}
inline int fileDistance(int a, int b) { return std::abs(fileOf(a) - fileOf(b)); }

// Most advanced and rearmost member of a non-empty set, from c's side.
inline int frontmost(int c, Bitboard b) { return c == WHITE ? lowestSquare(b) : highestSquare(b); }
inline int rearmost(int c, Bitboard b) { return c == WHITE ? highestSquare(b) : lowestSquare(b); }

// Files occupied by a set of squares, as a byte (bit f = file f, a = bit 0).
inline uint8_t filesOf(Bitboard b) {
    b |= b >> 32;
    b |= b >> 16;
    b |= b >> 8;
    return uint8_t(b);
}

// Whole files on either side of file f.
inline Bitboard neighbourFiles(int f) {
    constexpr Bitboard aFile = 0x0101010101010101ull;
    Bitboard m = 0;
    if (f > 0) m |= aFile << (f - 1);
    if (f < 7) m |= aFile << (f + 1);
    return m;
}
inline Bitboard wholeFile(int f) { return 0x0101010101010101ull << f; }
// a8 is a light square; the light squares are those with file + row even.
constexpr Bitboard LIGHT_SQUARES = 0xAA55AA55AA55AA55ull;
inline Bitboard rowMask(int row) { return Bitboard(0xFF) << (row * 8); }

// White-relative sign of a side's term.
inline int sideSign(int c) { return c == WHITE ? 1 : -1; }

// A table index clamped into [0, size): counts can exceed a table's end in
// legal but extreme positions (many promoted pieces), and the tables are flat
// from there on.
inline int clampIndex(int i, int size) { return i < 0 ? 0 : (i >= size ? size - 1 : i); }

inline uint8_t addUnits(uint8_t units, int delta) {
    int v = int(units) + delta;
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

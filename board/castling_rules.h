// Castling for any king and rook files: in the standard game the king
// starts on e1/e8 and the rooks in the corners, in Fischer random chess
// (Chess960) the king stands anywhere between its two rooks. Either way the
// king ends on the g- or c-file and the rook beside it on the f- or d-file.
//
// Everything that depends on where the rooks started is fixed when a
// position is set up, and kept with the board so that copies of it (the
// search threads' records) castle the same way.
#pragma once

#include <cstdint>

#include "board/types.h"

// One castling move of one colour.
struct CastlingRule {
    // The move as the generator writes it; 0 when this colour never had the
    // right. The standard game writes the king's two-square step (e1g1);
    // Chess960 writes the king taking its own rook (e1h1), the only form
    // that tells castling from a king step when the king moves one square
    // or not at all.
    Move move;
    uint8_t right;     // the castling-right bit
    uint8_t kingFrom, kingTo, rookFrom, rookTo;
    // Must the king's destination be tested with the rook gone? Only where
    // the rook stands between the destination and a far corner (a rook on
    // b1 may shield c1 from a rook on a1).
    uint8_t rookShieldsKing;
    // Every square the king and rook cross or land on, other than their own
    // two squares: they must be empty.
    Bitboard mustBeEmpty;
    // The king's square, the squares it crosses and its destination: none
    // may be attacked.
    Bitboard kingPath;
};

struct CastlingSetup {
    CastlingRule rules[2][2];  // [colour][0 king side, 1 queen side]
    // Castling rights that survive a move touching each square: moving the
    // king or a castling rook, or capturing on a castling rook's square.
    uint8_t rightsKept[64];
    // The part of the hash key each set of rights contributes. A rook that
    // starts in its corner adds its right's bit, as the standard game always
    // has (the book's keys depend on it); a rook on another file adds a
    // random key of its own, since the same men with the same rights bits
    // but another castling rook are another position.
    uint64_t key[16];
    uint8_t chess960;  // moves are written king-takes-rook
};

// Index of a right's rook: 0 White king side, 1 White queen side, 2 Black
// king side, 3 Black queen side, so the right is 1 << index.
constexpr int castlingIndex(int colour, int queenSide) { return colour * 2 + queenSide; }
// A castling move is a king-side one when the king goes (or the rook it
// takes stands) towards the h-file.
constexpr int castlingSide(Move m) { return (m & 7) > ((m >> 6) & 7) ? 0 : 1; }

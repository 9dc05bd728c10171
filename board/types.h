// Basic chess types shared by every part of the engine: squares, pieces,
// colours, bitboards and the 32-bit move encoding.
#pragma once

#include <cstdint>

using Bitboard = uint64_t;

// Squares run a8 = 0, b8 = 1, ... h8 = 7, a7 = 8, ... h1 = 63, so row 0 is
// rank 8 and white pawns move towards lower indices.
constexpr int A8 = 0, B8 = 1, C8 = 2, D8 = 3, E8 = 4, F8 = 5, G8 = 6, H8 = 7;
constexpr int A7 = 8, B7 = 9, C7 = 10, D7 = 11, E7 = 12, F7 = 13, G7 = 14, H7 = 15;
constexpr int A6 = 16, B6 = 17, C6 = 18, D6 = 19, E6 = 20, F6 = 21, G6 = 22, H6 = 23;
constexpr int A5 = 24, B5 = 25, C5 = 26, D5 = 27, E5 = 28, F5 = 29, G5 = 30, H5 = 31;
constexpr int A4 = 32, B4 = 33, C4 = 34, D4 = 35, E4 = 36, F4 = 37, G4 = 38, H4 = 39;
constexpr int A3 = 40, B3 = 41, C3 = 42, D3 = 43, E3 = 44, F3 = 45, G3 = 46, H3 = 47;
constexpr int A2 = 48, B2 = 49, C2 = 50, D2 = 51, E2 = 52, F2 = 53, G2 = 54, H2 = 55;
constexpr int A1 = 56, B1 = 57, C1 = 58, D1 = 59, E1 = 60, F1 = 61, G1 = 62, H1 = 63;

constexpr int rowOf(int square) { return square >> 3; }   // 0 = rank 8
constexpr int fileOf(int square) { return square & 7; }   // 0 = a-file
constexpr int squareAt(int row, int file) { return row * 8 + file; }

// Colour index.
constexpr int WHITE = 0;
constexpr int BLACK = 1;

// Piece types; a board square holds +type for White and -type for Black.
constexpr int NO_PIECE = 0;
constexpr int PAWN = 1;
constexpr int KNIGHT = 2;
constexpr int BISHOP = 3;
constexpr int ROOK = 4;
constexpr int QUEEN = 5;
constexpr int KING = 6;
// Index of the all-pieces bitboard in a side record's piece array.
constexpr int ALL_PIECES = 0;

// Material values by type, used by the material counters and by move ordering.
constexpr int pieceValue[7] = {0, 100, 300, 300, 500, 900, 0};

// Castling-right bits.
constexpr uint8_t WHITE_KINGSIDE = 1;
constexpr uint8_t WHITE_QUEENSIDE = 2;
constexpr uint8_t BLACK_KINGSIDE = 4;
constexpr uint8_t BLACK_QUEENSIDE = 8;

// A move packs into 32 bits:
//   bits 0-5 to, 6-11 from, 12-14 moving type, 15-17 captured type
//   (1 for en passant), 18-20 promotion type, 24 castling, 25 en passant.
// 0 is "no move". Two moves are the same move only if every field agrees.
using Move = uint32_t;

constexpr int moveTo(Move m) { return m & 63; }
constexpr int moveFrom(Move m) { return (m >> 6) & 63; }
constexpr int movePiece(Move m) { return (m >> 12) & 7; }
constexpr int moveCaptured(Move m) { return (m >> 15) & 7; }
constexpr int movePromotion(Move m) { return (m >> 18) & 7; }
constexpr bool isCastling(Move m) { return (m >> 24) & 1; }
constexpr bool isEnPassant(Move m) { return (m >> 25) & 1; }
constexpr bool isCapture(Move m) { return moveCaptured(m) != 0; }

constexpr Move CASTLING_FLAG = 1u << 24;
constexpr Move EN_PASSANT_FLAG = 1u << 25;

constexpr Move encodeMove(int from, int to, int piece, int captured = 0, int promotion = 0) {
    return Move(to) | Move(from) << 6 | Move(piece) << 12 | Move(captured) << 15 |
           Move(promotion) << 18;
}

// The four castling moves are fixed values (king's two-square step).
constexpr Move WHITE_CASTLE_KINGSIDE = 0x1006F3E;   // e1-g1
constexpr Move WHITE_CASTLE_QUEENSIDE = 0x1006F3A;  // e1-c1
constexpr Move BLACK_CASTLE_KINGSIDE = 0x1006106;   // e8-g8
constexpr Move BLACK_CASTLE_QUEENSIDE = 0x1006102;  // e8-c8

static_assert(WHITE_CASTLE_KINGSIDE == (encodeMove(E1, G1, KING) | CASTLING_FLAG));
static_assert(BLACK_CASTLE_QUEENSIDE == (encodeMove(E8, C8, KING) | CASTLING_FLAG));

// Moves and positions as text: SAN and coordinate notation, FEN.
#pragma once

#include "board/board.h"

// Square names "a8", "b8", ..., "h1" in square-index order.
extern const char squareName[64][3];

// Reads a coordinate move ("e2e4", "e7e8q", "e7e8=Q") or a SAN move, with
// the usual castling forms. valid = 0 for a text that names no move at all
// (empty, longer than 8 characters, with a blank, or an ambiguous piece
// move none of whose candidates is legal); otherwise valid = 1 and the
// caller checks result.move with isLegalMove. The position is not changed.
void parseMove(MoveC& result, Board& pos, const char* text);
void parseCoordinateMove(MoveC& result, const Board& pos, const char* text);
// SAN of result.move in the position before the move, cached in result.text.
// No check or mate sign is appended.
const char* moveToSan(MoveC& result, Board& pos);
// Long algebraic text, "=" and the promotion letter for a promotion (lower
// case for Black).
const char* moveToCoordinate(MoveC& result);
// Pure coordinate text: the two squares and, for a promotion, the piece's
// lower-case letter ("e2e4", "e7e8q", "e1g1" for castling).
const char* moveToPureCoordinate(MoveC& result);
bool sanIsUnambiguous(Board& pos, const char* text);

int pieceFromLetter(char c);
// Sets up the board alone from FEN text, its history at the root; the game
// level is left to the caller (beginGame), which may ask for the game ply
// the text gives. 0 when the board was set, -1 when the text was rejected,
// in which case the board is left as it was. Rejected: malformed placement (not eight
// ranks of eight squares, unknown letters), a side to move other than w/b,
// clock fields of four or more digits, anything after the move number,
// other than one king a side, material no game can reach (more than 8
// pawns or 16 men a side, more promoted pieces than missing pawns), and a
// side not to move that stands in check. Standard castling rights without
// their king and rook at home, and an en-passant square without a pawn that has
// just made its double step, are dropped. Missing castling, en-passant and
// clock fields (EPD) read as none, 0 and move 1. The castling field is read
// as the standard game's or, with chess960, as Shredder-FEN or X-FEN;
// castling rights that name no rook, two rooks for one side, and in the
// standard game a right only Chess960 could mean, reject the text.
int setBoardFromFen(Board& pos, const char* fen, int* gamePly = nullptr, bool chess960 = false);

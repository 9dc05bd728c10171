// Moves and positions as text: SAN and coordinate notation, FEN.
#pragma once

#include "board/position.h"

// Square names "a8", "b8", ..., "h1" in square-index order.
extern const char squareName[64][3];

void parseMove(MoveC& result, Position& pos, const char* text);
void parseCoordinateMove(MoveC& result, const Position& pos, const char* text);
// SAN of result.move in the position before the move, cached in result.text.
const char* moveToSan(MoveC& result, Position& pos);
const char* moveToCoordinate(MoveC& result);
bool sanIsUnambiguous(Position& pos, const char* text);

int pieceFromLetter(char c);
// 0 when the position was set, -1 when it was rejected.
int setBoardFromFen(Position& pos, const char* fen);

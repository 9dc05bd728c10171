// Piece terms: placement and activity of the pieces, development, king
// safety. Each returns a White-relative score in centipawns. The knight,
// bishop, rook and queen terms also raise pos.attackUnits of their side by
// the pressure each piece puts on the enemy king; king safety sets
// pos.kingWeakness for both kings and must run before the queen term reads
// them.
#pragma once

#include "board/position.h"

int evaluateKnights(Position& pos);
int evaluateBishops(Position& pos);
int evaluateRooks(Position& pos);
int evaluateQueens(Position& pos);
int evaluateKingPlacement(const Position& pos);
// Development of one side while it can still castle (c: 0 White, 1 Black).
int evaluateDevelopment(const Position& pos, int c);
int evaluateKingSafety(Position& pos);

// The piece on sq is defended by another piece of its own colour.
bool isDefended(const Position& pos, int sq);

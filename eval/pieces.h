// Piece terms: placement and activity of the pieces, development, king
// safety. Each returns a White-relative score in centipawns. The knight,
// bishop, rook and queen terms also raise pos.attackUnits of their side by
// the pressure each piece puts on the enemy king; king safety sets
// pos.kingWeakness for both kings and must run before the queen term reads
// them.
#pragma once

#include "eval/eval_board.h"

int evaluateKnights(EvalBoard& pos);
int evaluateBishops(EvalBoard& pos);
int evaluateRooks(EvalBoard& pos);
int evaluateQueens(EvalBoard& pos);
int evaluateKingPlacement(const EvalBoard& pos);
// Development of one side while it can still castle (c: 0 White, 1 Black).
int evaluateDevelopment(const Board& pos, int c);
int evaluateKingSafety(EvalBoard& pos);

// The piece on sq is defended by another piece of its own colour.
bool isDefended(const Board& pos, int sq);

// The search's view of the endgame tablebases: how many men the available
// tables cover, and the probe that turns a position into a search score.
#pragma once

#include "board/board.h"

// Size in men of the largest table available; 0 while no tables are set up.
int tablebaseMaxMen();
// Looks the position up; `colour` is the side not to move. On a hit stores
// the score for the side to move (mate scores counted from the probing node
// as if it were the root) and returns true.
bool probeTablebase(const Board& pos, int colour, int& score);

// The tablebase value (tablebase_values.h) of the position for the side to
// move; `colour` is the side not to move. TB_NOT_AVAILABLE when no
// registered table holds the position (more than six men, an en-passant
// capture possible, the file missing or unreadable). Castling rights are
// not looked at: the search probes only positions without them.
int probeTablebaseValue(const Board& pos, int colour);

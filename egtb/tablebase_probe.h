// The search's view of the endgame tablebases: how many men the available
// tables cover, and the probe that turns a position into a search score.
#pragma once

#include "board/position.h"

// Size in men of the largest table available; 0 while no tables are set up.
int tablebaseMaxMen();
// Looks the position up; `colour` is the side not to move. On a hit stores
// the score for the side to move (mate scores counted from the probing node
// as if it were the root) and returns true.
bool probeTablebase(const Position& pos, int colour, int& score);

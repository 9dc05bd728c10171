// The tablebase probe as the search sees it: from a position to a score.
#pragma once

#include "board/position.h"

// The tablebase value (tablebase_values.h) of the position for the side to
// move; `colour` is the side not to move. TB_NOT_AVAILABLE when no
// registered table holds the position (more than six men, castling is not
// looked at, an en-passant capture is possible, or the file is missing).
int probePositionValue(const Position& pos, int colour);

// The same as a search score, counted as if the position were the root:
// true and the score on a hit, false when the tables do not know.
bool probePositionScore(const Position& pos, int colour, int& score);

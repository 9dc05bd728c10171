// The search side of thinking on the opponent's time: which reply to
// expect, setting it up as the root of the ponder record, and the ponder
// search itself. The shell decides when to ponder and what to do with the
// result.
#pragma once

#include "search/position.h"

// The reply the engine expects to the move it just played: the second move
// of its own principal variation, else the table's move for the position,
// else whatever the ponder record's own line holds; 0 when none is legal.
// `record` holds a copy of the game position.
Move predictedReply(Position& game, Position& record);

// The reply the engine expects to its move `best` in `pos` (standing
// before it): its line's second move, else the move the table holds for the
// position after it; 0 when neither is legal there. The position is left as
// it was.
Move replyExpectedAfter(Position& pos, Move best);

// The game plays the move the ponder search on `record` assumed: its line
// becomes the game position's, with `best` at its head when it has none.
void adoptPonderLine(Position& game, const Position& record, Move best);

// Makes `reply` in the ponder record and makes the position after it the
// record's root, as a game move would.
void makeReplyTheRoot(Position& record, Move reply);

// The search of the ponder record: iterative deepening with the full window
// and no time limit, until input or the end of the deepening stops it. The
// score and best move of its last complete root search are left in gSearch.
void ponderSearch(Position& pos);

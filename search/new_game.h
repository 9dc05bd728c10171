// Starting a game: a position goes on the board, and whatever remembers the
// game before it is forgotten.
#pragma once

#include "eval/eval_board.h"

// What a new game does with the search results stored so far. Between the
// games of a session they are only aged: the next game may well pass
// through the same positions. Where a result must not depend on what ran
// before (a benchmark's node count), they are dropped.
enum class StoredResults { Aged, Dropped };

// Puts the initial position (fen null) or the position of a FEN on the
// board, by the rules of the game in play (gGame.chess960), and starts a
// game from it: no moves played, the game ply of the
// FEN's move number (1 for the initial position), the repetition list
// holding just this position, the set-up flag telling whether the game
// began from a FEN, the thread's pawn cache empty and the transposition age
// back at 0. A FEN also empties the pawn table; dropped results empty both
// tables. Returns false, with board and game as they were, for a FEN that
// cannot be read.
bool beginGame(EvalBoard& pos, const char* fen = nullptr, StoredResults results = StoredResults::Aged);

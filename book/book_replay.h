// Playing through games on a board record of the book's own, apart from
// the game being played: building a book replays thousands of games and
// learning replays the current one, and neither may touch the game state
// (game ply, repetition list, transposition age).
#pragma once

#include "board/board.h"
#include "board/movegen.h"

// The legal moves of the side to move, in generation order; returns how
// many were written.
int generateLegalMoves(Board& pos, Move* out);
// The generated legal move equal to `move`, or 0 when there is none.
Move findLegalMove(Board& pos, Move move);
// Plays a legal move and makes the new position the history root again, so
// a replay of any length stays within the history stack.
void advancePosition(Board& pos, Move move);

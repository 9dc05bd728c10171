// Choosing a move from the book, and the console's list of book moves.
#pragma once

#include "board/board.h"

// The probe made when the engine is to move. Returns the number of
// candidate moves (the chosen one in `move`), 0 when the book knows no move
// here, -1 when there is no book or it is no longer consulted (after more
// than three misses). Keeps the book miss count.
int probeBook(Board& pos, Move& move);
// "book probe": every book move of the position with its counts and
// learned value, then their weights. Chooses nothing, counts no miss.
void showBookMoves(Board& pos);

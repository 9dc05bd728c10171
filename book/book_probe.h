// Choosing a move from the book, and the console's list of book moves.
#pragma once

#include "board/board.h"

// The probe made when the engine is to move. Returns the number of
// candidate moves (the chosen one in `move`, the list of them with their
// shares in gOpeningBook.moveText, "e4(53%) d4(46%) "), 0 when the book
// knows no move here, BOOK_DISABLED when there is no usable book, BOOK_LEFT
// when it is no longer consulted (after more than three misses). Keeps the
// book miss count. Says nothing: the caller reports the moves.
constexpr int BOOK_DISABLED = -2;
constexpr int BOOK_LEFT = -1;
int probeBook(Board& pos, Move& move);
// "book probe": every book move of the position with its counts and
// learned value, then their weights. Chooses nothing, counts no miss.
void showBookMoves(Board& pos);

// The moves the book would choose among here, with the share (per cent)
// each has of the choice, most likely first; 0 when the book knows none or
// there is no usable book. Chooses nothing, counts no miss.
struct BookShare {
    Move move;
    int percent;
};
int bookMoveShares(Board& pos, BookShare* shares);

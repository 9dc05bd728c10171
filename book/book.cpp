#include "book/book.h"

// No book file is read yet: every probe is a miss, so game flow counts the
// engine's moves out of book and searches each one; there is nothing to learn.
int probeBook(Position&, Move& move) {
    move = 0;
    return -1;
}

void learnFromGame(int, int, int) {}

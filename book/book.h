// The opening book as game flow sees it: a probe before each search and
// learning from search scores and game results.
#pragma once

#include "board/position.h"

// Number of candidate moves (the chosen one in `move`), 0 when the book
// knows none, -1 when the book is disabled or no longer consulted.
int probeBook(Position& pos, Move& move);
// Adjusts the learned values of the book moves of the current game.
// resultFlag is 1 for a game result, 0 for a search score.
void learnFromGame(int value, int depth, int resultFlag);

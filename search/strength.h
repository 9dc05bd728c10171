// A weaker engine for people to play: the strength comes from the search
// itself, never from waiting. A limited search looks at fewer nodes, finds
// several lines, and plays one of the good ones rather than always the
// best, the more freely the weaker it is meant to be; but it never gives
// away a won position nor walks into a mate it has seen.
#pragma once

#include "search/position.h"

// The range of UCI_Elo the limit honours (see the README for its
// calibration).
constexpr int STRENGTH_ELO_MIN = 1200;
constexpr int STRENGTH_ELO_MAX = 2000;
// Lines a limited search finds to choose among: one more for every
// NOISE_PER_EXTRA_LINE centipawns of random bonus. With a small bonus a line
// far down never wins the draw, and searching it would only cost depth (four
// lines take some five times the nodes of one to the same depth).
constexpr int STRENGTH_MIN_LINES = 1;
constexpr int STRENGTH_MAX_LINES = 4;
constexpr int NOISE_PER_EXTRA_LINE = 40;
// A position this far ahead is won: the choice keeps it won.
constexpr int STRENGTH_WON_SCORE = 200;
constexpr int STRENGTH_WON_MAX_DROP = 30;

// Thread 0's nodes per move at `elo`.
uint32_t strengthNodes(int elo);
// The widest random bonus (centipawns) a lesser line may get at `elo`.
int strengthNoise(int elo);
// The lines searched at `elo`.
int strengthLines(int elo);

// After a limited search of the lines in gSearch.lines: the move to play,
// with its line made the root line of `pos`. `seed` varies the choice from
// move to move.
Move chooseLimitedMove(Position& pos, int elo, uint32_t seed);

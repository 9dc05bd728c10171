// Game flow: what happens when it is the engine's turn, the time budget of
// one move, and the translation of a game result into learning.
#pragma once

#include <cstdint>

#include "book/book_learn.h"

struct Position;

// Plays the engine's move in the game position (or analyses it): draw tests,
// time, ponder hit, book, search, resignation, the move and the clocks.
void playEngineMove();
// Sets the shell's move time for this move from the clocks and time control.
void computeMoveTime();
// Learns from a result text ("1-0", "0-1", "1/2-1/2").
void parseResult(const char* text);
// What book learning needs to know of the game being played: the colour the
// engine plays, the ratings, how the game began and its moves.
LearnContext bookLearnContext();

// The draw the rules give now: fifty moves or threefold repetition.
// Prints the result line for the interface and returns true.
bool reportRuleDraw(const Position& pos);

// The engine would accept a draw in the game position.
bool drawAcceptable(Position& pos);

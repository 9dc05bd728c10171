// Game flow: what happens when it is the engine's turn, the time budget of
// one move, and the translation of a game result into learning.
#pragma once

#include <cstdint>

#include "book/book_learn.h"
#include "search/search_request.h"

struct Position;

// The request for a search of the game under the game's clocks and
// settings: its clocks and control, the depth limit, analysis mode and the
// tables set up now. The caller sets the start time and anything special.
SearchRequest gameRequest();
// The interface reports the engine's clock ("time", UCI's wtime or btime):
// compared with the engine's own reckoning after its last move, it shows
// what passing moves on really costs.
void noteReportedClock(uint32_t reported);
// The tables set up now, as a request's limits.
void setTableLimits(SearchRequest& request);
// Plays the engine's move in the game position: draw tests, time, ponder
// hit, book, search, resignation, the move and the clocks. The request is
// the game's (gameRequest) or the interface's (UCI "go"); its clock starts
// now. A "ping" that comes meanwhile is answered after the move.
void playEngineMove(const SearchRequest& request);
// Analysis mode: searches the game position until input or the end of the
// deepening stops it, showing its lines; plays nothing.
void analyseGamePosition();
// Learns from a result text ("1-0", "0-1", "1/2-1/2").
void parseResult(const char* text);
// What book learning needs to know of the game being played: the colour the
// engine plays, the ratings, how the game began and its moves.
LearnContext bookLearnContext();

// The draw the rules give now: fifty moves or threefold repetition.
// Prints the result line for the interface and returns true.
bool reportRuleDraw(const Position& pos);


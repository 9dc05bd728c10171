// Iterative deepening and the root: the search entry point, the root move
// list with its ordering, aspiration windows, and the decision when to stop.
#pragma once

#include "search/position.h"
#include "search/search_shared.h"

// Deepens the search until the depth limit, a found mate or the clock ends
// it, within the limits time control holds for it (startSearchClock). The best move is pv[0].moves[1]; the returned score is that of the
// last complete root search before the final one.
int iterate(Position& pos);
// Searches every root move to `depth` inside the root window.
int searchRoot(Position& pos, int depth);
// The next root move to search, or nullptr. The first call of a search
// builds and orders the list.
RootMove* nextRootMove(Position& pos);
// A root move beat alpha: it goes to the front and its line is shown.
void rootNewBest(Position& pos, int score, int beta, Move move);
// The same for a move searched by `searcher`, a worker's copy of the root
// at a split of the root: its line (searcher.pv[1]) becomes the root
// record's. Called under the root record's split lock.
void rootNewBest(Position& searcher, Position& root, int score, int beta, Move move);
// Whether the remaining root moves may be shared out among threads.
bool rootSplitAllowed();
// Prepares the shared state and the thread's record for a new search.
void resetSearch(Position& pos);
// Root moves handed out so far in the current iteration.
int rootMovesHandedOut();
// Records an aspiration failure of the root search (the next of three
// fail-low or fail-high marks), releases the root moves that must be
// searched again and widens the root window: by 100, then 200, then to the
// whole score range. Returns the mark ("-1" .. "+3").
const char* recordAspirationFailure(bool failedLow);
// Seeds the table with the previous principal variation so that each of its
// moves is searched first again.
void addPositionPV(Position& pos);

// The commands of the xboard protocol beyond the console's own: the
// feature list, search limits ("sd", "nps"), the move now ("?"), the
// engine's hint and book ("hint", "bk"), memory, root exclusions
// ("exclude", "include"), a score to pretend ("setscore") and the engine's
// settings ("option NAME=VALUE").
#pragma once

#include "search/search_request.h"
#include "shell/commands.h"

struct Position;

// The answer to "protover 2": the features, one option line per setting,
// "feature done=1" last.
void printFeatures();
// "sd DEPTH": no search goes deeper than DEPTH plies.
void commandSd(const CommandArgs& args);
// "nps RATE": the clock counts searched nodes at RATE per second.
void commandNps(const CommandArgs& args);
// "memory MB": both hash tables together in MB.
void commandMemory(const CommandArgs& args);
// "?": the engine on move plays the best move found so far.
void commandMoveNow();
// "hint": the reply the engine expects.
void commandHint(Position& pos);
// "bk": the book's moves here, with their shares.
void commandBk(Position& pos);
// "exclude MOVE|all" and "include MOVE|all".
void commandExclude(Position& pos, const CommandArgs& args, bool exclude);
// "setscore SCORE DEPTH".
void commandSetscore(Position& pos, const CommandArgs& args);
// "option NAME=VALUE" (or "option NAME" for a button).
void commandOption(const CommandArgs& args);

// The root moves the next search of `pos` may play, after exclusions: the
// request's searchMoves when some are excluded. Exclusions given for
// another position lapse here.
void applyExclusions(Position& pos, SearchRequest& request);
// Whether every legal move of `pos` is excluded: nothing to analyse.
bool everyMoveExcluded(Position& pos);

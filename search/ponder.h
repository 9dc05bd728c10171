// Thinking on the opponent's time: the predicted reply is made on a copy of
// the game position and searched until input arrives.
#pragma once

struct Position;

void ponder();
// The search of the ponder record: iterative deepening with the full window
// and no time limit.
void ponderSearch(Position& pos);

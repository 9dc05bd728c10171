// Making and taking back moves, incrementally, and playing them as game moves.
#pragma once

#include "board/position.h"

// Makes m. With skipLegality false (and m not the ply's hash move), a move
// that leaves the mover's king attacked is taken back and false is returned.
bool makeMove(Position& pos, Move m, bool skipLegality);
// Takes back the move made from history entry historyCount - 1.
void unmakeMove(Position& pos);

// Game-level moves: keep the game record, the repetition list and the ply.
void playGameMove(Position& pos, Move m);
void takeBackGameMove(Position& pos, const HistoryEntry& record);
// Fifty-move rule or threefold repetition of the current game position.
bool gameDrawCheck(const Position& pos);

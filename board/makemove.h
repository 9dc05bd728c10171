// Making and taking back moves, incrementally, and playing them as game moves.
#pragma once

#include "board/board.h"

// Makes m. Unless the caller knows m to be legal (an evasion, a root move
// tested when the list was built, a table move), a move that leaves the
// mover's king attacked is taken back and false is returned.
bool makeMove(Board& pos, Move m, bool knownLegal);
// Takes back the move made from history entry historyCount - 1.
void unmakeMove(Board& pos);

// Game-level moves: keep the game record, the repetition list and the ply.
// After either one the current game position is the last entry of the
// repetition list and the history count is 1.
void playGameMove(Board& pos, Move m);
// Takes back the game move of `record` (the last one of the game record;
// whether the caller removes it before or after does not matter) and
// rebuilds the repetition list from the game record; the game ply goes
// back one with it. A pass is taken back too.
void takeBackGameMove(Board& pos, const HistoryEntry& record);
// The side to move passes its turn ("white"/"black" with the other side on
// move): the game record keeps the pass, so that the moves before it can
// still be taken back.
void passGameTurn(Board& pos);
// Fifty-move rule, or the current game position standing three or more
// times in the repetition list.
bool gameDrawCheck(const Board& pos);

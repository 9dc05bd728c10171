// Move generators. Each writes moves for the side to move from `out` on and
// returns the new end. The order of the output is part of the behaviour:
// the move picker sorts stably, so generation order breaks ties.
#pragma once

#include <cstdint>

#include "board/board.h"

// The longest pseudo-legal move list fits: the FEN reader accepts only
// material a game can reach, where no position is known with more than 218
// moves.
constexpr int MAX_MOVES = 256;

Move* generateCaptures(const Board& pos, Move* out);  // captures, en passant, all promotions
Move* generateQuiets(const Board& pos, Move* out);    // castling and quiet moves, no promotions
Move* generateAllMoves(const Board& pos, Move* out);
Move* generateEvasions(const Board& pos, Move* out);  // legal replies to check (all moves if not in check)
Move* generateChecks(const Board& pos, Move* out);    // quiet checking moves

// m is the castling move of the position's rules and castling is allowed
// now: the right kept, the squares empty, the king not in, through or into
// check.
bool castlingIsPossible(const Board& pos, Move m);
// The piece on sq stands between the side to move's king and an enemy slider.
bool isPinned(const Board& pos, int sq);
// Legal move sequences of length depth (1 for depth 0; 0 for a depth the
// history cannot hold).
uint32_t perft(Board& pos, int depth);
// m is one of the legal moves of the position.
bool isLegalMove(Move m, Board& pos);

// Move generators. Each writes moves for the side to move from `out` on and
// returns the new end. The order of the output is part of the behaviour:
// the move picker sorts stably, so generation order breaks ties.
#pragma once

#include <cstdint>

#include "board/position.h"

// Longest pseudo-legal move list of a legal position fits comfortably.
constexpr int MAX_MOVES = 256;

Move* generateCaptures(const Position& pos, Move* out);  // captures, en passant, all promotions
Move* generateQuiets(const Position& pos, Move* out);    // castling and quiet moves, no promotions
Move* generateAllMoves(const Position& pos, Move* out);
Move* generateEvasions(const Position& pos, Move* out);  // legal replies to check
Move* generateChecks(const Position& pos, Move* out);    // quiet checking moves

// The piece on sq stands between the side to move's king and an enemy slider.
bool isPinned(const Position& pos, int sq);
// Legal move sequences of length depth (>= 1).
uint32_t perft(Position& pos, int depth);
// m is one of the legal moves of the position.
bool isLegalMove(Move m, Position& pos);

// The staged move picker: hands out the moves of a search node one at a
// time, best guesses first, generating each group only when the earlier
// ones have not already refuted the position. Also the static exchange
// evaluation and the killer moves that drive the ordering.
#pragma once

#include <cstdint>

#include "search/position.h"

// Picker status values; the stages that deliver moves double as the
// "reported stage" that tells the search where the current move came from.
constexpr uint8_t PICK_START = 0;
constexpr uint8_t PICK_SORT = 1;
constexpr uint8_t PICK_HASH_MOVE = 3;
constexpr uint8_t PICK_DELIVER = 4;
constexpr uint8_t PICK_EVASIONS = 5;
constexpr uint8_t PICK_CAPTURES = 6;
constexpr uint8_t PICK_KILLER_1 = 7;
constexpr uint8_t PICK_KILLER_2 = 8;
constexpr uint8_t PICK_REMAINING = 9;
constexpr uint8_t PICK_EXHAUSTED = 12;

// Next move of the position's current ply, or 0 when there are no more.
// The search sets the ply's status to PICK_START, PICK_EVASIONS or
// PICK_HASH_MOVE when it enters the node.
// The order of captures by themselves: most valuable victim first, the
// cheapest attacker first among equal victims (a victim's value outweighs
// any difference of attackers). 0 for a move that takes nothing.
inline int captureOrderKey(Move m) {
    return isCapture(m) ? 128 * pieceValue[moveCaptured(m)] - pieceValue[movePiece(m)] : 0;
}

Move nextMove(Position& pos);

// Material `side` wins or loses (centipawns) by playing `move` and letting
// both sides recapture on its destination with their cheapest piece until
// one runs out of attackers. Works before or after the move is made.
int staticExchange(const Position& pos, Move move, int side);

// Remembers a quiet move that refuted the current ply.
void updateKillers(Position& pos, Move move);

// Whether `move` can be played in the position apart from the safety of the
// mover's own king (which makeMove tests). Used for killers, which come from
// other positions at the same ply.
bool validMoveTest(const Position& pos, Move move);

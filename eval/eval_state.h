// Process-wide evaluation state that depends on the position at the root of
// a search: pawn square tables for the current phase, the working copies of
// the weight tables, the attack-pattern flag and the context they were built
// for. prepareEvaluation rewrites all of it before a search; during a search
// every thread only reads it.
#pragma once

#include <cstdint>

#include "board/board.h"

struct EvalState {
    int8_t pawnSquare[2][64];     // [colour][square]
    int32_t kingSafety[2][64];    // by king weakness index, one copy per side
    int32_t kingAttackCurve[128]; // by attack units + 8
    uint8_t blockedPawns[9];      // by number of blocked pawns
    bool attackPattern;           // a known mating net against a castled king
    // Bumped whenever the context changes; private pawn-entry copies made
    // under an older generation are treated as misses.
    uint32_t generation;
};
extern EvalState gEval;

// Pawn square table value for a pawn of colour c on sq in the given phase.
int pawnSquareValue(int c, int sq, bool endgame);

// 0 opening (a castling right remains), 1 middlegame, 2 endgame (both sides
// below a queen, rook and minor of pieces).
inline int gamePhaseOf(const Board& pos) {
    if (pos.sides[WHITE].pieceMaterial < 15 && pos.sides[BLACK].pieceMaterial < 15) return 2;
    return pos.castling == 0 ? 1 : 0;
}

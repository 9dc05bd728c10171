// The generator's own board of a few men: each man's colour, type and
// square (engine squares, a8 = 0; -1 once captured) with the occupancy
// bitboards, and the attack, pin and check tests its moves and take-backs
// need. Plain arrays and no hash keys: the generator makes and takes back
// millions of moves a second on it, so everything here is inline.
#pragma once

#include <cstdint>

#include "board/attacks.h"
#include "board/board.h"
#include "egtb/index_scheme.h"

constexpr int NO_MAN = -1;

inline Bitboard squareBit(int sq) { return Bitboard(1) << sq; }

inline bool onLongDiagonal(int sq) { return fileOf(sq) == rowOf(sq) || fileOf(sq) + rowOf(sq) == 7; }

// Whether a bishop, rook or queen moves along the direction `step`.
inline bool slidesAlong(int type, int step) {
    const bool diagonal = step == 7 || step == -7 || step == 9 || step == -9;
    return !((type == ROOK && diagonal) || (type == BISHOP && !diagonal));
}

inline Bitboard sliderTargets(int type, int sq, Bitboard occ) {
    Bitboard attacks = 0;
    const int first = type == BISHOP ? 4 : 0, last = type == ROOK ? 4 : 8;
    for (int d = first; d < last; d++) {
        Bitboard ray = rayMask[d][sq];
        Bitboard blockers = ray & occ;
        if (blockers) ray ^= rayMask[d][directionSteps[d] > 0 ? lowestSquare(blockers) : highestSquare(blockers)];
        attacks |= ray;
    }
    return attacks;
}

// The squares a king, knight, bishop, rook or queen on `sq` attacks.
inline Bitboard manTargets(int type, int sq, Bitboard occ) {
    if (type == KNIGHT) return knightAttacks[sq];
    if (type == KING) return kingAttacks[sq];
    return sliderTargets(type, sq, occ);
}

// Squares strictly between two squares on a line, for the king-safety tests.
struct BetweenMasks {
    Bitboard mask[64][64];
    BetweenMasks() {
        for (int a = 0; a < 64; a++)
            for (int b = 0; b < 64; b++) mask[a][b] = direction[a][b] ? squaresBetween(direction[a][b], b, a) : 0;
    }
};
inline const BetweenMasks& betweenMasks() {
    static const BetweenMasks table;  // after initBoardTables
    return table;
}

struct TableBoard {
    int men = 0;
    int8_t colour[TB_MAX_MEN];
    int8_t type[TB_MAX_MEN];
    int sq[TB_MAX_MEN];
    int king[2];
    Bitboard occ = 0;
    Bitboard byColour[2] = {0, 0};

    void place() {
        occ = byColour[0] = byColour[1] = 0;
        for (int m = 0; m < men; m++)
            if (sq[m] >= 0) {
                occ |= squareBit(sq[m]);
                byColour[colour[m]] |= squareBit(sq[m]);
            }
    }
    bool attacks(int m, int target) const {
        const int from = sq[m];
        switch (type[m]) {
            case PAWN: return pawnCaptures[colour[m]][from] & squareBit(target);
            case KNIGHT: return knightAttacks[from] & squareBit(target);
            case KING: return kingAttacks[from] & squareBit(target);
            default: {
                int step = direction[from][target];
                if (!step || !slidesAlong(type[m], step)) return false;
                return !(betweenMasks().mask[from][target] & occ);
            }
        }
    }
    // Own men that stand alone between their king and an enemy slider: only
    // they (and the king) can expose the king by moving.
    Bitboard pinned(int side) const {
        const int k = sq[king[side]];
        Bitboard result = 0;
        for (int m = 0; m < men; m++) {
            if (colour[m] == side || sq[m] < 0 || type[m] < BISHOP || type[m] > QUEEN) continue;
            int step = direction[k][sq[m]];
            if (!step || !slidesAlong(type[m], step)) continue;
            Bitboard blockers = betweenMasks().mask[k][sq[m]] & occ;
            if (blockers && !(blockers & (blockers - 1)) && (blockers & byColour[side])) result |= blockers;
        }
        return result;
    }
    bool attacked(int target, int by) const {
        for (int m = 0; m < men; m++)
            if (colour[m] == by && sq[m] >= 0 && attacks(m, target)) return true;
        return false;
    }
    bool inCheck(int side) const { return attacked(sq[king[side]], side ^ 1); }
};

// After a double step to `to`, whether a pawn of `side` stands beside it.
inline bool enPassantPossible(const TableBoard& b, int to, int side) {
    for (int m = 0; m < b.men; m++)
        if (b.colour[m] == side && b.type[m] == PAWN && b.sq[m] >= 0 && rowOf(b.sq[m]) == rowOf(to) &&
            (b.sq[m] == to - 1 || b.sq[m] == to + 1))
            return true;
    return false;
}

// The board of a table's men on tablebase squares (digit order); false
// when two men share a square.
inline bool boardFromSquares(const TableLayout& layout, const int* sq, TableBoard& b) {
    b.men = layout.men;
    for (int m = 0; m < b.men; m++) {
        b.colour[m] = int8_t(layout.manColour[m]);
        b.type[m] = int8_t(layout.manType[m]);
        b.sq[m] = flipRanks(sq[m]);
    }
    b.king[0] = layout.kingMen[0];
    b.king[1] = layout.kingMen[1];
    b.place();
    return popCount(b.occ) == b.men;
}

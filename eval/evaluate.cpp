// Provisional evaluation: material, imbalance and tempo only. The full
// evaluation replaces this file.
#include "eval/evaluate.h"

#include <algorithm>

namespace {

// Row: (White major count - Black major count) + 4, column: the same for
// minor pieces, both clamped to 0..8. Positive favours White.
const int imbalance[9][9] = {
    {-126, -126, -126, -126, -126, -126, -126, -126, -42},
    {-126, -126, -126, -126, -126, -126, -126, -42, 42},
    {-126, -126, -126, -126, -126, -126, -42, 42, 84},
    {-126, -126, -126, -126, -104, -42, 42, 84, 126},
    {-126, -126, -126, -88, 0, 88, 126, 126, 126},
    {-126, -84, -42, 42, 104, 126, 126, 126, 126},
    {-84, -42, 42, 126, 126, 126, 126, 126, 126},
    {-42, 42, 126, 126, 126, 126, 126, 126, 126},
    {42, 126, 126, 126, 126, 126, 126, 126, 126},
};

}  // namespace

int materialBalance(const Position& pos) {
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    int row = std::clamp(int(w.majorCount) - int(b.majorCount) + 4, 0, 8);
    int col = std::clamp(int(w.minorCount) - int(b.minorCount) + 4, 0, 8);
    return w.materialScore - b.materialScore + imbalance[row][col] + (pos.sideToMove == WHITE ? 5 : -5);
}

int evaluate(Position& pos, int, int) {
    int score = materialBalance(pos);
    return pos.sideToMove == WHITE ? score : -score;
}

int prepareEvaluation(Position& pos) { return pos.sideToMove; }

int recogniseDraw(const Position&) { return 3; }

int evaluatePawnless(const Position&) { return 0; }

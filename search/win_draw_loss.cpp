#include "search/win_draw_loss.h"

#include <algorithm>
#include <cmath>

#include "board/attacks.h"
#include "search/score.h"

namespace {

// Upper phase of each group; the groups run 0-6, 7-12, 13-18 and 19-24.
constexpr int GROUP_HIGH[WDL_PHASE_GROUPS] = {6, 12, 18, 24};

// The fitted curves: a win is even money at a score of `a`, and `b` is how
// quickly the odds change beyond it (tools/wdl_fit.cpp; see the README for
// the data and the error).
struct Curve {
    double a, b;
};
constexpr Curve CURVES[WDL_PHASE_GROUPS] = {
    {122.2, 95.9},   // endgames: a pawn and a bit wins half the time
    {130.3, 132.1},
    {174.6, 238.4},
    {268.5, 366.7},  // the opening's scores say least of the result
};

}  // namespace

int materialPhase(const Board& pos) {
    int phase = 0;
    for (int side = 0; side < 2; side++) {
        const Bitboard* p = pos.sides[side].pieces;
        phase += popCount(p[KNIGHT]) + popCount(p[BISHOP]) + 2 * popCount(p[ROOK]) + 4 * popCount(p[QUEEN]);
    }
    return std::min(phase, 24);
}

int wdlPhaseGroup(int phase) {
    for (int g = 0; g < WDL_PHASE_GROUPS; g++)
        if (phase <= GROUP_HIGH[g]) return g;
    return WDL_PHASE_GROUPS - 1;
}

int wdlPhaseGroupLow(int group) { return group == 0 ? 0 : GROUP_HIGH[group - 1] + 1; }
int wdlPhaseGroupHigh(int group) { return GROUP_HIGH[group]; }

WinDrawLoss winDrawLoss(int score, int phase) {
    WinDrawLoss wdl;
    // A mate, or a win or loss the tables know: decided.
    if (score > MATE_THRESHOLD) return WinDrawLoss{1000, 0, 0};
    if (score < -MATE_THRESHOLD) return WinDrawLoss{0, 0, 1000};
    const Curve& c = CURVES[wdlPhaseGroup(phase)];
    auto chance = [&](double s) { return 1.0 / (1.0 + std::exp(-(s - c.a) / c.b)); };
    wdl.win = int(std::lround(1000 * chance(score)));
    wdl.loss = int(std::lround(1000 * chance(-score)));
    wdl.win = std::clamp(wdl.win, 0, 1000);
    wdl.loss = std::clamp(wdl.loss, 0, 1000 - wdl.win);
    wdl.draw = 1000 - wdl.win - wdl.loss;
    return wdl;
}

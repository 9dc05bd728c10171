#include "search/strength.h"

#include <algorithm>
#include <cmath>

#include "search/score.h"
#include "search/search_shared.h"

// The scale is Stockfish's own UCI_Elo, which its authors calibrate
// against the CCRL 40/4 list; each anchor below scored within 35-65 % in
// 40 games at 10 s + 0.1 s against Stockfish set to the same rating (the
// README has the table). Between the anchors the nodes grow geometrically
// and the random bonus shrinks linearly. Below the lower one they fall at
// the gentler rate of the first calibration, ten times the nodes for every
// 814 points: Stockfish goes no lower than 1350, so nothing here checks it.
struct StrengthAnchor {
    double elo, nodes, noise;
};
constexpr StrengthAnchor LOW_ANCHOR = {1500, 12000, 165};
// The top of the scale is the engine at its full strength: one line, no
// bonus, and more nodes than a move at 10 s + 0.1 s ever gets; at slower
// clocks the node budget keeps it at that strength.
constexpr StrengthAnchor HIGH_ANCHOR = {2000, 20000000, 0};
constexpr double ELO_PER_TENFOLD_NODES_BELOW = 814;
constexpr double NOISE_PER_ELO_BELOW = 0.1075;

uint32_t strengthNodes(int elo) {
    const double e = std::clamp(elo, STRENGTH_ELO_MIN, STRENGTH_ELO_MAX);
    const double perTenfold = e >= LOW_ANCHOR.elo ? (HIGH_ANCHOR.elo - LOW_ANCHOR.elo) /
                                                        std::log10(HIGH_ANCHOR.nodes / LOW_ANCHOR.nodes)
                                                  : ELO_PER_TENFOLD_NODES_BELOW;
    return uint32_t(std::lround(LOW_ANCHOR.nodes * std::pow(10.0, (e - LOW_ANCHOR.elo) / perTenfold)));
}

int strengthNoise(int elo) {
    const double e = std::clamp(elo, STRENGTH_ELO_MIN, STRENGTH_ELO_MAX);
    const double perElo = e >= LOW_ANCHOR.elo ? (LOW_ANCHOR.noise - HIGH_ANCHOR.noise) / (HIGH_ANCHOR.elo - LOW_ANCHOR.elo)
                                              : NOISE_PER_ELO_BELOW;
    return std::max(0, int(std::lround(LOW_ANCHOR.noise - (e - LOW_ANCHOR.elo) * perElo)));
}

int strengthLines(int elo) {
    return std::clamp(1 + strengthNoise(elo) / NOISE_PER_EXTRA_LINE, STRENGTH_MIN_LINES, STRENGTH_MAX_LINES);
}

Move chooseLimitedMove(Position& pos, int elo, uint32_t seed) {
    const int count = std::min(gSearch.multiPV, gSearch.rootMoveCount);
    const Move searched = pos.pv[0].moves[1];
    if (count < 2 || gSearch.lines[0].depth == 0) return searched;
    const int best = gSearch.lines[0].score;
    // A mate or a table result is played as found.
    if (best > MATE_THRESHOLD || best < -MATE_THRESHOLD) return searched;
    const int noise = strengthNoise(elo);
    // A won position stays won: a lesser line may cost a little, no more.
    const int floor = best >= STRENGTH_WON_SCORE ? std::max(STRENGTH_WON_SCORE, best - STRENGTH_WON_MAX_DROP)
                                                 : best - noise;

    uint32_t state = seed | 1;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    // Each line's score with a random bonus of up to `noise`: the weaker the
    // setting, the likelier a lesser line comes out on top.
    int chosen = -1, chosenValue = 0;
    for (int k = 0; k < count; k++) {
        const SearchShared::Line& line = gSearch.lines[k];
        if (line.depth == 0 || line.row.end < 2 || line.score < floor || line.score < -MATE_THRESHOLD) continue;
        const int value = line.score + (noise > 0 ? int(next() % uint32_t(noise + 1)) : 0);
        if (chosen < 0 || value > chosenValue) chosen = k, chosenValue = value;
    }
    if (chosen <= 0) return searched;
    pos.pv[0] = gSearch.lines[chosen].row;
    pos.pv[1] = gSearch.lines[chosen].row;
    return gSearch.lines[chosen].row.moves[1];
}

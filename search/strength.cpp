#include "search/strength.h"

#include <algorithm>
#include <cmath>

#include "search/score.h"
#include "search/search_shared.h"

// Calibrated against fairymax at 10 s + 0.1 s (see the README): 77,000
// nodes a move and a random bonus of up to a pawn play at about 2000.
constexpr double CALIBRATED_ELO = 2000;
constexpr double CALIBRATED_NODES = 77000;
constexpr double CALIBRATED_NOISE = 100;
// Ten times the nodes for every 814 points, and 0.1075 centipawns more of
// random bonus for every point below the calibrated one: a first guess of
// ten times the nodes for 350 points made 1750 play some 500 points below
// 2000, where it should play 250 below.
constexpr double ELO_PER_TENFOLD_NODES = 814;
constexpr double NOISE_PER_ELO = 0.1075;

uint32_t strengthNodes(int elo) {
    const int e = std::clamp(elo, STRENGTH_ELO_MIN, STRENGTH_ELO_MAX);
    return uint32_t(CALIBRATED_NODES * std::pow(10.0, (e - CALIBRATED_ELO) / ELO_PER_TENFOLD_NODES));
}

int strengthNoise(int elo) {
    const int e = std::clamp(elo, STRENGTH_ELO_MIN, STRENGTH_ELO_MAX);
    return std::max(0, int(std::lround(CALIBRATED_NOISE - (e - CALIBRATED_ELO) * NOISE_PER_ELO)));
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

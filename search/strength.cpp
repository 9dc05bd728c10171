#include "search/strength.h"

#include <algorithm>
#include <cmath>

#include "search/score.h"
#include "search/search_shared.h"

uint32_t strengthNodes(int elo) {
    // Ten times the nodes for every 350 points: at the bottom a few hundred
    // nodes (a ply or two and the captures), at the top a few million.
    const int e = std::clamp(elo, STRENGTH_ELO_MIN, STRENGTH_ELO_MAX);
    return uint32_t(400.0 * std::pow(10.0, (e - STRENGTH_ELO_MIN) / 350.0));
}

int strengthNoise(int elo) {
    const int e = std::clamp(elo, STRENGTH_ELO_MIN, STRENGTH_ELO_MAX);
    return (STRENGTH_ELO_MAX - e) / 4;
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

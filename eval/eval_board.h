// The record the evaluation works on: a search thread's board together
// with the evaluation's own scratch for that thread, so that every thread
// evaluates without touching another's state.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "eval/pawn_entry.h"

// How often the evaluation ran and how often its pawn cache answered, per
// thread, cleared at the start of every search.
struct EvalStatistics {
    uint32_t evals;       // evaluations past the first lazy exit
    uint32_t lazyEvals;   // of those, the ones that skipped the piece terms
    uint32_t pawnProbes;  // pawn structures asked for
    uint32_t pawnHits;    // found in the pawn cache or the pawn table
};

// A worker's counters, added to its parent's when its share of a split is done.
inline void addEvalStatistics(EvalStatistics& to, const EvalStatistics& from) {
    static_assert(sizeof(EvalStatistics) == 4 * sizeof(uint32_t), "every counter is added below");
    to.evals += from.evals;
    to.lazyEvals += from.lazyEvals;
    to.pawnProbes += from.pawnProbes;
    to.pawnHits += from.pawnHits;
}

struct EvalBoard : Board {
    uint8_t gamePhase;        // 0 opening, 1 middlegame, 2 endgame
    PawnEntry pawnEntry;      // one-entry cache in front of the pawn table
    uint8_t kingWeakness[2];  // by colour of the king
    uint8_t attackUnits[2];   // by colour of the attacker
    EvalStatistics evalStats;
};

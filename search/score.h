// Score conventions shared by the search, the transposition table, the
// tablebase probe, the output and game flow.
//
// Scores are centipawns from the point of view of the side to move at the
// node that returns them. A side checkmated at ply p scores p - MATE, so a
// nearer mate is larger in magnitude; anything beyond MATE_THRESHOLD is a
// mate (or a tablebase win or loss) at a known distance from the root.
#pragma once

constexpr int MATE = 10000;
constexpr int MATE_THRESHOLD = 9700;

// Scores from here up are announced as a mate in n moves.
constexpr int SHOWN_AS_MATE = 9900;

// A win the Syzygy tables know without its distance to mate, as seen from
// the probed position. Below every mate the search finds (10000 - 65 at the
// deepest ply) and the mates of our own tables up to 100 moves, above every
// evaluation; like a mate it counts the plies from the root, so that the
// search prefers the nearer conversion, and it stays beyond MATE_THRESHOLD
// at every ply so that the transposition table adjusts it like one.
constexpr int TABLEBASE_WIN = 9800;
static_assert(TABLEBASE_WIN - 64 > MATE_THRESHOLD && TABLEBASE_WIN < SHOWN_AS_MATE);

// "No score yet": no completed iteration, no ponder result, a book move.
// It equals the bottom of the widest window, -MATE, so a search that has
// produced nothing compares below everything it could produce.
constexpr int NO_SCORE = -MATE;
// A root move before the ordering search has looked at it: below every
// score a search can return.
constexpr int NOT_SCORED = NO_SCORE - 1;

// Mate scores in the transposition table (and from a tablebase probe) count
// the distance from the node that stores them; in the search they count
// from the root. The root is ply 1, so a node at ply p is p - 1 plies from
// it. Other scores are the same in both.
inline int scoreToTable(int score, int ply) {
    if (score > MATE_THRESHOLD) return score + ply - 1;
    if (score < -MATE_THRESHOLD) return score - ply + 1;
    return score;
}

inline int scoreFromTable(int score, int ply) {
    if (score > MATE_THRESHOLD) return score - ply + 1;
    if (score < -MATE_THRESHOLD) return score + ply - 1;
    return score;
}

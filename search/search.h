// The search below the root: principal-variation alpha-beta with null move,
// late-move reductions, a check extension and shallow futility pruning, and
// the quiescence search that settles captures and checks at the horizon.
// Scores follow search/score.h.
//
// Every margin of the search, the root's included, is named in the block
// below; the code that reads each one is named beside it.
#pragma once

#include "search/position.h"
#include "search/score.h"

// ---------------------------------------------------------------------------
// Search margins

// Futility (searchMove): a move that leaves the mover's material this far
// below alpha two or three plies from the horizon cannot catch up and is
// only looked at by the quiescence search; four plies out it loses a ply.
constexpr int FUTILITY_MARGIN_DEPTH_2 = 125;
constexpr int FUTILITY_MARGIN_DEPTH_3 = 300;
constexpr int FUTILITY_REDUCTION_DEPTH = 4;
constexpr int FUTILITY_MARGIN_DEPTH_4 = 300;

// Null move (nullMoveReduction, nullMoveAllowed): a pass searched 3 plies
// shallower, 4 when deep (depth above 6) with more than 8 units of pieces.
// No null move without pieces, nor deep (depth 7 and more) with fewer than
// 10 units, where zugzwang becomes likely.
constexpr int NULL_MOVE_REDUCTION = 3;
constexpr int NULL_MOVE_DEEP_REDUCTION = 4;
constexpr int NULL_MOVE_DEEP_DEPTH = 6;      // deeper than this ...
constexpr int NULL_MOVE_DEEP_MATERIAL = 8;   // ... with more than this many units
constexpr int NULL_MOVE_SAFE_MATERIAL = 9;   // above this, a null move at any depth
constexpr int NULL_MOVE_SHALLOW_DEPTH = 7;   // below this, with any pieces at all

// Late-move reductions (extendOrReduce): never within two plies of the
// horizon; one ply, or two when the parent was itself late in its list.
constexpr int REDUCTION_MIN_DEPTH = 3;
constexpr uint32_t REDUCTION_EARLY_PARENT = 2;  // parent's moves searched up to this: one ply

// Aspiration windows (iterate): 35 either side of the last completed
// score, widened by 100, then 200, then to the whole range on each failure.
// From 9000 up (a mate in sight) the window of the last iteration is kept.
constexpr int ASPIRATION_WINDOW = 35;
constexpr int WIDENING_FIRST = 100;
constexpr int WIDENING_SECOND = 200;
constexpr int ASPIRATION_CUTOFF = 9000;

// Root ordering (scoreRootMoves): the quiescence score of each move, with a
// bonus for checks, a malus for under-promotions and the previous best move
// first by far.
constexpr int ROOT_CHECK_BONUS = 90;
constexpr int ROOT_UNDERPROMOTION_MALUS = 10;
constexpr int ROOT_PREVIOUS_BEST_BONUS = 999;

// Easy move (chooseEasyMove): the best root move is easy when it is more
// than 200 ahead of the second and recaptures, or keeps a quiet position
// (below 100) quiet. A fail-low deeper than 5 plies takes it back.
constexpr int EASY_MOVE_LEAD = 200;
constexpr int EASY_MOVE_QUIET_SCORE = 100;
constexpr int EASY_MOVE_FAIL_LOW_DEPTH = 5;

// End of the deepening (iterate): a mate found within the iteration depth
// (the score of the root search before the last at least 9999 - 2d), or a
// lost position (-9700 or below) searched deeper than 8 plies.
inline bool mateFound(int score, int depth) { return score >= MATE - 1 - 2 * depth; }
constexpr int HOPELESS_DEPTH = 8;

// Splitting (for the parallel search): a node or root move is shared out
// only after this many nodes of its own subtree, and the root only while
// its lower bound is within 33 of the last completed score. 4000 rather
// than 8000: on a quiet two-core machine the helper waited less for work
// (idle 4-6 % against 6-10 %) and the median time-to-depth speed-up at two
// threads rose from 1.72-1.81 to 1.92-2.15 at depths 13 and 14, while 2000
// began to cost more in extra nodes than it saved in waiting
// (bench/parallel_speed N/50/200/M compares them in one run).
constexpr uint32_t SPLIT_MIN_NODES = 4000;
constexpr int ROOT_SPLIT_SCORE_MARGIN = 33;

// ---------------------------------------------------------------------------

int search(Position& pos, int depth, int alpha, int beta, bool nullForbidden);
// The first quiescence ply: captures, then quiet checking moves.
int quiesceChecks(Position& pos, int alpha, int beta);
// Deeper quiescence plies: captures only.
int quiesce(Position& pos, int alpha, int beta);
// A quiescence node whose side to move is in check: every evasion.
int quiesceEvasions(Position& pos, int alpha, int beta);

// One move of a node at ply pos.historyCount, with the node's depth and
// window.
struct MoveSearch {
    int depth;
    int alpha;
    int beta;
    bool knownLegal = false;  // make it without the legality test (root moves)
    bool keepDepth = false;   // never reduced (root moves so flagged)
};

// Searches move m of a node: makes it, extends or reduces it, prunes it
// when futile, searches it (with the node's whole window when it is the
// first move searched at the node, with a null window after that), searches
// a reduced move that beats alpha again at full depth and a move that falls
// inside the window again with the whole window, and takes it back. Returns
// false, with nothing searched, when m leaves the mover's king in check;
// otherwise `score` is m's score for the node's side to move. The caller
// tests searchStopped before trusting it. Serves the inner nodes, the root
// and, in a parallel search, each worker at a split node.
bool searchMove(Position& pos, Move m, const MoveSearch& node, int& score);

// 0 no draw, 1 repetition on the search path or with the game, 2 the
// fifty-move rule. Records the position's key for the plies below.
int repetitionCheck(Position& pos);

// Depth change for the move just made at `ply`: +1 for a safe check, -1 or
// -2 for a late quiet move, else 0. Also sets the child's in-check flag.
int extendOrReduce(Position& pos, int ply, int depth);

// PV rows: the line found below ply p lives in pv[p].moves[p .. end - 1].
// The variation ends at `ply` (draw, table hit, no moves): the parent's row
// holds just the move that led here.
void endVariation(Position& pos, int ply);
// The line below `ply` becomes the parent's line, behind the parent's move.
void backUpVariation(Position& pos, int ply);

// Null move: the reduction, and whether the node may try one at all (a null
// window, not in check, and some pieces left: with few pieces deep searches
// risk zugzwang).
inline int nullMoveReduction(int depth, int pieceMaterial) {
    return (depth > NULL_MOVE_DEEP_DEPTH && pieceMaterial > NULL_MOVE_DEEP_MATERIAL) ? NULL_MOVE_DEEP_REDUCTION
                                                                                      : NULL_MOVE_REDUCTION;
}
bool nullMoveAllowed(const Position& pos, int depth, int alpha, int beta, bool nullForbidden);

// The periodic input and clock check made every `check interval` nodes on
// thread 0. Returns true when the search has been stopped.
bool pollInputAndClock(Position& pos);

// The search below the root: principal-variation alpha-beta with null move,
// late-move reductions, a check extension and shallow futility pruning, and
// the quiescence search that settles captures and checks at the horizon.
//
// Scores are centipawns for the side to move at the node that returns them.
// A side checkmated at ply p scores p - MATE, so nearer mates are larger in
// magnitude; anything beyond MATE_THRESHOLD is a mate (or tablebase) score.
#pragma once

#include "board/position.h"

constexpr int MATE = 10000;
constexpr int MATE_THRESHOLD = 9700;

int search(Position& pos, int depth, int alpha, int beta, bool nullForbidden);
// The first quiescence ply: captures, then quiet checking moves.
int quiesceChecks(Position& pos, int alpha, int beta);
// Deeper quiescence plies: captures only.
int quiesce(Position& pos, int alpha, int beta);
// A quiescence node whose side to move is in check: every evasion.
int quiesceEvasions(Position& pos, int alpha, int beta);

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
inline int nullMoveReduction(int depth, int pieceMaterial) { return (depth > 6 && pieceMaterial > 8) ? 4 : 3; }
bool nullMoveAllowed(const Position& pos, int depth, int alpha, int beta, bool nullForbidden);

// The periodic input and clock check made every `check interval` nodes on
// thread 0. Returns true when the search has been stopped.
bool pollInputAndClock(Position& pos);

// The search must unwind: time is up, input arrived, or (in a parallel
// search) this thread's work is no longer needed.
bool searchStopped(const Position& pos);

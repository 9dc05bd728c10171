// The search's use of the endgame tables, ours and Syzygy's: the probe at a
// node of the tree and the choice of root moves.
//
// Which tables answer. Our tables give the exact distance to mate but know
// nothing of the fifty-move rule; Syzygy's WDL tables know the rule (a win
// that needs more than fifty moves without a capture or pawn move is a draw)
// but not the distance, and they are exact only where the fifty-move count is
// 0 (at any count when the user plays without the rule). So where Syzygy's
// verdict is exact it decides win, draw or loss, and our tables, when they
// hold the position, give the distance of a win or loss; elsewhere our
// tables answer alone. At the root Syzygy's DTZ tables keep only the
// moves that hold the best result under the rule, and the search chooses
// among them.
#pragma once

#include "search/position.h"

// The node's tablebase probe (counted in the statistics): true with the
// score, from the side to move's view and counted from the root, when a table
// answers. Probed only up to the current iteration depth and without
// castling rights; our tables after a capture or promotion or near the root,
// Syzygy's right after a capture or pawn move (anywhere when the fifty-move
// rule is off), and Syzygy's only with `depth` plies or more left to search
// (the request's Syzygy probe depth).
bool probeTablebasesAtNode(Position& pos, int ply, int depth, int& score);

// The score of a Syzygy WDL value seen from the probed position (to be
// counted from the root like a mate): cursed wins and blessed losses are
// draws under the fifty-move rule, wins and losses otherwise.
int syzygyScore(int wdl, bool fiftyMoveRule);

// Removes from the root move list (built and ordered, thread 0 before any
// split) every move that the Syzygy tables show to be worse than the best:
// a win is kept, a draw held, a loss resisted as long as possible. See the
// definition for the choice among wins. Counts a probe per root move and a
// hit per move the tables judged.
void restrictRootMovesBySyzygy(Position& pos);

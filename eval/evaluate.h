// The static evaluation: a score in centipawns for the side to move, built
// from White-relative terms.
#pragma once

#include "eval/eval_board.h"

// Score for the side to move; lower/upper are the caller's window, used for
// the lazy exits (the console passes -10000, 10000).
int evaluate(EvalBoard& pos, int lower, int upper);
// Rebuilds the phase-dependent tables before a search; returns the side to move.
int prepareEvaluation(EvalBoard& pos);
// Bit 0: White can still win, bit 1: Black can. 0 = dead draw.
int recogniseDraw(const Board& pos);
// White-relative material with imbalance and tempo.
int materialBalance(const Board& pos);
// White-relative score of a position without pawns.
int evaluatePawnless(const Board& pos);

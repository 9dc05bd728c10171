// Pawn structure: the terms that depend on the pawns alone, cached in the
// pawn hash table, and the passed-pawn and pawn-race terms that also look at
// the pieces and kings. All scores are White-relative centipawns.
#pragma once

#include "eval/eval_board.h"

// Probes the shared pawn table for pos.pawnKey; on a miss evaluates the
// structure and stores it. Either way pos.pawnEntry ends up describing the
// structure. Returns its score.
int evaluatePawnStructure(EvalBoard& pos);
// Blockaded, supported and connected passed pawns; reads pos.pawnEntry.
int evaluatePassedPawns(const EvalBoard& pos);
// Pawn endings and pawns against a bare king: pawns that cannot be caught.
int evaluatePawnRace(const EvalBoard& pos);


// Pawn structure: the terms that depend on the pawns alone, cached in the
// pawn hash table, and the passed-pawn and pawn-race terms that also look at
// the pieces and kings. All scores are White-relative centipawns.
#pragma once

#include "board/position.h"

// Probes the shared pawn table for pos.pawnKey; on a miss evaluates the
// structure and stores it. Either way pos.pawnEntry ends up describing the
// structure. Returns its score.
int evaluatePawnStructure(Position& pos);
// Blockaded, supported and connected passed pawns; reads pos.pawnEntry.
int evaluatePassedPawns(const Position& pos);
// Pawn endings and pawns against a bare king: pawns that cannot be caught.
int evaluatePawnRace(const Position& pos);


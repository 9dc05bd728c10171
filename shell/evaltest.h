// The console's evaluation commands: "eval" scores the game position,
// "evaltest" checks that every position of an EPD file and its
// colour-reversed mirror get the same score.
#pragma once

#include "search/position.h"

void commandEval(Position& pos);
// wordCount as the command interpreter counts words (0 for a bare word).
void commandEvaltest(Position& pos, int wordCount, const char* fileName);

// The evaluation as the console shows it: root rights refreshed, prepared,
// widest window, computed afresh rather than taken from the pawn table.
int consoleEvaluation(Position& pos);

// "epdtest": runs a test suite, searching each EPD position for a fixed time
// and checking the move found against the position's best moves.
#pragma once

#include "board/position.h"

// wordCount and words as the command interpreter splits the line: word 1 is
// the file, word 2 the seconds per position.
void runEpdtest(Position& pos, int wordCount, const char* fileName, const char* secondsWord);

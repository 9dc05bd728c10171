// "epdtest": runs a test suite, searching each EPD position for a fixed time
// and checking the move found against the position's best moves.
#pragma once

#include "search/position.h"
#include "shell/commands.h"

// "epdtest <file> <seconds>" on the game position.
void commandEpdtest(Position& pos, const CommandArgs& args);

// The commands that change a setting rather than the game: the clocks and
// the time control ("level", "st", "time", "otim", "depth", "clocks"), the
// tables ("egtpath"), the search threads ("cores") and the chess server
// ("ics"). Each changes the setting for the rest of the process; the clocks
// reach a running search at its next look at them.
#pragma once

#include <cstdint>

#include "shell/commands.h"

void showClocks();
// A command given values it cannot take: xboard's "Error (bad arguments):
// <the command>", or the console's "Usage: <usage>".
void reportBadArguments(const CommandArgs& args, const char* usage);
void commandLevel(const CommandArgs& args);
// "st": every search gets this fixed time, the running one included.
void commandSt(const CommandArgs& args);
// "time" and "otim": a clock in centiseconds; false when it cannot be read.
bool setClock(uint32_t& clock, const CommandArgs& args);
void commandDepth(const CommandArgs& args);
// "multipv n": the searches from the next one on find the n best root moves.
void commandMultiPV(const CommandArgs& args);
void commandEgtpath(const CommandArgs& args);
void commandCores(const CommandArgs& args);
void commandIcs(const CommandArgs& args);

// Searches from now on with `threads` threads ("cores" and the UCI option
// Threads): the thread records and the tablebases' decode areas follow.
void useSearchThreads(unsigned threads);

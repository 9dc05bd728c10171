// The input channel: bytes from standard input are gathered in the pending
// buffer and handed out one complete line at a time, both when the engine
// waits for a command and, without blocking, while it searches.
#pragma once

#include <cstddef>
#include <cstdint>

struct Position;

// Lines may be this long from now on, their newline included (LINE_SIZE
// at start-up, up to UCI_LINE_SIZE); `out` buffers must hold that many.
void setLineCapacity(size_t bytes);
// Forgets what was read but not yet taken as lines, for a session that
// starts afresh on a new input.
void clearPendingInput();
// Appends what standard input has to the pending buffer: 1, or 0 at the end
// of input. A read error ends the process.
int readInput();
// With wait set, blocks until a complete line is available and copies it to
// out (1), or returns -1 at the end of input with out empty.
int readLine(bool wait, char* out);
// Non-zero when input is waiting; never blocks.
int inputAvailable();
// Takes a line that has arrived during a search and runs it, when it may
// run at once. May set the abort flag.
void checkInputDuringSearch(Position& pos);
// The search's input hook (installed at start-up), called on thread 0 when
// the node countdown runs out: looks for input and takes it.
void pollInputDuringSearch(Position& pos);

// What the search shows while it thinks: the principal-variation line, the
// console's root progress line, and the one-line "stat01" report.
#pragma once

#include "search/position.h"
#include "search/search_shared.h"

// How the search's lines are written. The shell fills it before each search
// from its protocol and mode flags.
struct OutputSettings {
    bool xboard = false;            // the xboard form: no progress lines, plain numbers
    bool uci = false;               // the UCI form: "info" lines, coordinate moves
    bool epdtest = false;           // a test suite runs: no statistics block
    bool computerOpponent = false;  // server lines go to a computer ("kibitz", not "whisper")
};
extern OutputSettings gOutput;

// A person reads the output: headers, progress lines, the statistics block.
inline bool consoleForm() { return !gOutput.xboard && !gOutput.uci; }

// A remark of the engine's (the search's, the book's) that is no part of
// the thinking lines (printf format, no line end): an "info string" for a
// UCI interface, a line of its own for the others.
void printNote(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints `row` (moves from slot 1 on) with its score, or with `mark` (a
// fail-high/low marker) in place of the score when mark is not empty.
// The row is lengthened from exact table entries; such moves are marked.
void printPV(Position& pos, PVRow& row, int score, const char* mark);
// The same with the node count to show (a worker at a split of the root
// shows the root's count and its own).
void printPV(Position& pos, PVRow& row, int score, const char* mark, uint32_t nodes);
// The console line for the root move being searched (overwritten in place);
// for a UCI interface its "currmove" line, at most a few times a second.
void printRootProgress(Position& pos, int index, const RootMove& record);
// The "stat01" line answering "." during a search (the caller knows that
// one runs).
void printSearchProgress(Position& pos);

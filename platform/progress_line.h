// A progress line for long work (generating and checking endgame tables):
// what is being done, the share of the whole that is done, and the time
// left, estimated from the time taken so far. On a terminal one line is
// rewritten in place a few times a second; in a log (make, CI) a plain line
// is written every few seconds. Work that ends within the first interval
// shows nothing.
#pragma once

#include <cstdio>
#include <string>

struct ProgressLine {
    FILE* out = nullptr;
    bool rewrite = false;  // a terminal: one line rewritten in place
    double start = 0;      // monotonic seconds when the work began
    double shown = 0;      // when the line was last shown
    size_t width = 0;      // characters of the rewritten line now on the terminal
};

// Starts the clock of the work; the line goes to `out`.
void startProgressLine(ProgressLine& line, FILE* out);
// Whether the line is due to be shown again (callers build its text only then).
bool progressDue(const ProgressLine& line);
// Shows `what`, then the share `done` (0 to 1) of the whole and the time left.
void showProgress(ProgressLine& line, const std::string& what, double done);
// Clears a rewritten line, so that what is printed next stands on its own.
void clearProgressLine(ProgressLine& line);

// A duration for people, at least a second: "8 s", "3 min 12 s", "1 h 05 min".
std::string durationText(double seconds);

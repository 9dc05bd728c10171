// What the search tells the world while it thinks, and the one channel it
// goes through. The search decides what there is to tell and fills plain
// records with it (the principal variation with its moves already written
// out, the root move being searched, the statistics of a finished search, a
// remark); the reporter of the protocol in use decides how to say it: the
// console's columns, xboard's thinking lines, UCI's "info" lines. The shell
// installs the reporter of its protocol; without one the search is silent.
#pragma once

#include <cstdint>

#include "search/position.h"
#include "search/stack_types.h"

// One move of a reported line, written out on the board it is played on.
struct ReportedMove {
    Move move = 0;
    char san[12] = {};        // SAN without a check sign
    char coordinate[8] = {};  // pure coordinate ("e2e4", "e7e8q")
    bool check = false;       // the move gives check
    bool fromTable = false;   // found in the transposition table beyond the searched line
};

struct VariationReport {
    int depth = 0;            // iteration depth
    // Which of several principal variations (from 1, the best first); 0 in
    // a search for one line.
    int multiPV = 0;
    int score = 0;            // for the side to move at the root (the opponent's in a puzzle search)
    int materialPhase = 0;    // of the root position (search/win_draw_loss.h), for the odds of the score
    // An aspiration failure ("+1" .. "+3" high, "-1" .. "-3" low): the score
    // is only a bound. Empty for an exact score.
    const char* mark = "";
    uint32_t elapsed = 0;     // milliseconds since the search began
    uint32_t nodes = 0;
    uint32_t selDepth = 0;    // deepest ply reached, the root being ply 1
    int hashfull = 0;         // transposition table use, per mille
    uint32_t tablebaseHits = 0;  // positions the tables answered in this search
    // The reply a ponder search assumes ("(e5)" in front of the root move);
    // empty when the search is the engine's own.
    const char* expectedReply = "";
    // The line. An empty line (a fail-high before its first move is known)
    // stands for the first root move, which `rootMove` holds, and is marked
    // "!!" on the console after a third fail-high.
    int length = 0;
    ReportedMove moves[MAX_PLY + 1];
    bool hasRootMove = false;
    ReportedMove rootMove;
    bool thirdFailHigh = false;
    // The line held a move that cannot be played where it stands: it stops
    // before move number `illegalIndex` (from 1), whose code is `illegalMove`.
    int illegalIndex = 0;
    Move illegalMove = 0;
};

// The root move about to be searched.
struct RootMoveReport {
    int depth = 0;
    uint32_t elapsed = 0;
    uint32_t nodes = 0;        // thread 0's
    bool allNodesKnown = true; // false with several threads: the others' nodes are not in
    int index = 0;             // from 1
    int count = 0;             // root moves in all
    const char* expectedReply = "";
    ReportedMove move;
};

// A finished search's counters.
struct StatisticsReport {
    SearchStatistics stats;
    EvalStatistics evalStats;
    int depth = 0;
    uint32_t elapsed = 0;  // milliseconds
    uint32_t knps = 0;     // thousands of nodes per second (0: too short to say)
    uint32_t splits = 0;   // of the parallel search
    uint32_t aborts = 0;
};

// A protocol's way of saying each of these. Any entry may be null: that
// protocol says nothing of it.
struct Reporter {
    // Whether a line of `nodes` nodes with `score` is worth showing at all;
    // the line is written out (and lengthened from the table) only if so.
    // Null: variationOfNote decides.
    bool (*showsVariation)(uint32_t nodes, int score) = nullptr;
    // The start of a search's deepening (the console's column headings).
    void (*searchStarted)() = nullptr;
    void (*variation)(const VariationReport& line) = nullptr;
    void (*rootMove)(const RootMoveReport& root) = nullptr;
    void (*statistics)(const StatisticsReport& report) = nullptr;
    // A remark of the search's or the book's that is no part of the
    // thinking lines (no line end).
    void (*note)(const char* text) = nullptr;
};

// A short search shows its line only when it has found a mate: the measure
// of a line worth showing for a person reading along (and for the search,
// which keeps what it shows: see reportVariation).
constexpr uint32_t VARIATION_MIN_NODES = 200000;
bool variationOfNote(uint32_t nodes, int score);

// The reporter in use. Until the shell installs its own, lines are judged
// by variationOfNote and shown nowhere, and nothing else is said.
void setReporter(const Reporter& reporter);
const Reporter& currentReporter();

// The search's side of reporting, called where the search has something to
// tell.
//
// Shows `row` (moves from slot 1 on, walked on `pos`, which stands at the
// root) with its score, or with `mark` in place of the score when mark is
// not empty. Where the reporter shows it, the row is first lengthened from
// exact table entries, and keeps those moves. `nodes` is the count to show
// (a worker at a split of the root shows the root's and its own).
void reportVariation(Position& pos, PVRow& row, int score, const char* mark, uint32_t nodes);
void reportVariation(Position& pos, PVRow& row, int score, const char* mark);
// The root move with index `index` (from 1) is handed out.
void reportRootMove(Position& pos, int index, Move move, const char* san);
// The counters of the search that just ended on `pos`, `now`.
void reportStatistics(const Position& pos, uint32_t now, uint32_t knps);
// A remark (printf format, no line end).
void reportNote(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The deepening begins.
void reportSearchStarted();

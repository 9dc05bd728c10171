// The shell's one door into the search. Whoever wants a search (game flow,
// pondering, the analysis of a set-up position, the test suite, the
// benchmark, a UCI "go") fills one SearchRequest, prepares the search with
// it and runs it; what the search finds comes back as a SearchResult, and
// what it shows while it thinks goes through the reporter (search/reporter.h).
// Settings that outlive a search (threads, pondering switched off, the input
// hook) and the few things a command may do to a running search (stop it,
// tell it the opponent played the expected move, give it new clocks) are
// small functions below; nothing outside search/ writes the search's own
// records.
#pragma once

#include <cstdint>

#include "search/position.h"
#include "search/score.h"
#include "search/time_control.h"

// Root moves a request may name (UCI "searchmoves"); no position has more
// legal moves.
constexpr int MAX_REQUESTED_MOVES = 256;
// Most principal variations a request may ask for (UCI MultiPV's maximum).
constexpr int MAX_MULTI_PV = 500;

struct SearchRequest {
    // --- what the search is for ---
    // Runs until told to stop: no clock ends it (analysis mode, UCI "go
    // infinite", or a depth or node limit alone).
    bool analysis = false;
    // On the opponent's time: no time limit applies until the opponent
    // plays the expected move (ponderHit), or until input stops it.
    bool ponder = false;
    // Thinking on the opponent's time the engine's own way: the full
    // window at every iteration, the last complete result kept as the
    // ponder result (SearchResult::ponder*), no lines of its own beyond
    // each new best root move.
    bool opponentsTime = false;
    // Solving the opponent's move before pondering: a search for the
    // opponent with a time of its own (a share of the opponent's clock);
    // its lines show the opponent's scores.
    bool puzzle = false;
    // The reply a ponder search assumes, as the lines show it in front of
    // the root moves ("(e5) Nf3"); empty otherwise.
    char expectedReply[13] = {};

    // --- limits ---
    uint32_t startTime = 0;  // wall clock when the engine's turn began
    TimeControl clocks;      // the game's clocks and control now
    int depthLimit = -1;     // iterations stop before this depth ("depth n" is n + 1); <= 0: none
    uint32_t nodeLimit = 0;  // thread 0's nodes; 0: none
    // UCI "go mate N": the search ends once an iteration has proved a mate
    // in N moves or fewer (0: none).
    int mateLimit = 0;
    // Milliseconds the interface and the operating system take per move
    // (passing the move on, starting the clock late): kept back from the
    // planned time and from the clock's last moment.
    uint32_t moveOverhead = 0;

    // --- the root ---
    // Principal variations to find: the best `multiPV` root moves, each
    // with its own score, depth and line (an analyst's several lines). One
    // is the ordinary search; more than the legal moves means all of them.
    int multiPV = 1;
    // A strength limit (UCI_Elo) when above 0: fewer nodes, several lines,
    // and a good one of them played rather than always the best
    // (search/strength.h).
    int limitElo = 0;
    // The root moves to consider (UCI "searchmoves"); none: every legal move.
    int searchMoveCount = 0;
    Move searchMoves[MAX_REQUESTED_MOVES] = {};

    // --- tablebases ---
    // Largest table in men the search may probe (0: none), for our tables
    // and for Syzygy's, and whether Syzygy's wins beyond the fifty-move
    // rule count as draws.
    int tablebaseMen = 0;
    int syzygyMen = 0;
    bool syzygy50MoveRule = true;
    // Syzygy probes only at nodes with at least this many plies left.
    int syzygyProbeDepth = 1;

    // A position unrelated to the last search (a test position): nothing of
    // earlier searches (score, line, best move) carries over to it.
    bool newPosition = false;
};

// What a search found.
struct SearchResult {
    Move best = 0;     // the move to play (pv[0].moves[1]); 0 when none was found
    int score = 0;     // the last complete root search before the final one
    int depth = 0;     // the iteration it reached
    // Legal root moves of the position (0: checkmate or stalemate, or the
    // list was never built), and the one that looked best when it was
    // ordered (for a search stopped before its first move was searched).
    int rootMoveCount = 0;
    Move firstRootMove = 0;
    // A search on the opponent's time: its last complete root search.
    int ponderScore = NO_SCORE;  // NO_SCORE: none completed
    Move ponderBest = 0;
    bool ponderFailedLow = false;  // its last iteration ended below its window
};

// Readies `pos` and the shared state for the search the request describes:
// the record's search stack and counters, the limits and the clock, the
// root restrictions, the tablebase limits, and the evaluation's tables for
// the root (a search on the opponent's time prepares those itself). Called
// at the start of the engine's turn even when the book will answer.
void prepareSearch(Position& pos, const SearchRequest& request);
// Runs the prepared search on `pos` (thread 0's record, or the ponder
// record) with every search thread, until its limits or input end it.
SearchResult runSearch(Position& pos);
// Both in one.
SearchResult search(Position& pos, const SearchRequest& request);

// What a command may read of the running or last search.
struct SearchStatus {
    int depth;               // the iteration depth
    int lowerBound;          // what the root is known to be worth in this iteration
    int lastCompletedScore;  // of the last complete iteration (NO_SCORE: none)
    int rootMoveCount;
    uint32_t startTime;      // when the engine's turn began
    uint32_t moveTime;       // the time planned for it
    bool pondering;          // on the opponent's time, no ponder hit yet
    bool stopped;            // told to stop, or out of time
};
SearchStatus searchStatus();

// "." during a search: the figures of the "stat01" line.
struct SearchProgress {
    uint32_t elapsed;       // milliseconds
    uint32_t nodes;         // thread 0's
    int depth;
    int rootMoveCount;
    int rootMovesSearched;  // handed out in this iteration, the current one included
    uint32_t movesAtPly;    // moves the node now searched has delivered
    Move currentRootMove;   // the root move being searched
};
SearchProgress searchProgress(const Position& pos);

// --- commands to a running search ---
// Stops the running search: time is up, or a command wants the engine idle.
void stopSearch();

// --- settings that outlive a search ---
// "easy"/"hard" and the UCI Ponder option: with pondering off, idle search
// threads end between searches rather than spin.
void setPonderingDisabled(bool disabled);
bool ponderingDisabled();
// Search threads, the main thread included.
unsigned searchThreadCount();
// Called by thread 0 every `check interval` nodes to look for input.
using InputHook = void (*)(Position& pos);
void setInputHook(InputHook hook);
// Input has just been looked at: the next look comes a whole check interval
// later.
void restartInputCountdown();
// Thread 0 looks at the input and the clock every `nodes` nodes from now on
// (until the next engine move measures the speed again).
void setCheckInterval(int32_t nodes);
// The last search's score no longer applies (a new game).
void forgetLastScore();
// The line of the last search no longer belongs to the position (a new
// position, a wrong guess of the opponent's move): its moves must not be
// played or pondered on.
void forgetPrincipalVariation(Position& pos);
// The move just played is no longer the one to play; the rest of its line
// (the reply to ponder on) stays.
void forgetBestMove(Position& pos);
// The reply the engine is to ponder on next ("ponder <move>"): the second
// move of the line, after the engine's own.
void expectReply(Position& pos, Move reply);

// Time control: how long the engine thinks about a move, when a running
// search stops, what the clock is charged, and how often thread 0 looks at
// the clock and the input.
//
// Two records. The game's clocks and control belong to the game: the shell
// keeps them, writes them at any time ("time", "otim", "level", "st") and
// hands a copy to every search in its request. The limits belong to one
// search: prepareSearch fills them once, before it, from the request; a
// clock command that arrives in the middle of a search reaches them through
// updateSearchClocks, since the time check reads the clocks and the control
// afresh at every look.
#pragma once

#include <cstdint>

struct Position;

constexpr uint32_t CLOCK_NOT_SET = 0xFFFFFFFFu;

// ---------------------------------------------------------------------------
// Margins, in milliseconds unless said otherwise.

// A clock nobody has set counts as five minutes, what "go" gives.
constexpr uint32_t DEFAULT_CLOCK_MS = 300000;

// Sudden death: a share of the clock, plus half the increment. Strictly
// between ten seconds and a minute the share is 1/50, strictly between three
// and ten seconds 1/70, otherwise 1/30; under three seconds the engine moves
// at once.
constexpr uint32_t SHORT_CLOCK_MS = 3000;
constexpr uint32_t MIDDLE_CLOCK_MS = 10000;
constexpr uint32_t LONG_CLOCK_MS = 60000;
constexpr uint32_t MIDDLE_CLOCK_SHARE = 50;
constexpr uint32_t SHORT_CLOCK_SHARE = 70;
constexpr uint32_t DEFAULT_SHARE = 30;
constexpr uint32_t PANIC_MOVE_TIME = 15;
// Moves per control: the clock over the moves left. The last move before
// the control may use all but a second; never plan less than half a second.
constexpr uint32_t CONTROL_RESERVE_MS = 1000;
constexpr uint32_t MINIMUM_PLAN_MS = 1000;
constexpr uint32_t MINIMUM_MOVE_TIME = 500;

// Below ten seconds on the engine's clock there is no time to think past
// the plan (and none to ponder, or to resign while the opponent has it).
constexpr uint32_t SHORT_OF_TIME_MS = 10000;

// An easy move is played once this share (per cent) of the plan has gone.
constexpr uint32_t EASY_MOVE_SHARE = 36;

// Past the plan, a score that drops keeps the search going to find out how
// far. A big drop is more than 35 below the last completed iteration, when
// the score is modest (350 or less) or the drop exceeds 50.
constexpr int BIG_DROP = 35;
constexpr int MODEST_SCORE = 350;
constexpr int CLEAR_DROP = 50;
// ... which buys up to 2.5 times the plan, while 5 s remain on the clock.
constexpr uint32_t BIG_DROP_TIMES_TWO = 5;  // 2.5 x the plan, in halves
constexpr uint32_t BIG_DROP_RESERVE_MS = 5000;
// A drop of more than 67 from a score of 550 or less (a game turning bad)
// buys up to seven times the plan, or more while ahead on the clock.
constexpr int SEVERE_DROP = 67;
constexpr int SEVERE_SCORE = 550;
constexpr uint32_t SEVERE_DROP_TIMES = 7;
// A small drop goes on while a second ahead of the opponent's clock, else
// up to twice the plan.
constexpr int32_t CLOCK_LEAD_MS = 1000;
constexpr uint32_t SMALL_DROP_TIMES = 2;

// Solving the opponent's move while pondering ("puzzling"): half of what
// the opponent would plan, a fortieth of its clock and a quarter of its
// increment.
constexpr uint32_t PUZZLE_CLOCK_SHARE = 40;
constexpr uint32_t PUZZLE_INCREMENT_SHARE = 4;

// Thread 0 looks at the input and the clock about ten times a second: the
// check interval is the nodes searched in a tenth of a second at the last
// move's speed, never fewer than 32767; twice as often when short of time.
constexpr uint32_t CHECKS_PER_SECOND = 10;
constexpr int32_t MINIMUM_CHECK_INTERVAL = 32767;
constexpr uint32_t MEASURABLE_MS = 10;  // shorter searches say nothing of the speed
// Below three seconds the plan is a few milliseconds (PANIC_MOVE_TIME): a
// look every twentieth of a second would overrun it several times over at
// every move, and a bullet game is lost on time by that alone. There the
// clock is looked at every few milliseconds, with a smaller minimum so that
// a slow or busy machine looks as often.
constexpr uint32_t PANIC_CHECK_MS = 3;
constexpr int32_t PANIC_MINIMUM_CHECK_INTERVAL = 2048;

// The interface's clock, read before the engine's next move, shows what its
// last move really cost: the search's own time plus whatever the pipes, the
// interface and a busy scheduler added. The difference from the engine's
// own reckoning is a sample of that overhead; the estimate rises by half of
// a larger sample and falls by an eighth toward a smaller one, so that a
// machine that turns busy is believed at once and a single quick move does
// not undo it. A sample is at most this much: more is a clock set anew
// rather than lag.
constexpr uint32_t MAX_OVERHEAD_SAMPLE_MS = 1000;
constexpr uint32_t OVERHEAD_RISE_SHARE = 2;
constexpr uint32_t OVERHEAD_FALL_SHARE = 8;

// ---------------------------------------------------------------------------

// The game's clocks and time control, as the shell keeps them for the game
// and hands them to each search in its request.
struct TimeControl {
    uint32_t engineClock = CLOCK_NOT_SET;  // "time" gives centiseconds
    uint32_t opponentClock = CLOCK_NOT_SET;
    int movesPerControl = 0;
    int nextControlMove = 0;  // 0 = no moves-per-control
    uint32_t increment = 0;
    bool fixedTime = false;   // "st" or epdtest: every search gets fixedMoveTime
    uint32_t fixedMoveTime = 0;
};

// What the running search (or the last one) may spend: its request's
// limits, its clocks and the plan made from them.
struct SearchLimits {
    uint32_t startTime = 0;  // wall clock when the engine's turn began
    uint32_t began = 0;      // when the search began: a ponder hit moves startTime only
    uint32_t moveTime = 0;   // the plan
    uint32_t deadline = 0;   // startTime + moveTime
    int depthLimit = -1;     // iterations stop before this depth; <= 0: none
    bool fixedTime = false;  // moveTime is all the search gets
    bool analysis = false;   // runs until told to stop; the clock never ends it
    uint32_t nodeLimit = 0;  // thread 0's nodes; 0: none
    int mateLimit = 0;       // ends at a proved mate in this many moves or fewer; 0: none
    uint32_t moveOverhead = 0;  // ms the move takes beyond the search (the request's)
    // On the opponent's time: no time limit until the opponent plays the
    // expected move (ponderHit).
    bool pondering = false;
    // Solving the opponent's move before pondering on it: the search is the
    // opponent's, with a time of its own.
    bool puzzle = false;
    // The game's clocks as the search sees them: a "time" or "level" that
    // arrives while it runs reaches them (updateSearchClocks).
    TimeControl clocks;
};

// The limits of the search that runs (or ran last).
extern SearchLimits gLimits;

struct SearchRequest;

// The time to plan for the engine's next move from the clocks and the
// control (or the fixed time), at the game's current ply.
uint32_t planMoveTime(const TimeControl& clocks);
// The time the opponent would plan, halved: enough to find the move to
// ponder on.
uint32_t puzzleMoveTime(const TimeControl& clocks);
// Makes the request's limits those of the search about to start: the plan,
// the deadline, and the node countdown for a small node budget.
void startSearchClock(const SearchRequest& request);
// The time to plan after the overhead of passing the move on is kept back:
// a clock's plan less the overhead, at least a millisecond (the first
// iterations finish whatever the plan). A fixed time is the interface's to
// give and stays as it is.
uint32_t planAfterOverhead(uint32_t plan, uint32_t overhead);
// Milliseconds since the running (or last) search began.
uint32_t searchElapsed(uint32_t now);
// Milliseconds the running (or last) search has run, pondering included:
// the time its node count was reached in.
uint32_t searchRunTime(uint32_t now);

// The clocks have changed while a search runs ("time", "otim", "level"):
// the running search measures itself against them from its next check.
void updateSearchClocks(const TimeControl& clocks);
// "st" while a search runs: its new fixed time is the running search's
// plan from its next check.
void setSearchMoveTime(uint32_t ms);

// The opponent played the move a ponder search assumed: the search goes on,
// now as the engine's own, against its own clock, which starts now.
void ponderHit(uint32_t now);

// The search's node budget is spent (thread 0's count).
bool nodeBudgetSpent(const Position& pos);

// Stops the search (sets the abort flag) when its time is up; may make the
// easy move the best move. Thread 0 only.
void timeCheck(Position& pos);

// The overhead estimate after a clock report: `reckoned` is the engine's
// clock as it charged it after its last move, `reported` the interface's
// value before this one. A report above the reckoning (a new control, a
// clock set anew) teaches nothing.
uint32_t updateOverheadEstimate(uint32_t estimate, uint32_t reckoned, uint32_t reported);

// After the engine's move: the clock loses what the move took and gains
// the increment, and a control reached adds its moves.
void chargeEngineClock(TimeControl& clocks, uint32_t elapsed);
void advanceTimeControl(TimeControl& clocks, bool analysis);

// After an engine move: aims the node countdown at about ten input and
// clock checks per second of search (twice as often when the engine's
// clock is short).
void updateCheckInterval(uint32_t elapsedMs, uint32_t nodes, uint32_t engineClock);

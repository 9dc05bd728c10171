// Time control: how long the engine thinks about a move, when a running
// search stops, what the clock is charged, and how often thread 0 looks at
// the clock and the input.
//
// Two records. The game's clocks and control belong to the game: the
// shell's "time", "otim", "level", "st" and "depth" write them at any time,
// also in the middle of a search, which reads the clocks and the control
// afresh at every time check ("st" reaches the running search's limits
// too; "depth" waits for the next search). The limits belong to one
// search: whoever starts a search (game flow, pondering, the test suite,
// the analysis of a set-up position, the benchmark) fills them once,
// before it.
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

// ---------------------------------------------------------------------------

// The game's clocks and time control.
struct TimeControl {
    uint32_t engineClock = CLOCK_NOT_SET;  // "time" gives centiseconds
    uint32_t opponentClock = CLOCK_NOT_SET;
    int movesPerControl = 0;
    int nextControlMove = 0;  // 0 = no moves-per-control
    uint32_t increment = 0;
    bool fixedTime = false;   // "st" or epdtest: every search gets fixedMoveTime
    uint32_t fixedMoveTime = 0;
    int depthLimit = -1;      // "depth n" stores n + 1; <= 0: none
    // What a UCI "go" may add: a budget of nodes (0: none), and a search no
    // clock applies to ("go infinite", or a depth or node limit alone), which
    // only its limit or being told to stop ends.
    uint32_t nodeLimit = 0;
    bool untimed = false;
};

// What one search may spend.
struct SearchLimits {
    uint32_t startTime = 0;  // wall clock when the engine's turn began
    uint32_t moveTime = 0;   // the plan
    uint32_t deadline = 0;   // startTime + moveTime, set by startSearchClock
    int depthLimit = -1;     // iterations stop before this depth; <= 0: none
    bool fixedTime = false;  // moveTime is all the search gets
    bool analysis = false;   // runs until told to stop; the clock never ends it
    uint32_t nodeLimit = 0;  // thread 0's nodes; 0: none
};

extern TimeControl gTimeControl;
// The limits of the search that runs (or ran last).
extern SearchLimits gLimits;

// The time to plan for the engine's next move from the clocks and the
// control (or the fixed time).
uint32_t planMoveTime();
// Limits for a search starting at startTime under the game's settings, with
// the planned move time.
SearchLimits plannedLimits(uint32_t startTime);
// Limits for solving the opponent's move before pondering on it.
SearchLimits puzzleLimits(uint32_t startTime);
// Makes `limits` those of the search about to start, and sets its deadline.
void startSearchClock(const SearchLimits& limits);

// "st": every search gets this fixed time, the running one included.
void setFixedMoveTime(uint32_t ms);

// The opponent played the move a ponder search assumed: the search goes on,
// now as the engine's own, against its own clock, which starts now.
void startClockOnPonderHit(uint32_t now);

// The search's node budget is spent (thread 0's count).
bool nodeBudgetSpent(const Position& pos);

// Stops the search (sets the abort flag) when its time is up; may make the
// easy move the best move. Thread 0 only.
void timeCheck(Position& pos);

// After the engine's move: the clock loses what the move took and gains
// the increment, and a control reached adds its moves.
void chargeEngineClock(uint32_t elapsed);
void advanceTimeControl(bool analysis);

// After an engine move: aims the node countdown at about ten input and
// clock checks per second of search.
void updateCheckInterval(uint32_t elapsedMs, uint32_t nodes);

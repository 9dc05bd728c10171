// The shell's globals in one record: protocol and mode flags, sides,
// pondering, the command lines, ratings and the settings read at start-up.
// All of it is written on the main thread; search threads only read it.
//
// What lower layers need of it they get through their own records: every
// search gets a request (search/search_request.h) built from the clocks,
// the depth limit and the tables set up; the side the engine plays is the
// game record's (gGame.engineSide); whether it ponders is a setting of the
// search (setPonderingDisabled); the evaluation gets its settings from
// shareShellSettings; the book and tablebase state live with the book and
// tablebase code.
#pragma once

#include <cstdint>

#include "search/time_control.h"

struct Position;

constexpr int LINE_SIZE = 2048;
// A UCI "position" line names every move of the game: room for thousands.
constexpr int UCI_LINE_SIZE = 32768;

// The time a move takes between the search's end and the interface's clock
// stopping, and between the clock starting and the search's start: writing
// and reading the pipes, the interface's own work, the scheduler on a busy
// machine. Measured on a loaded two-core machine through polyglot and
// xboard (see the README); an interface on a slower or busier machine sets
// more, and the engine measures more from the clocks it is sent
// (measuredOverhead).
constexpr uint32_t DEFAULT_MOVE_OVERHEAD_MS = 10;
constexpr uint32_t MAX_MOVE_OVERHEAD_MS = 5000;

struct ShellState {
    // The game: the record of search thread 0.
    Position* gamePosition = nullptr;

    // protocol and modes
    bool quit = false;
    bool xboardMode = false;
    bool uciMode = false;  // the session speaks UCI (shell/uci.h)
    bool uciAnalysis = false;  // a UCI search that only "stop" ends: no book
    bool analysisMode = false;
    bool epdtest = false;
    bool ics = false;
    bool computerOpponent = false;

    // The colour the engine plays in this game, for learning from its
    // result; -1 after "setboard".
    int playedColour = -1;

    // pondering
    bool ponderNext = true;
    bool thinking = false;
    bool ponderResult = false;

    // The engine plays from its opening book (UCI "OwnBook").
    bool ownBook = true;

    // xboard's "post"/"nopost": every completed iteration is shown, or none.
    bool showThinking = true;
    // In analysis mode: the position has changed (or analysis has just
    // begun) and is to be analysed when no input is waiting.
    bool analysisDue = false;
    // The engine is searching for its own move in a game: a "ping" now is
    // answered after the move (the protocol's promise that every command
    // before the ping has been dealt with).
    bool onMove = false;
    int pendingPongs = 0;
    char pongText[8][24] = {};

    // lines
    char inputLine[LINE_SIZE] = {};
    char deferredLine[LINE_SIZE] = {};

    // ratings and names
    int ownRating = 0;
    int opponentRating = 0;
    char opponentName[64] = {};

    // The game's clocks and control ("time", "otim", "level", "st"), and the
    // depth limit of its searches ("depth n" stores n + 1; -1: none).
    TimeControl clocks;
    int depthLimit = -1;
    // A node budget for every search of the game (0: none).
    uint32_t nodeLimit = 0;
    // xboard's "nps": the engine's clock counts nodes at this rate instead
    // of time (0: off).
    uint32_t nodeRate = 0;
    // xboard's "exclude": root moves the searches of this position leave
    // out, kept for the position whose key they were given in.
    int excludedCount = 0;
    uint32_t excludedMoves[256] = {};
    uint64_t excludedKey = 0;
    // Principal variations every search finds ("multipv", UCI MultiPV).
    int multiPV = 1;
    // Milliseconds kept back from every move's time for the interface and
    // the operating system (UCI "Move Overhead").
    uint32_t moveOverhead = DEFAULT_MOVE_OVERHEAD_MS;
    // The overhead as the interface's clocks show it (see
    // updateOverheadEstimate), and the engine's clock as it reckoned it
    // after its last move, until the interface's next report of it. Every
    // move keeps back the larger of the two overheads.
    uint32_t measuredOverhead = 0;
    uint32_t reckonedClock = CLOCK_NOT_SET;
    // UCI lines carry the win, draw and loss chances of their score
    // (UCI_ShowWDL).
    bool showWDL = false;
    // Playing weaker, at about this rating (UCI_LimitStrength, UCI_Elo).
    bool limitStrength = false;
    int limitElo = 1800;
    // What the book said about the move just played, for the server's
    // kibitz line.
    char bookMoveText[128] = {};

    // settings from Tarno.ini
    int resignScore = -1000;
    unsigned threadCount = 1;  // search threads at start-up ("cores" changes them later)
    int transpositionTableMB = 16;
    int pawnTableMB = 8;
};

extern ShellState gShell;

// Hands the evaluation what it needs of the shell's modes (opponent, book)
// and installs the reporter of the protocol in use. Called before every
// search and before a position is scored for a command.
void shareShellSettings();

// The shell's globals in one record: protocol and mode flags, sides, the
// clocks and time control, ratings and the settings read at start-up. All of
// it is written on the main thread; search threads only read it.
#pragma once

#include <cstdint>

struct Position;

constexpr int LINE_SIZE = 2048;
constexpr uint32_t CLOCK_NOT_SET = 0xFFFFFFFFu;

struct ShellState {
    // The game: the record of search thread 0.
    Position* gamePosition = nullptr;

    // protocol and modes
    bool quit = false;
    bool xboardMode = false;
    bool analysisMode = false;
    bool epdtest = false;
    bool ics = false;
    bool computerOpponent = false;

    // sides: 0 White, 1 Black, -1 none (force mode)
    int engineSide = -1;
    int playedColour = -1;

    // pondering
    bool ponderNext = true;
    bool ponderingDisabled = false;
    bool thinking = false;
    bool ponderResult = false;

    // lines
    char inputLine[LINE_SIZE] = {};
    char deferredLine[LINE_SIZE] = {};

    // time control, unsigned milliseconds
    uint32_t engineClock = CLOCK_NOT_SET;
    uint32_t opponentClock = CLOCK_NOT_SET;
    int movesPerControl = 0;
    int nextControlMove = 0;  // 0 = no moves-per-control
    uint32_t increment = 0;
    bool fixedTime = false;
    uint32_t moveTime = 0;
    uint32_t searchStartTime = 0;
    int depthLimit = -1;      // "depth n" stores n + 1

    // ratings and names
    int ownRating = 0;
    int opponentRating = 0;
    char opponentName[64] = {};

    // settings from Tarno.ini
    int resignScore = -1000;
    unsigned threadCount = 1;
    int transpositionTableMB = 16;
    int pawnTableMB = 8;
    char tablebasePath[1024] = {};     // "tbpath", at most 1023 characters
    uint64_t tablebaseCacheBytes = 0;  // "tbcache" in bytes
    int tablebaseCount = 0;            // tablebases found; 0 = not set up

    // book
    int bookMissCount = 0;
};

extern ShellState gShell;

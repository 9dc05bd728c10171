#include "shell/settings_commands.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "search/position.h"
#include "egtb/tablebase_settings.h"
#include "search/parallel.h"
#include "search/search_request.h"
#include "search/time_control.h"
#include "search/transposition.h"
#include "shell/command_numbers.h"
#include "shell/config.h"
#include "shell/shell_state.h"

static void printClock(const char* label, uint32_t ms) {
    unsigned seconds = ms / 1000;
    std::printf("%s%.2i:%.2i:%.2i\n", label, int(seconds / 3600 % 24), int(seconds / 60 % 60), int(seconds % 60));
}

void showClocks() {
    const TimeControl& tc = gShell.clocks;
    uint32_t white = gGame.engineSide == WHITE ? tc.engineClock : tc.opponentClock;
    uint32_t black = gGame.engineSide == BLACK ? tc.engineClock : tc.opponentClock;
    std::printf("\n");
    printClock("White: ", white);
    printClock("Black: ", black);
    std::printf("\n");
}

void reportBadArguments(const CommandArgs& args, const char* usage) {
    if (gShell.xboardMode) {
        // The protocol's form, with the command as it came.
        std::printf("Error (bad arguments):");
        for (int i = 0; i < std::max(args.count, 1); i++) std::printf(" %s", args.word[i]);
        std::printf("\n");
    } else {
        std::printf("Usage: %s\n", usage);
    }
}

// "level MPS BASE INC": moves per control, the base time in minutes or
// minutes:seconds, the increment in seconds (decimals allowed). A level
// ends a fixed time per move: the two are alternatives.
void commandLevel(const CommandArgs& args) {
    long moves;
    uint32_t base, increment;
    if (args.count != 4 || !readInteger(args.word[1], 0, 10000, moves) || !readMinutesAndSeconds(args.word[2], base) ||
        !readThousandths(args.word[3], 3600, increment)) {
        reportBadArguments(args, "level <moves per control> <minutes[:seconds]> <increment seconds>");
        return;
    }
    TimeControl& tc = gShell.clocks;
    tc.movesPerControl = int(moves);
    tc.nextControlMove = tc.movesPerControl;
    tc.engineClock = base;
    tc.opponentClock = base;
    gShell.reckonedClock = CLOCK_NOT_SET;  // a clock set anew
    tc.increment = increment;
    tc.fixedTime = false;
    tc.fixedMoveTime = 0;
    updateSearchClocks(tc);
}

// "st SECONDS": every search gets this fixed time, the running one
// included; it replaces a level until the next "level".
void commandSt(const CommandArgs& args) {
    uint32_t ms;
    if (args.count != 2 || !readThousandths(args.word[1], 86400, ms)) {
        reportBadArguments(args, "st <seconds per move>");
        return;
    }
    gShell.clocks.fixedTime = true;
    gShell.clocks.fixedMoveTime = ms;
    updateSearchClocks(gShell.clocks);
    setSearchMoveTime(ms);
}

// "time" and "otim": a clock in centiseconds, which a running search sees
// at its next look at the clock. A clock run past zero (a negative value)
// counts as empty.
bool setClock(uint32_t& clock, const CommandArgs& args) {
    long centiseconds;
    if (args.count != 2 || !readInteger(args.word[1], LONG_MIN, LONG_MAX, centiseconds)) {
        reportBadArguments(args, "time <centiseconds> / otim <centiseconds>");
        return false;
    }
    clock = uint32_t(std::clamp<long>(centiseconds, 0, (CLOCK_NOT_SET - 1) / 10)) * 10u;
    updateSearchClocks(gShell.clocks);
    return true;
}

void commandDepth(const CommandArgs& args) {
    if (args.count != 2) {
        std::printf("Usage: depth <n>\n");
        return;
    }
    long n;
    if (!readInteger(args.word[1], 0, MAX_PLY, n)) {
        reportBadArguments(args, "depth <n>");
        return;
    }
    gShell.depthLimit = int(n) + 1;
    std::printf("depth limit set to %i\n", int(n));
}

void commandMultiPV(const CommandArgs& args) {
    char* end = nullptr;
    const long n = args.count == 2 ? std::strtol(args.word[1], &end, 10) : 0;
    if (args.count != 2 || end == args.word[1] || *end != '\0' || n < 1 || n > MAX_MULTI_PV) {
        std::printf("Usage: multipv <n>, n from 1 to %d\n", MAX_MULTI_PV);
        return;
    }
    gShell.multiPV = int(n);
    // A running search keeps the lines it was asked for.
    std::printf("multipv set to %ld%s\n", n, gShell.thinking ? " from the next search on" : "");
}

void commandEgtpath(const CommandArgs& args) {
    // Syzygy folders are the rest of the line: a folder name may hold blanks.
    if (args.count >= 3 && std::strcmp(args.word[1], "syzygy") == 0) {
        char folders[LINE_SIZE] = "";
        for (int i = 2; i < args.count; i++) {
            if (i > 2) std::strncat(folders, " ", sizeof folders - std::strlen(folders) - 1);
            std::strncat(folders, args.word[i], sizeof folders - std::strlen(folders) - 1);
        }
        // Scores found with other tables are stale.
        if (setupSyzygy(folders)) clearTranspositionTable();
        return;
    }
    if (args.count != 3) {
        std::printf("Usage: egtpath nalimov <path to directory containing nalimov egtbs>\n");
        std::printf("       egtpath syzygy <directories containing syzygy tables, separated by ','>\n");
        return;
    }
    if (std::strcmp(args.word[1], "nalimov") != 0) return;
    std::printf("initializing egtb\n");
    setupTablebases(args.word[2]);
}

void commandCores(const CommandArgs& args) {
    if (args.count != 2) {
        std::printf("usage: cores [n] where n is the number of cpus to use while searching\n");
        return;
    }
    int n = wordValue(args.word[1]);
    if (n < 1) {
        std::printf("could not interpret '%s' as an integer greater than 1\n", args.word[1]);
        n = 1;
    }
    // More threads than the engine has room for are not an error, just
    // not had.
    unsigned threads = std::min(unsigned(n), MAX_THREAD_COUNT);
    std::printf("using %u cpus\n", threads);
    useSearchThreads(threads);
}

void commandIcs(const CommandArgs& args) {
    if (args.count != 2) return;
    if (std::strcmp(args.word[1], "-") == 0) {
        gShell.ics = false;
    } else {
        gShell.ics = true;
        std::printf("tellics gameend\n");
    }
}

void useSearchThreads(unsigned threads) {
    if (threads == searchThreadCount()) return;
    changeThreadCount(threads);
    // The tablebases come again from the settings file, with a decode area
    // for each thread.
    resetTablebases();
}


#include "shell/engine.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/position.h"
#include "eval/pawn_table.h"
#include "search/search_shared.h"
#include "search/transposition.h"
#include "shell/commands.h"
#include "shell/config.h"
#include "shell/input.h"
#include "shell/shell_state.h"

namespace {

void printBanner() {
    unsigned threads = gShell.threadCount;
    std::printf("\nTarno Chess v4.1 (%u cpu%s)\n", threads, threads > 1 ? "s" : "");
    std::printf("written by the Tarno Chess developers\n\n");
}

void printPrompt(const Position& pos) {
    if (gShell.xboardMode || gShell.inputLine[0]) return;
    std::printf(pos.sideToMove == WHITE ? "W> " : "B> ");
}

// Commands that arrived while a search ran and had to wait for its end.
void runDeferredCommands(Position& pos) {
    while (gShell.deferredLine[0]) {
        char line[LINE_SIZE];
        std::strcpy(line, gShell.deferredLine);
        gShell.deferredLine[0] = '\0';
        if (dispatchCommand(pos, line) < 0) break;
    }
}

}  // namespace

void startUp() {
    if (std::setvbuf(stdin, nullptr, _IONBF, 0) != 0) std::printf("Could not turn off input buffering\n");
    if (std::setvbuf(stdout, nullptr, _IONBF, 0) != 0) std::printf("Could not turn off output buffering\n");

    gGame.gameRecord.reserve(64);
    gShell.bookMissCount = 0;
    readStartupSettings();

    gShell.gamePosition = new Position();
    initZobristKeys();

    gShell.engineClock = CLOCK_NOT_SET;
    gShell.opponentClock = CLOCK_NOT_SET;
    gShell.increment = 0;
    gShell.xboardMode = false;
    gShell.engineSide = -1;
    gShell.depthLimit = -1;
    gShell.ponderingDisabled = false;
    gShell.ponderNext = true;
    gSearch.ponderingInProgress = false;

    initBoardTables();
    setupHashTables(true);
    setupTablebases(nullptr);

    setStartPosition(*gShell.gamePosition);
    printBanner();

    // An interface stops the engine with "quit", never with a signal; a
    // closed pipe is noticed as the end of input rather than killing us.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    gShell.quit = false;
}

void mainLoop() {
    Position& pos = *gShell.gamePosition;
    while (!gShell.quit) {
        printPrompt(pos);
        gShell.ponderResult = false;
        gShell.thinking = false;
        if (gShell.quit) break;

        if (!gShell.inputLine[0] && readLine(true, gShell.inputLine) < 0) break;  // end of input
        if (dispatchCommand(pos, gShell.inputLine) < 0) enterUserMove(pos, gShell.inputLine);

        gShell.thinking = false;
        runDeferredCommands(pos);
    }
}

void shutdown() {
    gGame.gameRecord.clear();
    gGame.gameRecord.shrink_to_fit();
    delete gShell.gamePosition;
    gShell.gamePosition = nullptr;
    freeTranspositionTable();
    freePawnTable();
    std::exit(0);
}

#include "shell/engine.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "book/book_file.h"
#include "book/book_state.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "search/new_game.h"
#include "search/parallel.h"
#include "search/position.h"
#include "search/search_request.h"
#include "search/transposition.h"
#include "shell/commands.h"
#include "shell/config.h"
#include "shell/game_flow.h"
#include "shell/input.h"
#include "shell/pondering.h"
#include "shell/reporters.h"
#include "shell/shell_state.h"
#include "shell/uci.h"

namespace {

void printBanner() {
    unsigned threads = searchThreadCount();
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
        dispatchCommand(pos, line);
    }
}

// Thinking on the opponent's time is worth it only when the opponent is to
// move in a real game and nothing is waiting to be read.
bool shouldPonder(const Position& pos) {
    return !gShell.inputLine[0] && gShell.ponderNext && gGame.engineSide != -1 &&
           pos.sideToMove != gGame.engineSide && !gShell.analysisMode && !inputAvailable();
}

}  // namespace

void startUp() {
    if (std::setvbuf(stdin, nullptr, _IONBF, 0) != 0) std::printf("Could not turn off input buffering\n");
    if (std::setvbuf(stdout, nullptr, _IONBF, 0) != 0) std::printf("Could not turn off output buffering\n");

    gGame.gameRecord.reserve(64);
    gBook.missCount = 0;
    readStartupSettings();
    // What the engine has to say from here on goes out in the console's
    // words until an interface names its protocol.
    useProtocolReporter();

    gShell.gamePosition = new Position();
    gPonder.record = new Position();
    initZobristKeys();

    gShell.clocks.engineClock = CLOCK_NOT_SET;
    gShell.clocks.opponentClock = CLOCK_NOT_SET;
    gShell.clocks.increment = 0;
    gShell.xboardMode = false;
    gGame.engineSide = -1;
    gShell.depthLimit = -1;
    setPonderingDisabled(false);
    gShell.ponderNext = true;

    initBoardTables();
    setupHashTables(true);
    // The other search threads' records; the threads start with the first
    // search that needs them.
    changeThreadCount(gShell.threadCount);
    setupTablebases(nullptr, true);
    readSyzygySettings();
    setupSyzygy(nullptr);
    openBook();

    beginGame(*gShell.gamePosition);
    printBanner();

    // An interface stops the engine with "quit", never with a signal; a
    // closed pipe is noticed as the end of input rather than killing us.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    gShell.quit = false;
    // Thread 0 of every search looks for commands through this.
    setInputHook(pollInputDuringSearch);
}

void mainLoop() {
    Position& pos = *gShell.gamePosition;
    while (!gShell.quit) {
        printPrompt(pos);
        gShell.ponderResult = false;
        if (shouldPonder(pos)) {
            ponder();
            // Nothing arrived and the opponent is still to move: wait for it
            // without thinking until game flow asks for pondering again.
            if (!gShell.inputLine[0] && !gShell.deferredLine[0] && !gShell.quit && pos.sideToMove != gGame.engineSide)
                gShell.ponderNext = false;
            // A command the ponder search made wait runs before the next line.
            gShell.thinking = false;
            runDeferredCommands(pos);
        }
        gShell.thinking = false;
        if (gShell.quit) break;

        if (!gShell.inputLine[0] && readLine(true, gShell.inputLine) < 0) break;  // end of input
        // An interface that speaks UCI says so before anything else it
        // needs; from then on the session is UCI's.
        if (!gShell.xboardMode && isUciRequest(gShell.inputLine)) {
            runUciSession(pos);
            break;
        }
        if (dispatchCommand(pos, gShell.inputLine) < 0) enterUserMove(pos, gShell.inputLine);
        // In analysis every line may have changed the position (a move,
        // "undo", "new", "setboard", "exclude"): the analysis goes on from
        // there once the interface has said all it has to say.
        if (gShell.analysisMode) gShell.analysisDue = true;

        if (!gShell.quit) {
            if (gShell.analysisMode) {
                if (gShell.analysisDue && !inputAvailable()) analyseGamePosition();
            } else if (pos.sideToMove == gGame.engineSide) {
                playEngineMove(gameRequest());
            }
        }
        gShell.thinking = false;
        runDeferredCommands(pos);
    }
}

void shutdown() {
    // Every helper thread ends before the tables it searches with go.
    stopSearchThreads();
    freeRecordPool();
    gGame.gameRecord.clear();
    gGame.gameRecord.shrink_to_fit();
    closeBook();
    delete gShell.gamePosition;
    gShell.gamePosition = nullptr;
    delete gPonder.record;
    gPonder.record = nullptr;
    freeTranspositionTable();
    freePawnTable();
    std::exit(0);
}

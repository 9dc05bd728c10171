#include "shell/commands.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "book/book_create.h"
#include "book/book_maintenance.h"
#include "book/book_probe.h"
#include "book/book_state.h"
#include "eval/evaluate.h"
#include "platform/console.h"
#include "search/benchmark.h"
#include "search/new_game.h"
#include "search/position.h"
#include "search/search_request.h"
#include "shell/config.h"
#include "shell/diagnostics.h"
#include "shell/epdtest.h"
#include "shell/draw_offers.h"
#include "shell/evaltest.h"
#include "shell/game_flow.h"
#include "shell/pondering.h"
#include "shell/settings_commands.h"
#include "shell/shell_state.h"
#include "shell/xboard_commands.h"

namespace {

enum CommandNumber {
    CMD_QUIT, CMD_COMPUTER, CMD_SETBOARD, CMD_PRINT, CMD_XBOARD, CMD_FORCE, CMD_NEW, CMD_EASY,
    CMD_HARD, CMD_WHITE, CMD_BLACK, CMD_CLOCKS, CMD_RANDOM, CMD_LEVEL, CMD_POST, CMD_NOPOST,
    CMD_GO, CMD_ANALYZE, CMD_EVAL, CMD_ST, CMD_NAME, CMD_RATING, CMD_TIME, CMD_OTIM, CMD_RESULT,
    CMD_BOOK, CMD_HASH, CMD_HELP, CMD_DRAW, CMD_PROTOVER, CMD_ACCEPTED, CMD_PING, CMD_EXIT,
    CMD_DEPTH, CMD_PERFT, CMD_HT, CMD_DOT, CMD_EVALTEST, CMD_EPDTEST, CMD_UNDO, CMD_PONDER,
    CMD_EGTPATH, CMD_PLAYOTHER, CMD_CORES, CMD_ICS, CMD_TBPROBE, CMD_SD, CMD_NPS, CMD_MEMORY, CMD_MOVE_NOW,
    CMD_HINT, CMD_BK, CMD_REMOVE, CMD_EXCLUDE, CMD_INCLUDE, CMD_SETSCORE, CMD_OPTION, CMD_REJECTED,
    CMD_MULTIPV, CMD_BENCH, CMD_VARIANT, COMMAND_COUNT
};

struct CommandEntry {
    const char* word;
    const char* help;
};

// In table order; a command's number is its position.
const CommandEntry commandTable[COMMAND_COUNT] = {
    {"quit", "quit the program"},
    {"computer", "opponent is in the ics computer list"},
    {"setboard", "set the board position with a fen string"},
    {"print", "print the current board position"},
    {"xboard", "switch to winboard mode"},
    {"force", "force mode - engine will not search, but will except moves"},
    {"new", "new game"},
    {"easy", "turn pondering off"},
    {"hard", "turn pondering on"},
    {"white", "you will play white"},
    {"black", "you will play black"},
    {"clocks", "show time left on clocks"},
    {"random", "not implemented"},
    {"level", "set time control"},
    {"post", "show thinking"},
    {"nopost", "don't show thinking"},
    {"go", "set computer's turn to move and start searching"},
    {"analyze", "analyze mode - search will continue indefinately"},
    {"eval", "show eval score for current position"},
    {"st", "set search time x - where x is in milliseconds"},
    {"name", "set opponents name"},
    {"rating", "set ratings"},
    {"time", "set computer's time in 100th's of a second"},
    {"otim", "set opponent's time in 100th's of a second"},
    {"result", "set result of the game"},
    {"book", "book create <name of pgn file>\r\n\t\tbook info"},
    {"hash", "set hash table sizes in MB: hash <dp> <as> <pawn> <qsearch>\r\n\t\tDefaults are: 4 2 2 2"},
    {"help", "help"},
    {"draw", "offer or accept a draw"},
    {"protover", "xboard command"},
    {"accepted", "xboard command"},
    {"ping", "xboard command"},
    {"exit", "stop analyzing current position"},
    {"depth", "set fixed search depth"},
    {"perft", "test the move generator with the 'perft' test"},
    {"ht", "print hash table info"},
    {".", "get search information during search"},
    {"evaltest", "test the eval function against an epd file"},
    {"epdtest", "run a test suite (epd) file"},
    {"undo", "unmake the last move"},
    {"ponder", "force pondering (accepts a move string to ponder)"},
    {"egtpath", "winboard egtpath command"},
    {"playother", "winboard playother command"},
    {"cores", "winboard cores command - set the number of cpus"},
    {"ics", "winboard ics command - set the hostname of the ics in use"},
    {"tbprobe", "show what the endgame tablebases say about the position"},
    {"sd", "set the search depth limit in plies"},
    {"nps", "count the engine's clock in nodes at this rate per second"},
    {"memory", "set both hash tables together in MB"},
    {"?", "move now"},
    {"hint", "show the reply the engine expects"},
    {"bk", "show the book moves of the position"},
    {"remove", "take back the last two moves"},
    {"exclude", "leave a root move (or all) out of the search"},
    {"include", "search an excluded root move (or all) again"},
    {"setscore", "set the score and depth of the position"},
    {"option", "set an engine option: option NAME=VALUE"},
    {"rejected", "xboard command"},
    {"multipv", "search the n best moves, each with its own line: multipv <n>"},
    {"bench", "run the benchmark search: nodes searched and nodes per second"},
    {"variant", "play a variant: normal or fischerandom (Chess960); a new game starts"},
};

int findCommand(const char* word) {
    for (int i = 0; i < COMMAND_COUNT; i++)
        if (std::strcmp(commandTable[i].word, word) == 0) return i;
    return -1;
}

// Commands that must not run under a search: they replace the position,
// the game record or the tables the search is using.
bool mustWaitForSearch(int number) {
    switch (number) {
    case CMD_NEW: case CMD_RESULT: case CMD_UNDO: case CMD_CORES:
    case CMD_SETBOARD: case CMD_HASH: case CMD_EVALTEST: case CMD_EPDTEST:
    case CMD_PERFT: case CMD_EVAL: case CMD_TBPROBE: case CMD_REMOVE: case CMD_MEMORY:
    // They walk the game position, which a search may be standing on.
    case CMD_HINT: case CMD_BK: case CMD_EXCLUDE: case CMD_INCLUDE: case CMD_SETSCORE:
    // An option may resize the tables or change the threads and tables.
    case CMD_OPTION: case CMD_BENCH: case CMD_VARIANT:
    // The book's commands walk the game position or take seconds.
    case CMD_BOOK:
    // The tablebase files and their cache are replaced: not under a search
    // whose threads read them.
    case CMD_EGTPATH:
        return true;
    default:
        return false;
    }
}

void printHelp() {
    for (int i = 0; i < COMMAND_COUNT; i++) {
        const char* word = commandTable[i].word;
        std::printf("%s%s%s\n", word, std::strlen(word) > 7 ? "\t" : "\t\t", commandTable[i].help);
        if (i == CMD_NAME) {
            std::printf("Press Enter for more....\n");
            // Only a person at a terminal can press a key; on a pipe the
            // next byte belongs to the next command.
            if (standardInputIsTerminal()) waitForSingleKey();
        }
    }
}

// The game position. While a search runs on the game record, the record
// holds the search's current node: a copy of it is taken back to the root
// of the search, which is the game position. (The ponder search runs on a
// record of its own and leaves the game record at its root.)
void printGamePosition(const Position& searched) {
    const Position& game = gShell.gamePosition ? *gShell.gamePosition : searched;
    if (game.historyCount <= 1) {
        displayBoard(game);
        return;
    }
    static Position root;  // no allocation while a search waits for us
    root = game;
    while (root.historyCount > 1) {
        const uint32_t ply = root.historyCount - 1;
        if (root.currentMove[ply] != 0) {
            unmakeMove(root);
            continue;
        }
        // A null move: only the side to move (and the keys) changed.
        root.sideToMove ^= 1;
        root.historyCount--;
    }
    displayBoard(root);
}

// A "variant" has come and nothing since: no "new", no position, no move.
// xboard sends "new" and then the variant; an interface that names the
// variant first and then sends "new" keeps it for that game.
bool variantAwaitsNew = false;

void commandSetboard(Position& pos, const CommandArgs& args) {
    variantAwaitsNew = false;
    char fen[256];
    size_t length = 0;
    bool fits = true;
    for (int i = 1; i < args.count && fits; i++) {
        size_t wordLength = std::strlen(args.word[i]);
        size_t needed = wordLength + (i > 1 ? 1 : 0);
        if (length + needed > 255) {
            fits = false;
            break;
        }
        if (i > 1) fen[length++] = ' ';
        std::memcpy(fen + length, args.word[i], wordLength);
        length += wordLength;
    }
    fen[length] = '\0';
    if (!fits || !beginGame(pos, fen)) {
        std::printf("Invalid fen position.\n");
        return;
    }
    std::printf("Board set.\n");
    startSetUpGame(pos);
}

void commandNew(Position& pos) {
    gBook.missCount = 0;
    beginGame(pos);
    gShell.depthLimit = -1;
    // The search starts afresh too, with the settings of a game out of
    // nobody's book yet.
    shareShellSettings();
    prepareSearch(pos, gameRequest());
    gShell.computerOpponent = false;
    gShell.ponderNext = false;
    gShell.reckonedClock = CLOCK_NOT_SET;  // the next game's clock is another's
    gGame.engineSide = BLACK;
    gShell.playedColour = BLACK;
    forgetLastScore();
}

// "new" is the standard game again, unless the variant was named just
// before it.
void commandNewGame(Position& pos) {
    if (!variantAwaitsNew) gGame.chess960 = false;
    variantAwaitsNew = false;
    commandNew(pos);
}

// "variant": the game's rules. xboard sends it after "new" (which goes back
// to the standard game) and before the position; the start array goes on
// the board again under the new rules, and a set-up position follows with
// "setboard".
void commandVariant(Position& pos, const CommandArgs& args) {
    const char* name = args.count >= 2 ? args.word[1] : "";
    if (std::strcmp(name, "normal") == 0) {
        gGame.chess960 = false;
    } else if (std::strcmp(name, "fischerandom") == 0) {
        gGame.chess960 = true;
    } else {
        std::printf("Error (unsupported variant): %s\n", name);
        return;
    }
    commandNew(pos);
    variantAwaitsNew = true;
}

void commandUndo(Position& pos) {
    if (gGame.gameRecord.empty()) {
        std::printf("At the beginning of the move list.\n");
        return;
    }
    HistoryEntry last = gGame.gameRecord.back();
    gGame.gameRecord.pop_back();
    if (last.move == 0) {
        std::printf("Could not unmake move or no move to unmake\n");
        return;
    }
    takeBackGameMove(pos, last);
}

void commandSides(Position& pos, int sideToMove, int engineSide) {
    if (gShell.thinking) {
        std::printf("Cannot change sides until thinking is stopped\n");
        return;
    }
    // The other side to move is a pass in the game record: the moves before
    // it can still be taken back, and the positions after it are new.
    if (pos.sideToMove != sideToMove) passGameTurn(pos);
    gGame.engineSide = engineSide;
    gShell.playedColour = engineSide;
}

// "." during a search: the "stat01" line of how it goes.
void printSearchProgress(const Position& pos) {
    const SearchProgress progress = searchProgress(pos);
    MoveC root(progress.currentRootMove);
    // Time, nodes, depth, the root moves still to search and all of them,
    // and the move being searched.
    const int left = std::max(progress.rootMoveCount - progress.rootMovesSearched, 0);
    std::printf("stat01: %u %i %i %i %i %s\n", progress.elapsed / 10, int(progress.nodes), progress.depth, left,
                progress.rootMoveCount, moveToCoordinate(root));
    std::fflush(stdout);
}

void commandBook(Position& pos, const CommandArgs& args) {
    if (args.count == 3) {
        if (std::strcmp(args.word[1], "create") != 0) return;
        std::printf("\r\nCreating opening book (10000 moves/dot)\r\n");
        const BookBuildReport report = createBook(args.word[2]);
        std::printf("\r\nOpening book created:\r\n\t%lld moves stored.\r\n", (long long)report.records);
        return;
    }
    if (args.count == 2) {
        if (std::strcmp(args.word[1], "info") == 0) showBookInfo();
        if (std::strcmp(args.word[1], "test") == 0) testBookForDuplicates();
        if (std::strcmp(args.word[1], "probe") == 0) showBookMoves(pos);
        return;
    }
    std::printf("book usage\n");
    std::printf("\tbook create <filename> - builds an opening book from a pgn database\n");
    std::printf("\tbook info - prints info about the current book.bin file\n");
    std::printf("\tbook test - runs a test against the current book.bin file\n");
    std::printf("\tbook probe - probes the book at the current position\n");
}

void commandExit() {
    if (!gShell.analysisMode) return;
    gGame.engineSide = -1;
    stopSearch();
    std::printf("Stopped Analysis\n");
    // Analysis over: the engine waits, without thinking on anybody's time,
    // for what the interface wants next.
    gShell.analysisMode = false;
    gShell.analysisDue = false;
    setPonderingDisabled(true);
    gShell.ponderNext = false;
}

// "ping N" is answered once everything before it is done: while the engine
// is searching for its move, after the move.
void commandPing(const CommandArgs& args) {
    if (gShell.onMove && !searchStatus().pondering && gShell.pendingPongs < 8) {
        std::snprintf(gShell.pongText[gShell.pendingPongs++], sizeof gShell.pongText[0], "%s", args.word[1]);
        return;
    }
    std::printf("pong %s\n", args.word[1]);
}

void commandRemove(Position& pos) {
    for (int i = 0; i < 2; i++) commandUndo(pos);
}

void commandPlayother(Position& pos) {
    gGame.engineSide = pos.sideToMove ^ 1;
    gShell.playedColour = gGame.engineSide;
    std::swap(gShell.clocks.engineClock, gShell.clocks.opponentClock);
    updateSearchClocks(gShell.clocks);
    gShell.ponderNext = true;
    gShell.analysisMode = false;
}

void commandGo(const Position& pos) {
    variantAwaitsNew = false;
    if (gShell.clocks.engineClock == CLOCK_NOT_SET) {
        gShell.clocks.engineClock = DEFAULT_CLOCK_MS;
        gShell.clocks.opponentClock = DEFAULT_CLOCK_MS;
        updateSearchClocks(gShell.clocks);
    }
    gGame.engineSide = pos.sideToMove;
    gShell.playedColour = pos.sideToMove;
    if (gShell.ics) {
        unsigned n = searchThreadCount();
        std::printf("tellics set 1 Tarno 4.1 (%u cpus)\n", n);
        std::printf("tellics kibitz Tarno v 4.1 (%u cpus)\n", n);
        std::printf("tellics say Hi, %s.  Thanks for the game and good luck!\n", gShell.opponentName);
    }
}

void commandAnalyze(const Position& pos) {
    gGame.engineSide = pos.sideToMove;
    std::printf("Analyzing... use 'exit' to stop.\n");
    gShell.analysisMode = true;
    gShell.analysisDue = true;
}

void commandResult(Position& pos, const CommandArgs& args) {
    if (args.count >= 2) parseResult(args.word[1]);
    // Learning has read the game; its moves cannot be taken back from the
    // start position.
    beginGame(pos);
    gShell.depthLimit = -1;
    gShell.ponderNext = false;
    gGame.engineSide = BLACK;
}

// The move given becomes the predicted reply the engine thinks about.
void commandPonder(Position& pos, const CommandArgs& args) {
    if (args.count == 2) {
        MoveC parsed;
        parseMove(parsed, pos, args.word[1]);
        if (parsed.move) {
            gPonder.move = parsed.move;
            expectReply(pos, parsed.move);
        }
    }
    gGame.engineSide = pos.sideToMove ^ 1;
    gShell.playedColour = gGame.engineSide;
    gShell.ponderNext = true;
    gShell.analysisMode = false;
}

}  // namespace

void startNewGame(Position& pos) { commandNew(pos); }

void startSetUpGame(Position& pos) {
    // A set-up position starts the book's count afresh, as a new game does.
    gBook.missCount = 0;
    gGame.engineSide = -1;
    gShell.playedColour = -1;
    gShell.ponderNext = false;
    forgetPrincipalVariation(pos);
}

int wordValue(const char* word) {
    errno = 0;
    long value = std::strtol(word, nullptr, 10);
    return int(std::clamp<long>(value, INT_MIN, INT_MAX));
}

void splitCommandLine(const char* line, CommandArgs& args) {
    std::strncpy(args.text, line, LINE_SIZE - 1);
    args.text[LINE_SIZE - 1] = '\0';
    for (int i = 0; i <= MAX_WORDS; i++) args.word[i] = "";
    args.word[0] = args.text;
    char* space = std::strchr(args.text, ' ');
    if (!space) {
        args.count = 0;
        return;
    }
    // Every single space separates two words, so two spaces in a row give an
    // empty word and a trailing space an empty last word. Words beyond the
    // table's room are dropped.
    int count = 1;
    while (space) {
        *space = '\0';
        char* next = space + 1;
        if (count < MAX_WORDS) args.word[count++] = next;
        space = std::strchr(next, ' ');
    }
    args.count = count;
}

bool deferWhileThinking(const char* line) {
    if (!gShell.thinking) return false;
    stopSearch();
    std::strncpy(gShell.deferredLine, line, LINE_SIZE - 1);
    gShell.deferredLine[LINE_SIZE - 1] = '\0';
    return true;
}

int dispatchCommand(Position& pos, char* line) {
    // On the stack: a command running a search can be re-entered by the input
    // hook for the next line.
    CommandArgs local;
    splitCommandLine(line, local);
    int number = findCommand(local.word[0]);
    if (number < 0) return -1;
    if (mustWaitForSearch(number) && deferWhileThinking(line)) {
        line[0] = '\0';
        return number;
    }
    runCommand(pos, number, local);
    line[0] = '\0';
    return number;
}

void runCommand(Position& pos, int number, const CommandArgs& args) {
    switch (number) {
    case CMD_QUIT:
        gShell.quit = true;
        stopSearch();
        break;
    case CMD_COMPUTER: gShell.computerOpponent = true; break;
    case CMD_SETBOARD: commandSetboard(pos, args); break;
    case CMD_PRINT: printGamePosition(pos); break;
    case CMD_XBOARD:
        gShell.xboardMode = !gShell.xboardMode;
        std::printf("\n");
        break;
    case CMD_FORCE: gGame.engineSide = -1; break;
    case CMD_NEW: commandNewGame(pos); break;
    case CMD_EASY: setPonderingDisabled(true); break;
    case CMD_HARD: setPonderingDisabled(false); break;
    case CMD_WHITE: commandSides(pos, WHITE, BLACK); break;
    case CMD_BLACK: commandSides(pos, BLACK, WHITE); break;
    case CMD_CLOCKS: showClocks(); break;
    case CMD_LEVEL: commandLevel(args); break;
    case CMD_ST: commandSt(args); break;
    case CMD_NAME:
        std::strncpy(gShell.opponentName, args.word[1], sizeof gShell.opponentName - 1);
        gShell.opponentName[sizeof gShell.opponentName - 1] = '\0';
        break;
    case CMD_RATING:
        gShell.ownRating = wordValue(args.word[1]);
        gShell.opponentRating = wordValue(args.word[2]);
        break;
    case CMD_TIME:
        if (setClock(gShell.clocks.engineClock, args)) noteReportedClock(gShell.clocks.engineClock);
        break;
    case CMD_OTIM: setClock(gShell.clocks.opponentClock, args); break;
    case CMD_BOOK: commandBook(pos, args); break;
    case CMD_HELP: printHelp(); break;
    case CMD_PROTOVER:
        if (wordValue(args.word[1]) >= 2) printFeatures();
        break;
    case CMD_PING: commandPing(args); break;
    case CMD_EXIT: commandExit(); break;
    case CMD_DEPTH: commandDepth(args); break;
    case CMD_PERFT: commandPerft(pos, args); break;
    case CMD_EVAL: commandEval(pos); break;
    case CMD_HASH: commandHash(args.count, args.word[1], args.word[2]); break;
    case CMD_HT: showHashInfo(); break;
    case CMD_EVALTEST: commandEvaltest(pos, args.count, args.word[1]); break;
    case CMD_UNDO: commandUndo(pos); break;
    case CMD_EGTPATH: commandEgtpath(args); break;
    case CMD_PLAYOTHER: commandPlayother(pos); break;
    case CMD_CORES: commandCores(args); break;
    case CMD_ICS: commandIcs(args); break;
    case CMD_TBPROBE: commandTbprobe(pos); break;
    case CMD_MULTIPV: commandMultiPV(args); break;
    case CMD_BENCH: runAndPrintBenchmark(); break;
    case CMD_VARIANT: commandVariant(pos, args); break;
    case CMD_GO: commandGo(pos); break;
    case CMD_ANALYZE: commandAnalyze(pos); break;
    case CMD_RESULT: commandResult(pos, args); break;
    case CMD_DRAW: answerDrawOffer(pos); break;
    case CMD_PONDER: commandPonder(pos, args); break;
    case CMD_EPDTEST: commandEpdtest(pos, args); break;
    case CMD_DOT:
        if (gShell.thinking) printSearchProgress(pos);
        break;
    case CMD_POST: gShell.showThinking = true; break;
    case CMD_NOPOST: gShell.showThinking = false; break;
    case CMD_SD: commandSd(args); break;
    case CMD_NPS: commandNps(args); break;
    case CMD_MEMORY: commandMemory(args); break;
    case CMD_MOVE_NOW: commandMoveNow(); break;
    case CMD_HINT: commandHint(pos); break;
    case CMD_BK: commandBk(pos); break;
    case CMD_REMOVE: commandRemove(pos); break;
    case CMD_EXCLUDE: commandExclude(pos, args, true); break;
    case CMD_INCLUDE: commandExclude(pos, args, false); break;
    case CMD_SETSCORE: commandSetscore(pos, args); break;
    case CMD_OPTION: commandOption(args); break;
    // No effect: moves are not random, and a feature xboard accepts or
    // rejects changes nothing the engine does.
    case CMD_RANDOM: case CMD_ACCEPTED: case CMD_REJECTED: break;
    default: break;
    }
}

int enterUserMove(Position& pos, char* line) {
    MoveC parsed;
    parseMove(parsed, pos, line);
    if (!parsed.valid) {
        // The protocol's form for xboard; the console keeps its own.
        if (gShell.xboardMode) std::printf("Error (unknown command): %s\n", line);
        else std::printf("unrecognized command: %s\n", line);
        line[0] = '\0';
        return -1;
    }
    // Match the parsed move against the generated ones at the root.
    pos.historyCount = 1;
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    bool generated = false;
    for (Move* m = moves; m < end; m++) {
        if (*m != parsed.move) continue;
        generated = true;
        if (makeMove(pos, *m, false)) {
            unmakeMove(pos);
            playGameMove(pos, *m);
            variantAwaitsNew = false;
            line[0] = '\0';
            return 0;
        }
    }
    std::printf("Illegal move: %s\n", line);
    if (!generated) std::printf("Move not generated by engine.\n");
    line[0] = '\0';
    return -1;
}

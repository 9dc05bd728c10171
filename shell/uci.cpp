#include "shell/uci.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/tablebase_settings.h"
#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "search/benchmark.h"
#include "search/new_game.h"
#include "search/ponder.h"
#include "search/search_request.h"
#include "search/strength.h"
#include "search/time_control.h"
#include "search/transposition.h"
#include "shell/commands.h"
#include "shell/config.h"
#include "shell/engine_options.h"
#include "shell/game_flow.h"
#include "shell/input.h"
#include "shell/settings_commands.h"
#include "shell/shell_state.h"

namespace {

// ---------------------------------------------------------------------------
// Lines as tokens. UCI allows any run of blanks between tokens; `at` keeps
// where each token starts in the line, so that a value may be taken with
// the spaces inside it (a path).

constexpr int MAX_TOKENS = UCI_LINE_SIZE / 2;

struct Tokens {
    int count = 0;
    const char* word[MAX_TOKENS];
    int at[MAX_TOKENS];
    char text[UCI_LINE_SIZE];
};

void splitTokens(const char* line, Tokens& t) {
    std::snprintf(t.text, sizeof t.text, "%s", line);
    t.count = 0;
    char* p = t.text;
    while (*p && t.count < MAX_TOKENS) {
        while (*p == ' ' || *p == '\t') *p++ = '\0';
        if (!*p) break;
        t.word[t.count] = p;
        t.at[t.count++] = int(p - t.text);
        while (*p && *p != ' ' && *p != '\t') p++;
    }
}

bool is(const char* word, const char* expected) { return std::strcmp(word, expected) == 0; }

enum UciCommand { UCI_UCI, UCI_DEBUG, UCI_ISREADY, UCI_SETOPTION, UCI_REGISTER, UCI_NEWGAME, UCI_POSITION,
                  UCI_GO, UCI_STOP, UCI_PONDERHIT, UCI_QUIT, UCI_BENCH, UCI_COMMAND_COUNT };

const char* const uciCommandWords[UCI_COMMAND_COUNT] = {"uci",     "debug",    "isready", "setoption",
                                                        "register", "ucinewgame", "position", "go",
                                                        "stop",    "ponderhit", "quit", "bench"};

// The command of a line and the token it stands at. Unknown tokens before it
// are skipped, as the protocol asks ("joho isready" is answered "readyok").
int findUciCommand(const Tokens& t, int& at) {
    for (at = 0; at < t.count; at++)
        for (int c = 0; c < UCI_COMMAND_COUNT; c++)
            if (is(t.word[at], uciCommandWords[c])) return c;
    return -1;
}

// ---------------------------------------------------------------------------
// The session

struct UciSession {
    // A "position" has come since the start or the last "ucinewgame".
    bool positionSet = false;
    // The last position: its start ("startpos" or the FEN) and the moves
    // played from it, so that the next one, the same game a few moves on,
    // only plays the new moves and the game's history (repetitions, book,
    // learning) carries on.
    std::string base;
    std::vector<std::string> moves;
    // The running "go" ends only when told: "infinite", "ponder", or no
    // limit at all. released: "stop" or "ponderhit" has come.
    bool waitForStop = false;
    bool released = false;
};

UciSession gUci;

// The idle loop's line, and the line that arrives while a search runs and
// must wait for it to end.
char idleLine[UCI_LINE_SIZE];
char searchLine[UCI_LINE_SIZE];
Tokens idleTokens;
Tokens searchTokens;

void printInfoString(const char* text) { std::printf("info string %s\n", text); }

const char* moveText(Move m) {
    static MoveC text;
    text = MoveC(m);
    return moveToPureCoordinate(text);
}

// ---------------------------------------------------------------------------
// Options

void printIdentity() {
    std::printf("id name Tarno 4.1\n");
    std::printf("id author the Tarno Chess developers\n");
    printUciOptions();
    std::printf("uciok\n");
}

// "setoption name <id> [value <x>]": the name may hold spaces and is read
// without regard to case; the value is the rest of the line as it stands.
void commandSetOption(const Tokens& t, int at, const char* line) {
    int nameAt = at + 1;
    if (nameAt >= t.count || !is(t.word[nameAt], "name")) {
        printInfoString("setoption needs: setoption name <id> [value <x>]");
        return;
    }
    std::string name;
    int i = nameAt + 1;
    for (; i < t.count && !is(t.word[i], "value"); i++) {
        if (!name.empty()) name += ' ';
        name += t.word[i];
    }
    std::string value;
    if (i + 1 < t.count) {
        value = line + t.at[i + 1];
        value.erase(value.find_last_not_of(" \t") + 1);
    }
    const EngineOption* option = findEngineOption(name.c_str());
    if (!option) {
        reportUnknownOption(name.c_str());
        return;
    }
    // Positions are read, and castling is written (the king taking its own
    // rook), by the rules in force: a change sets the next position up
    // afresh.
    const bool chess960 = gGame.chess960;
    setEngineOption(*option, value.c_str());
    if (gGame.chess960 != chess960) gUci.positionSet = false;
}

// ---------------------------------------------------------------------------
// Position

// Plays one move given in the position command; false (and nothing played)
// when it is no legal move here.
bool playListedMove(Position& pos, const char* text) {
    MoveC parsed;
    parseMove(parsed, pos, text);
    pos.historyCount = 1;
    if (!parsed.valid || !isLegalMove(parsed.move, pos)) return false;
    playGameMove(pos, parsed.move);
    return true;
}

// The start of a new line of play: the initial position or a FEN. False,
// with the position as it was, for a FEN that cannot be read.
bool setUpBase(Position& pos, const std::string& base) {
    if (base == "startpos") {
        startNewGame(pos);
    } else {
        if (base.size() > 255 || !beginGame(pos, base.c_str())) return false;
        startSetUpGame(pos);
    }
    gGame.engineSide = -1;
    gShell.playedColour = -1;
    return true;
}

void commandPosition(Position& pos, const Tokens& t, int at) {
    int i = at + 1;
    std::string base;
    if (i < t.count && is(t.word[i], "startpos")) {
        base = "startpos";
        i++;
    } else if (i < t.count && is(t.word[i], "fen")) {
        for (i++; i < t.count && !is(t.word[i], "moves"); i++) {
            if (!base.empty()) base += ' ';
            base += t.word[i];
        }
    } else {
        printInfoString("position needs: position startpos|fen <fen> [moves <move> ...]");
        return;
    }
    if (base.empty()) {
        printInfoString("position fen: the FEN is missing; the position stays as it was");
        return;
    }
    std::vector<const char*> listed;
    if (i < t.count && is(t.word[i], "moves"))
        for (i++; i < t.count; i++) listed.push_back(t.word[i]);

    // The same game a few moves on: only the new moves are played.
    const bool continues = gUci.positionSet && base == gUci.base && listed.size() >= gUci.moves.size() &&
                           std::equal(gUci.moves.begin(), gUci.moves.end(), listed.begin(),
                                      [](const std::string& played, const char* text) { return played == text; });
    if (!continues) {
        if (!setUpBase(pos, base)) {
            std::printf("info string invalid FEN '%s'; the position stays as it was\n", base.c_str());
            return;
        }
        gUci.base = base;
        gUci.moves.clear();
    }
    for (size_t m = gUci.moves.size(); m < listed.size(); m++) {
        if (!playListedMove(pos, listed[m])) {
            std::printf("info string illegal move '%s' in position; the position stops before it\n", listed[m]);
            break;
        }
        gUci.moves.push_back(listed[m]);
    }
    gUci.positionSet = true;
    // The last search's line belongs to another position: a search stopped
    // at once must not mistake its first move for this one's.
    forgetPrincipalVariation(pos);
    gGame.engineSide = -1;
}

// ---------------------------------------------------------------------------
// Go

// What a "go" asks for; -1: not given.
struct GoRequest {
    long time[2] = {-1, -1};  // wtime, btime in milliseconds
    long increment[2] = {0, 0};
    long movesToGo = -1;
    long moveTime = -1;
    long depth = -1;
    long nodes = -1;
    long mate = -1;
    bool infinite = false;
    bool ponder = false;
    bool searchMovesGiven = false;
    int searchMoveCount = 0;
    Move searchMoves[MAX_REQUESTED_MOVES];
};

bool isGoKeyword(const char* word) {
    static const char* const keywords[] = {"wtime", "btime",    "winc",     "binc",   "movestogo", "movetime",
                                           "depth", "nodes",    "mate",     "infinite", "ponder", "searchmoves"};
    for (const char* k : keywords)
        if (is(word, k)) return true;
    return false;
}

// The number after a "go" keyword; a bad one is reported and ignored.
void readGoNumber(const Tokens& t, int& i, long& out, long low) {
    const char* keyword = t.word[i];
    if (i + 1 >= t.count) {
        std::printf("info string go %s needs a number\n", keyword);
        return;
    }
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(t.word[i + 1], &end, 10);
    if (end == t.word[i + 1] || *end != '\0' || errno != 0) {
        std::printf("info string go %s: '%s' is no number\n", keyword, t.word[i + 1]);
        return;
    }
    out = std::max(value, low);
    i++;
}

// The root moves after "searchmoves" that are legal here; others are
// reported and left out.
void readSearchMoves(Position& pos, const Tokens& t, int& i, GoRequest& go) {
    go.searchMovesGiven = true;
    for (; i + 1 < t.count && !isGoKeyword(t.word[i + 1]); i++) {
        const char* text = t.word[i + 1];
        MoveC parsed;
        parseMove(parsed, pos, text);
        if (!parsed.valid || !isLegalMove(parsed.move, pos)) {
            std::printf("info string searchmoves: '%s' is no legal move here\n", text);
            continue;
        }
        if (go.searchMoveCount < MAX_REQUESTED_MOVES) go.searchMoves[go.searchMoveCount++] = parsed.move;
    }
}

void parseGo(Position& pos, const Tokens& t, int at, GoRequest& go) {
    for (int i = at + 1; i < t.count; i++) {
        const char* w = t.word[i];
        if (is(w, "wtime")) readGoNumber(t, i, go.time[WHITE], 0);
        else if (is(w, "btime")) readGoNumber(t, i, go.time[BLACK], 0);
        else if (is(w, "winc")) readGoNumber(t, i, go.increment[WHITE], 0);
        else if (is(w, "binc")) readGoNumber(t, i, go.increment[BLACK], 0);
        else if (is(w, "movestogo")) readGoNumber(t, i, go.movesToGo, 0);
        else if (is(w, "movetime")) readGoNumber(t, i, go.moveTime, 0);
        else if (is(w, "depth")) readGoNumber(t, i, go.depth, 0);
        else if (is(w, "nodes")) readGoNumber(t, i, go.nodes, 0);
        else if (is(w, "mate")) readGoNumber(t, i, go.mate, 0);
        else if (is(w, "infinite")) go.infinite = true;
        else if (is(w, "ponder")) go.ponder = true;
        else if (is(w, "searchmoves")) readSearchMoves(pos, t, i, go);
        else std::printf("info string go: unknown token '%s' ignored\n", w);
    }
}

// The game's clocks and control as this "go" gives them, for the engine's
// own time control to plan the move from, and the search it asks for.
SearchRequest applyGoLimits(const GoRequest& go, int side) {
    TimeControl& tc = gShell.clocks;
    const int other = side ^ 1;
    auto clock = [](long ms) { return ms < 0 ? CLOCK_NOT_SET : uint32_t(std::min<long>(ms, UINT32_MAX - 1)); };
    tc.engineClock = clock(go.time[side]);
    noteReportedClock(tc.engineClock);
    tc.opponentClock = clock(go.time[other]);
    tc.increment = uint32_t(std::min<long>(go.increment[side], UINT32_MAX / 2));
    // Moves to the next control, in the game's own reckoning: the last
    // move before it is White's when the moves left (control move less
    // half the game ply) are 1, Black's when they are 0.
    if (go.movesToGo > 0 && tc.engineClock != CLOCK_NOT_SET) {
        const int togo = int(std::min<long>(go.movesToGo, 1000));
        tc.movesPerControl = togo;
        tc.nextControlMove = gGame.gamePly / 2 + togo - (side == BLACK ? 1 : 0);
    } else {
        tc.movesPerControl = 0;
        tc.nextControlMove = 0;
    }
    tc.fixedTime = go.moveTime >= 0;
    tc.fixedMoveTime = uint32_t(std::clamp<long>(go.moveTime, 0, UINT32_MAX / 2));
    SearchRequest request = gameRequest();
    // "depth n" searches n plies, "mate n" 2n plies (a mate in n moves); a
    // limit of nothing still searches one ply, or there would be no move.
    const long plies = go.depth;
    request.mateLimit = go.mate > 0 ? int(std::min<long>(go.mate, MAX_PLY)) : 0;
    request.depthLimit = plies >= 0 ? int(std::clamp<long>(plies, 1, MAX_PLY)) + 1 : -1;
    request.nodeLimit = go.nodes >= 0 ? uint32_t(std::clamp<long>(go.nodes, 1, UINT32_MAX)) : 0;
    // No clock applies to "go infinite", nor to a depth or node limit alone.
    const bool timed = tc.engineClock != CLOCK_NOT_SET || tc.fixedTime;
    request.analysis = go.infinite || !timed;
    request.ponder = go.ponder;
    request.searchMoveCount = go.searchMoveCount;
    std::copy(go.searchMoves, go.searchMoves + go.searchMoveCount, request.searchMoves);
    return request;
}

void commandGo(Position& pos, const Tokens& t, int at) {
    if (!gUci.positionSet) printInfoString("go without position: searching the position as it stands");
    static GoRequest go;  // a few kilobytes: not on the stack of a session's every line
    go = GoRequest{};
    parseGo(pos, t, at, go);
    if (go.searchMovesGiven && go.searchMoveCount == 0) printInfoString("searchmoves: no legal move given; searching every move");

    const SearchRequest request = applyGoLimits(go, pos.sideToMove);
    const bool limited = request.depthLimit > 0 || request.nodeLimit > 0 || request.mateLimit > 0;
    gUci.waitForStop = go.infinite || go.ponder || (request.analysis && !limited);
    gUci.released = false;
    // An analysis: the interface wants the search's view, not the book's.
    gShell.uciAnalysis = gUci.waitForStop && !go.ponder;
    gShell.ponderResult = false;
    gGame.engineSide = pos.sideToMove;
    gShell.playedColour = pos.sideToMove;

    playEngineMove(request);

    gShell.uciAnalysis = false;
    gGame.engineSide = -1;
    gShell.thinking = false;
    gUci.waitForStop = false;
}

// ---------------------------------------------------------------------------
// Lines during a search

// A line that arrives while a search runs, or while an endless one waits to
// be stopped. "isready" is answered at once; "stop", "ponderhit" and "quit"
// act on the search. A command that needs the engine idle ("position",
// "go", "ucinewgame", "setoption") stops the search and stays in `line`
// until the answer has gone out.
void takeLineWhileSearching(char* line) {
    Tokens& t = searchTokens;
    splitTokens(line, t);
    int at = 0;
    const int command = t.count ? findUciCommand(t, at) : -2;
    switch (command) {
    case -2: break;  // an empty line
    case UCI_ISREADY: std::printf("readyok\n"); break;
    case UCI_STOP:
        stopSearch();
        gUci.released = true;
        break;
    case UCI_PONDERHIT:
        // The opponent played the predicted move: the engine's own clock
        // runs from here, and the answer goes out when the search ends.
        if (searchStatus().pondering) ponderHit(timeNow());
        gUci.waitForStop = false;
        gUci.released = true;
        break;
    case UCI_QUIT:
        gShell.quit = true;
        stopSearch();
        gUci.released = true;
        break;
    case UCI_UCI: printIdentity(); break;
    case UCI_DEBUG: case UCI_REGISTER: break;  // nothing more to tell; nothing to register
    case UCI_SETOPTION: case UCI_NEWGAME: case UCI_POSITION: case UCI_GO: case UCI_BENCH:
        std::printf("info string %s while searching: the search stops first\n", uciCommandWords[command]);
        stopSearch();
        gUci.released = true;
        return;  // the line stays for the idle loop
    default: std::printf("info string unknown command '%s'\n", line); break;
    }
    line[0] = '\0';
}

// The search's input hook: every line that has arrived is taken, until one
// stops the search.
void pollUciInput(Position&) {
    while (!searchLine[0]) {
        const int got = readLine(false, searchLine);
        if (got == 0) return;
        if (got < 0) {
            // The interface has gone: nobody can read an answer any more.
            gShell.quit = true;
            stopSearch();
            gUci.released = true;
            return;
        }
        takeLineWhileSearching(searchLine);
        if (searchStatus().stopped) return;
    }
}

// An endless search that ended by itself (a mate found, the deepest
// iteration done) answers only once it has been told to stop.
void waitForRelease() {
    while (gUci.waitForStop && !gUci.released && !gShell.quit && !searchLine[0]) {
        if (readLine(true, searchLine) < 0) {
            gShell.quit = true;
            return;
        }
        takeLineWhileSearching(searchLine);
    }
}

// ---------------------------------------------------------------------------
// The idle loop

void runUciLine(Position& pos, char* line) {
    Tokens& t = idleTokens;
    splitTokens(line, t);
    int at = 0;
    const int command = t.count ? findUciCommand(t, at) : -2;
    switch (command) {
    case -2: break;
    case UCI_UCI: printIdentity(); break;
    case UCI_DEBUG: case UCI_REGISTER: break;  // nothing more to tell; nothing to register
    case UCI_ISREADY: std::printf("readyok\n"); break;
    case UCI_SETOPTION: commandSetOption(t, at, line); break;
    case UCI_NEWGAME:
        startNewGame(pos);
        gGame.engineSide = -1;
        gUci.positionSet = false;
        gUci.base.clear();
        gUci.moves.clear();
        break;
    case UCI_POSITION: commandPosition(pos, t, at); break;
    case UCI_GO: commandGo(pos, t, at); break;
    case UCI_STOP: printInfoString("stop: no search is running"); break;
    case UCI_PONDERHIT: printInfoString("ponderhit: no search is running"); break;
    case UCI_QUIT: gShell.quit = true; break;
    case UCI_BENCH: runAndPrintBenchmark(); break;
    default: std::printf("info string unknown command '%s'\n", line); break;
    }
    line[0] = '\0';
}

}  // namespace

bool isUciRequest(const char* line) {
    Tokens& t = idleTokens;
    splitTokens(line, t);
    return t.count == 1 && is(t.word[0], "uci");
}

void runUciSession(Position& pos) {
    // Nothing of an earlier session carries over.
    gUci = UciSession{};
    searchLine[0] = '\0';
    gShell.uciMode = true;
    gShell.inputLine[0] = '\0';
    setLineCapacity(UCI_LINE_SIZE);
    setInputHook(pollUciInput);
    shareShellSettings();
    gGame.engineSide = -1;
    // The console's prompt ("W> ") stands unfinished on the last line: the
    // identity starts on a line of its own.
    std::printf("\n");
    printIdentity();
    while (!gShell.quit) {
        // A line that stopped a search runs first.
        if (searchLine[0]) {
            std::memcpy(idleLine, searchLine, std::strlen(searchLine) + 1);
            searchLine[0] = '\0';
        } else if (readLine(true, idleLine) < 0) {
            break;
        }
        runUciLine(pos, idleLine);
    }
}

void answerBestMove(Position& pos, Move best) {
    waitForRelease();
    if (!best) {
        // Mate or stalemate on the board: the score says which.
        const bool inCheck = isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);
        std::printf(inCheck ? "info depth 0 score mate 0" : "info depth 0 score cp 0");
        if (gShell.showWDL) std::printf(inCheck ? " wdl 0 0 1000" : " wdl 0 1000 0");
        std::printf("\n");
        std::printf("bestmove 0000\n");
        return;
    }
    const Move reply = replyExpectedAfter(pos, best);
    if (reply) {
        MoveC text(best);
        std::printf("bestmove %s ponder %s\n", moveToPureCoordinate(text), moveText(reply));
    } else {
        std::printf("bestmove %s\n", moveText(best));
    }
}

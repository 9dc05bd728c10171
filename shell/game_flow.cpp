#include "shell/game_flow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "book/book_file.h"
#include "book/book_learn.h"
#include "book/book_probe.h"
#include "book/book_state.h"
#include "eval/evaluate.h"
#include "platform/clock.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_settings.h"
#include "search/ponder.h"
#include "search/position.h"
#include "search/reporter.h"
#include "search/score.h"
#include "search/search_request.h"
#include "search/time_control.h"
#include "search/transposition.h"
#include "shell/config.h"
#include "shell/draw_offers.h"
#include "shell/pondering.h"
#include "shell/shell_state.h"
#include "shell/uci.h"
#include "shell/xboard_commands.h"

namespace {

// The final line is printed when the search found a decisive score, or was
// too short to have shown it.
constexpr int DECISIVE_SCORE = 9500;
constexpr uint32_t SHORT_SEARCH_NODES = 200000;

// Learning values from the console game's end: a resignation teaches like
// a lost game, a mate delivered like a won one.
constexpr int LEARN_LOST = -300;
constexpr int LEARN_WON = 300;

bool fiftyMoveRule(const Position& pos) { return pos.history[pos.historyCount].reversibleMoves >= FIFTY_MOVE_PLIES; }

// What a move does to the opponent: 0 nothing, 1 check, 2 mate.
int checkKind(Position& pos, Move move) {
    if (!makeMove(pos, move, true)) return 0;
    int kind = 0;
    int defender = pos.sideToMove;
    if (isSquareAttacked(pos, pos.sides[defender].kingSquare, defender ^ 1)) {
        Move replies[MAX_MOVES];
        kind = generateEvasions(pos, replies) == replies ? 2 : 1;
    }
    unmakeMove(pos);
    return kind;
}

Move firstLegalMove(Position& pos) {
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    for (Move* m = moves; m < end; m++)
        if (isLegalMove(*m, pos)) return *m;
    return 0;
}

// The move to play when the search has none to offer (stopped before its
// first root move was searched): the root move that looked best when the
// list was ordered, else any legal move, which beats none.
Move fallbackMove(Position& pos, const SearchResult& found) {
    if (found.rootMoveCount > 0 && isLegalMove(found.firstRootMove, pos)) return found.firstRootMove;
    return firstLegalMove(pos);
}

// The line the engine whispers (to people) or kibitzes (to a computer
// opponent) on a chess server after its move; `text`, when not empty (the
// book's moves), replaces the search figures.
void kibitzLine(const Position& pos, uint32_t elapsed, int score, int depth, uint32_t knps, const char* text) {
    char line[256];
    int n = std::snprintf(line, sizeof line, "%s", gShell.computerOpponent ? "kibitz " : "whisper ");
    if (text && text[0]) {
        std::snprintf(line + n, sizeof line - n, "%s", text);
    } else {
        n += std::snprintf(line + n, sizeof line - n, "score=%+.2f depth=%i Knps=%u time=%.2fs", score / 100.0, depth,
                           knps, double(elapsed) / 1000.0);
        if (pos.stats.tablebaseProbes)
            std::snprintf(line + n, sizeof line - n, " tbprobes=%u tbhits=%u", pos.stats.tablebaseProbes,
                          pos.stats.tablebaseHits);
    }
    std::printf("%s\n", line);
    if (score > SHOWN_AS_MATE) {
        int moves = (MATE - score) / 2;
        if (moves) std::printf("kibitz mate in %i\n", moves);
    }
}

// Whether to think on the opponent's time after this move.
void decidePondering(const Position& pos, int score) {
    bool ponder = gShell.ponderNext;
    if (!ponder) ponder = !ponderingDisabled();
    const SearchStatistics& stats = pos.stats;
    int magnitude = std::abs(score);
    // A position the tablebases settle completely leaves nothing to ponder.
    if (stats.tablebaseProbes && stats.tablebaseHits == stats.tablebaseProbes &&
        (magnitude == 1 || magnitude > MATE_THRESHOLD || score == 0))
        ponder = false;
    if (score > MATE_THRESHOLD) ponder = false;
    gShell.ponderNext = ponder;
}

void printMoveLine(Position& pos, Move best, int score) {
    MoveC move(best);
    moveToSan(move, pos);
    if (gShell.xboardMode) {
        std::printf("move %s\n", move.text);
        return;
    }
    if (score > SHOWN_AS_MATE) {
        int n = (MATE - score) / 2;
        if (n) std::printf("Mate in %i\n", n);
    }
    int kind = checkKind(pos, best);
    std::printf("Computer's move: %i. %s%s%s\n", (gGame.gamePly + 1) / 2, gGame.gamePly % 2 == 0 ? "... " : "",
                move.text, kind == 2 ? "#" : kind == 1 ? "+" : "");
}

// The side the engine plays has just mated.
void announceMate() {
    if (!gShell.xboardMode) learnFromGame(bookLearnContext(), LEARN_WON, 0, 0);
    gShell.ponderNext = false;
    if (gShell.xboardMode)
        std::printf("%s mates\n", gGame.engineSide == WHITE ? "White" : "Black");
    else
        std::printf("Checkmate\n");
}

// Takes over the ponder search's result when the opponent played the move
// the engine expected. Returns true when the result can be played as it is.
bool usePonderResult(Position& pos, Move& best, int& score) {
    if (!gShell.ponderResult || gGame.gameRecord.empty() || gBook.missCount <= 0) return false;
    if (gGame.gameRecord.back().move != gPonder.move) {
        forgetPrincipalVariation(pos);
        return false;
    }
    // The ponder search's entries were written one age ago: count them as
    // current again.
    stepTranspositionAgeBack();
    const SearchResult& pondered = gPonder.result;
    adoptPonderLine(pos, *gPonder.record, pondered.ponderBest);
    if (pondered.ponderFailedLow || gPonder.time == 0 || searchStatus().moveTime > gPonder.time) return false;
    best = pondered.ponderBest;
    score = pondered.ponderScore;
    return true;
}

// The start of the engine's turn: the clock starts, the search and the
// evaluation are prepared for the game position. False when the game is
// already drawn by rule.
bool startEngineTurn(Position& pos, SearchRequest& request) {
    shareShellSettings();
    request.analysis = request.analysis || gShell.analysisMode;
    prepareSearch(pos, request);
    gShell.thinking = true;
    // A UCI interface judges draws itself and always wants a move.
    if (!gShell.uciMode && reportRuleDraw(pos)) {
        gShell.ponderNext = false;
        return false;
    }
    if (!gShell.uciMode) offerDrawInDeadPosition(pos);
    return true;
}

// The move to play: the ponder search's when it guessed right, else the
// book's, else the search's. False when there is no legal move at all.
// The book's move, when it has one: the list of its moves is said (and
// kept for the server's kibitz line).
bool bookMove(Position& pos, Move& best) {
    Move move = 0;
    // The book knows the standard game only.
    const int found = gShell.ownBook && !gGame.chess960 ? probeBook(pos, move) : 0;
    if (found == BOOK_DISABLED) reportNote("NoBook");
    if (found > 0 && move) {
        reportNote("book moves: %s", gOpeningBook.moveText.c_str());
        std::snprintf(gShell.bookMoveText, sizeof gShell.bookMoveText, "%s", gOpeningBook.moveText.c_str());
        best = move;
        return true;
    }
    gShell.bookMoveText[0] = '\0';
    gBook.missCount++;
    return false;
}

bool chooseMove(Position& pos, const SearchRequest& request, Move& best, int& score) {
    bool haveMove = usePonderResult(pos, best, score);
    // An analysis, or a search among chosen root moves, wants the search's
    // opinion; with the book switched off every move is a book miss.
    if (!haveMove && !gShell.analysisMode && !gShell.uciAnalysis && request.searchMoveCount == 0) {
        haveMove = bookMove(pos, best);
        if (haveMove) score = NO_SCORE;
    }
    if (!haveMove) {
        const SearchResult found = runSearch(pos);
        score = found.score;
        best = found.best;
        if (found.rootMoveCount == 0 && !firstLegalMove(pos)) return false;
        if (!isLegalMove(best, pos)) best = fallbackMove(pos, found);
        return true;
    }
    if (!isLegalMove(best, pos)) best = firstLegalMove(pos);
    return true;
}

// The final line of the search, unless the thinking lines already showed it.
void showFinalLine(Position& pos, int score, int depth) {
    // A UCI interface has had every line as the search found it, and takes
    // the last one as the move's score; so has xboard, shown every line
    // ("post") or none ("nopost").
    if (gShell.uciMode) return;
    if (gShell.xboardMode) {
        offerDrawAfterFutileSearch(score, depth);
        return;
    }
    if ((std::abs(score) != MATE && (pos.stats.nodes < SHORT_SEARCH_NODES || std::abs(score) > DECISIVE_SCORE)) ||
        depth > MAX_PLY)
        reportVariation(pos, pos.pv[0], score, "");
    std::printf("\n");
    offerDrawAfterFutileSearch(score, depth);
}

// Resigns a lost game while the opponent still has time to win it.
bool resignIfLost(int score) {
    if (gShell.uciMode || gShell.analysisMode || score <= -MATE || score >= gShell.resignScore ||
        gShell.clocks.opponentClock <= SHORT_OF_TIME_MS)
        return false;
    gShell.ponderNext = false;
    gPonder.move = 0;
    if (gShell.xboardMode) {
        std::printf("resign\n");
    } else {
        learnFromGame(bookLearnContext(), LEARN_LOST, 0, 0);
        std::printf("%sresigns.\n", gGame.engineSide == WHITE ? "White " : "Black ");
    }
    return true;
}

// Plays the chosen move in the game. False when the game ends with it (or
// had already ended on the board).
bool playChosenMove(Position& pos, Move best, int score, bool legalMoveExists) {
    if (!legalMoveExists) {
        // Nothing to play: the game is already over on the board.
        gShell.ponderNext = false;
        if (!gShell.xboardMode) std::printf(score == 0 ? "Stalemate 1/2-1/2\n" : "checkmate\n");
        return false;
    }
    const bool mates = checkKind(pos, best) == 2;
    printMoveLine(pos, best, score);
    playGameMove(pos, best);
    // Judged on the board rather than by the score: a mate in one scores
    // 9998 with the root at ply 1, never 9999.
    if (mates) {
        announceMate();
        return false;
    }
    return true;
}

// After the move: the clocks, the statistics and learning, and whether to
// ponder or leave analysis mode.
void finishEngineTurn(Position& pos, int score, int depth) {
    advanceTimeControl(gShell.clocks, gShell.analysisMode);
    const uint32_t now = timeNow();
    const uint32_t elapsed = searchElapsed(now);
    chargeEngineClock(gShell.clocks, elapsed);
    // A ponder search stopped unanswered was no move of the engine's.
    const bool timedMove = !gShell.analysisMode && !gShell.clocks.fixedTime && !searchStatus().pondering;
    gShell.reckonedClock = timedMove ? gShell.clocks.engineClock : CLOCK_NOT_SET;
    decidePondering(pos, score);
    // The speed from the whole search: after a ponder hit the nodes include
    // the pondering, the clock's time does not, and a speed taken from the
    // two would have the next search look at the clock seconds apart.
    const uint32_t ran = searchRunTime(now);
    updateCheckInterval(ran, pos.stats.nodes, gShell.clocks.engineClock);
    const uint32_t knps = ran > MEASURABLE_MS ? pos.stats.nodes / ran : 0;

    if (gShell.xboardMode && gShell.ics && !gShell.analysisMode)
        kibitzLine(pos, elapsed, score, depth, knps, gShell.bookMoveText);
    reportStatistics(pos, now, knps);
    if (gBook.missCount) learnFromGame(bookLearnContext(), score, depth, 0);

    if (gShell.clocks.engineClock < SHORT_OF_TIME_MS) gShell.ponderNext = false;
}

// Pongs held back while the engine was on move go out after its move.
void sendQueuedPongs() {
    for (int i = 0; i < gShell.pendingPongs; i++) std::printf("pong %s\n", gShell.pongText[i]);
    gShell.pendingPongs = 0;
}

void playEngineTurn(SearchRequest request) {
    Position& pos = *gShell.gamePosition;
    request.startTime = timeNow();
    setTableLimits(request);
    if (!startEngineTurn(pos, request)) return;

    Move best = 0;
    int score = 0;
    const bool legalMoveExists = chooseMove(pos, request, best, score);
    // The last search's depth: this move's, the ponder search's, or (after
    // a book move) the one before.
    const int depth = searchStatus().depth;
    showFinalLine(pos, score, depth);
    if (resignIfLost(score)) return;
    if (gShell.uciMode) {
        // The interface plays the move and sends the position after it.
        answerBestMove(pos, legalMoveExists ? best : 0);
        finishEngineTurn(pos, score, depth);
        return;
    }
    if (!playChosenMove(pos, best, score, legalMoveExists)) return;
    sendQueuedPongs();
    forgetBestMove(pos);

    if (reportRuleDraw(pos)) {
        if (!gShell.xboardMode) parseResult("1/2-1/2");
        gShell.ponderNext = false;
        return;
    }
    finishEngineTurn(pos, score, depth);
}

}  // namespace

bool reportRuleDraw(const Position& pos) {
    if (!gameDrawCheck(pos)) return false;
    if (gShell.xboardMode)
        std::printf("1/2-1/2 %s\n", fiftyMoveRule(pos) ? "{game drawn by 50-move rule}" : "{game drawn by repetition}");
    else
        std::printf("Draw\n");
    return true;
}

LearnContext bookLearnContext() {
    LearnContext context;
    context.engineColour = gShell.playedColour;
    context.engineRating = gShell.ownRating;
    context.opponentRating = gShell.opponentRating;
    // A Chess960 game teaches the standard game's book nothing, even from
    // the standard array.
    context.setUpPosition = gGame.setUpPosition || gGame.chess960;
    context.gameRecord = &gGame.gameRecord;
    return context;
}

void parseResult(const char* text) { learnFromResult(bookLearnContext(), text); }

void setTableLimits(SearchRequest& request) {
    recheckTableFiles();
    // The largest tables set up now: "egtpath" or "cores" may have changed them.
    request.tablebaseMen = tablebaseMaxMen();
    request.syzygyMen = std::min(gTablebases.syzygyMen, gTablebases.syzygyProbeLimit);
    request.syzygy50MoveRule = gTablebases.syzygy50MoveRule;
    request.syzygyProbeDepth = gTablebases.syzygyProbeDepth;
}

void noteReportedClock(uint32_t reported) {
    gShell.measuredOverhead = updateOverheadEstimate(gShell.measuredOverhead, gShell.reckonedClock, reported);
    gShell.reckonedClock = CLOCK_NOT_SET;
}

SearchRequest gameRequest() {
    SearchRequest request;
    request.clocks = gShell.clocks;
    request.depthLimit = gShell.depthLimit;
    request.nodeLimit = gShell.nodeLimit;
    request.multiPV = gShell.multiPV;
    request.moveOverhead = std::max(gShell.moveOverhead, gShell.measuredOverhead);
    request.limitElo = gShell.limitStrength ? gShell.limitElo : 0;
    request.analysis = gShell.analysisMode;
    // xboard's "nps": the move's time becomes a budget of nodes, and the
    // wall clock no longer ends the search.
    if (gShell.nodeRate && !gShell.analysisMode) {
        const uint64_t nodes = uint64_t(planMoveTime(gShell.clocks)) * gShell.nodeRate / 1000;
        const uint32_t budget = uint32_t(std::clamp<uint64_t>(nodes, 1, UINT32_MAX));
        // A node limit of the game's own still holds.
        request.nodeLimit = request.nodeLimit ? std::min(request.nodeLimit, budget) : budget;
        request.analysis = true;
    }
    if (gShell.gamePosition) applyExclusions(*gShell.gamePosition, request);
    setTableLimits(request);
    return request;
}

void playEngineMove(const SearchRequest& request) {
    gShell.onMove = true;
    playEngineTurn(request);
    gShell.onMove = false;
    sendQueuedPongs();
}

void analyseGamePosition() {
    Position& pos = *gShell.gamePosition;
    gShell.analysisDue = false;
    gGame.engineSide = pos.sideToMove;
    // "exclude all": nothing is left to analyse until a move comes back.
    if (everyMoveExcluded(pos)) return;
    SearchRequest request = gameRequest();
    request.analysis = true;
    request.startTime = timeNow();
    shareShellSettings();
    prepareSearch(pos, request);
    gShell.thinking = true;
    runSearch(pos);
    gShell.thinking = false;
    const uint32_t now = timeNow();
    const uint32_t elapsed = searchElapsed(now);
    reportStatistics(pos, now, elapsed > MEASURABLE_MS ? pos.stats.nodes / elapsed : 0);
}

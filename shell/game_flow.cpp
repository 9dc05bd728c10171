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
#include "search/iterate.h"
#include "search/output.h"
#include "search/position.h"
#include "search/score.h"
#include "search/search_shared.h"
#include "search/statistics.h"
#include "search/time_control.h"
#include "search/transposition.h"
#include "shell/shell_state.h"
#include "shell/uci.h"

namespace {

// The engine offers or accepts a draw only against an opponent rated no
// more than 400 below it.
constexpr int DRAW_RATING_MARGIN = 400;
// Short of time a modest position is drawn rather than lost on the clock.
constexpr int DRAW_SCORE_SHORT_OF_TIME = 300;
constexpr uint32_t DRAW_CLOCK_MS = 5000;
// A search that ran to depth 63 and still scores 0 has found nothing but a
// draw: the engine offers one.
constexpr int DRAWN_DEPTH = 63;
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
Move fallbackMove(Position& pos) {
    if (gSearch.rootMoveCount > 0 && isLegalMove(gSearch.rootMoves[0].move, pos)) return gSearch.rootMoves[0].move;
    return firstLegalMove(pos);
}

// The analysis was stopped by a new position ("setboard"), not by "exit".
bool analysisContinues() {
    return gGame.engineSide != -1 && std::strncmp(gShell.deferredLine, "setboard", 8) == 0;
}

// Whether to think on the opponent's time after this move.
void decidePondering(const Position& pos, int score) {
    bool ponder = gShell.ponderNext;
    if (!ponder) ponder = !gSearch.ponderingDisabled;
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
    if (gGame.gameRecord.back().move != gSearch.ponderMove) {
        pos.pv[1].end = 0;
        return false;
    }
    // The ponder search's entries were written one age ago: count them as
    // current again.
    gTransposition.age = uint8_t((gTransposition.age + 15) & 15);
    const Position& ponderRecord = *gSearch.ponderRecord;
    pos.pv[0] = ponderRecord.pv[0];
    if (pos.pv[0].end == 0) pos.pv[0].moves[1] = gSearch.ponderBestMove;
    if (gSearch.ponderFailedLow || gSearch.ponderTime == 0 || gLimits.moveTime > gSearch.ponderTime) return false;
    best = gSearch.ponderBestMove;
    score = gSearch.ponderScore;
    return true;
}

// The start of the engine's turn: the clock starts, the search and the
// evaluation are prepared for the game position. False when the game is
// already drawn by rule.
bool startEngineTurn(Position& pos, uint32_t now) {
    shareShellSettings();
    resetSearch(pos);
    prepareEvaluation(pos);
    gShell.thinking = true;
    // A UCI interface judges draws itself and always wants a move.
    if (!gShell.uciMode && reportRuleDraw(pos)) {
        gShell.ponderNext = false;
        return false;
    }
    if (!gShell.uciMode && recogniseDraw(pos) == 0 && gShell.opponentRating > gShell.ownRating - DRAW_RATING_MARGIN &&
        gShell.opponentRating > 0)
        std::printf("offer draw\n");
    SearchLimits limits = plannedLimits(now);
    limits.analysis = limits.analysis || gShell.analysisMode;
    startSearchClock(limits);
    return true;
}

// The move to play: the ponder search's when it guessed right, else the
// book's, else the search's. False when there is no legal move at all.
bool chooseMove(Position& pos, Move& best, int& score) {
    bool haveMove = usePonderResult(pos, best, score);
    // An analysis, or a search among chosen root moves, wants the search's
    // opinion; with the book switched off every move is a book miss.
    if (!haveMove && !gShell.analysisMode && !gShell.uciAnalysis && gSearch.searchMoveCount == 0) {
        Move bookMove = 0;
        if (gShell.ownBook && probeBook(pos, bookMove) > 0 && bookMove) {
            best = bookMove;
            score = NO_SCORE;
            haveMove = true;
            // The list of book moves, for the server's kibitz line.
            std::snprintf(gSearch.bookMoveText, sizeof gSearch.bookMoveText, "%s", gOpeningBook.moveText.c_str());
        } else {
            gSearch.bookMoveText[0] = '\0';
            gBook.missCount++;
        }
    }
    if (!haveMove) {
        score = iterate(pos);
        best = pos.pv[0].moves[1];
        if (gSearch.rootMoveCount == 0 && !firstLegalMove(pos)) return false;
    }
    if (!isLegalMove(best, pos)) best = fallbackMove(pos);
    return true;
}

// The final line of the search, unless the thinking lines already showed it.
void showFinalLine(Position& pos, int score, int depth) {
    // A UCI interface has had every line as the search found it, and takes
    // the last one as the move's score.
    if (gShell.uciMode) return;
    if ((std::abs(score) != MATE && (pos.stats.nodes < SHORT_SEARCH_NODES || std::abs(score) > DECISIVE_SCORE)) ||
        depth > MAX_PLY)
        printPV(pos, pos.pv[0], score, "");
    std::printf("\n");
    if (depth == DRAWN_DEPTH && score == 0) std::printf("offer draw\n");
}

// Resigns a lost game while the opponent still has time to win it.
bool resignIfLost(int score) {
    if (gShell.uciMode || gShell.analysisMode || score <= -MATE || score >= gShell.resignScore ||
        gTimeControl.opponentClock <= SHORT_OF_TIME_MS)
        return false;
    gShell.ponderNext = false;
    gSearch.ponderMove = 0;
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
    advanceTimeControl(gShell.analysisMode);
    const uint32_t now = timeNow();
    const uint32_t elapsed = now - gLimits.startTime;
    chargeEngineClock(elapsed);
    decidePondering(pos, score);
    updateCheckInterval(elapsed, pos.stats.nodes);
    const uint32_t knps = elapsed > MEASURABLE_MS ? pos.stats.nodes / elapsed : 0;

    if (gShell.xboardMode && gShell.ics && !gShell.analysisMode)
        kibitzLine(pos, now, score, knps, gSearch.bookMoveText);
    char buffer[512];
    printStatistics(pos, buffer, now, knps);
    if (gBook.missCount) learnFromGame(bookLearnContext(), score, depth, 0);

    if (gTimeControl.engineClock < SHORT_OF_TIME_MS) {
        gShell.ponderNext = false;
        return;
    }
    // A position set up during the analysis is analysed next: stay in
    // analysis mode for it.
    if (gShell.analysisMode && analysisContinues()) return;
    if (gShell.analysisMode) {
        gGame.engineSide = pos.sideToMove ^ 1;
        gSearch.ponderingDisabled = true;
        gShell.ponderNext = false;
    }
    gShell.analysisMode = false;
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
    context.setUpPosition = gGame.setUpPosition;
    context.gameRecord = &gGame.gameRecord;
    return context;
}

void parseResult(const char* text) { learnFromResult(bookLearnContext(), text); }

bool drawAcceptable(Position& pos) {
    int v = gSearch.lastCompletedScore;
    if (v == NO_SCORE) {
        shareShellSettings();
        v = evaluate(pos, -MATE, MATE);
    }
    if (v < DRAW_SCORE_SHORT_OF_TIME && gTimeControl.engineClock < DRAW_CLOCK_MS &&
        gShell.opponentRating > gShell.ownRating - DRAW_RATING_MARGIN)
        return true;

    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    if (w.pawnCount || b.pawnCount) return false;
    int white = w.pieceMaterial, black = b.pieceMaterial;
    if (white < 5 && black < 5) return true;
    if (white == 5 || white > 6 || black == 5 || black > 6) return false;
    // Six units without a bishop are two knights, which cannot force mate.
    if ((white == 6 && w.pieces[BISHOP] == 0 && w.materialScore > 0) ||
        (black == 6 && b.pieces[BISHOP] == 0 && b.materialScore > 0))
        return true;
    return white == black;
}

void playEngineMove() {
    Position& pos = *gShell.gamePosition;
    if (!startEngineTurn(pos, timeNow())) return;

    Move best = 0;
    int score = 0;
    const bool legalMoveExists = chooseMove(pos, best, score);
    const int depth = gSearch.iterationDepth;
    showFinalLine(pos, score, depth);
    if (resignIfLost(score)) return;
    if (gShell.uciMode) {
        // The interface plays the move and sends the position after it.
        answerBestMove(pos, legalMoveExists ? best : 0);
        finishEngineTurn(pos, score, depth);
        return;
    }
    if (!gShell.analysisMode && !playChosenMove(pos, best, score, legalMoveExists)) return;
    pos.pv[0].moves[1] = 0;

    if (reportRuleDraw(pos)) {
        if (!gShell.xboardMode) parseResult("1/2-1/2");
        gShell.ponderNext = false;
        return;
    }
    finishEngineTurn(pos, score, depth);
}

#include "shell/game_flow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "book/book.h"
#include "egtb/tablebase_probe.h"
#include "eval/evaluate.h"
#include "platform/clock.h"
#include "search/iterate.h"
#include "search/output.h"
#include "search/statistics.h"
#include "search/search_shared.h"
#include "search/transposition.h"
#include "shell/input.h"
#include "shell/shell_state.h"

namespace {

constexpr int MATE = 10000;

bool fiftyMoveRule(const Position& pos) { return pos.history[pos.historyCount].reversibleMoves >= 100; }

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

// The move to play when the search has none to offer (stopped before its
// first root move was searched): any legal move beats none.
Move firstLegalMove(Position& pos) {
    std::memset(pos.hashMove, 0, sizeof pos.hashMove);
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    for (Move* m = moves; m < end; m++)
        if (isLegalMove(*m, pos)) return *m;
    return 0;
}

// The analysis was stopped by a new position ("setboard"), not by "exit".
bool analysisContinues() {
    return gShell.engineSide != -1 && std::strncmp(gShell.deferredLine, "setboard", 8) == 0;
}

// A move before the opponent's control arrives: the clocks reset there.
void advanceTimeControl() {
    if (!gShell.analysisMode && gGame.gamePly / 2 >= gShell.nextControlMove)
        gShell.nextControlMove += gShell.movesPerControl;
}

void chargeEngineClock(uint32_t elapsed) {
    // A clock that was never set stays unset: adding the increment to it
    // would wrap it round to almost nothing.
    if (gShell.engineClock == CLOCK_NOT_SET) return;
    uint32_t clock = gShell.engineClock;
    gShell.engineClock = clock + gShell.increment - std::min(clock, elapsed);
}

// Whether to think on the opponent's time after this move.
void decidePondering(const Position& pos, int score) {
    bool ponder = gShell.ponderNext;
    if (!ponder) ponder = !gShell.ponderingDisabled;
    const SearchStatistics& stats = pos.stats;
    int magnitude = std::abs(score);
    // A position the tablebases settle completely leaves nothing to ponder.
    if (stats.tablebaseProbes && stats.tablebaseHits == stats.tablebaseProbes &&
        (magnitude == 1 || magnitude > 9700 || score == 0))
        ponder = false;
    if (score > 9700) ponder = false;
    gShell.ponderNext = ponder;
}

void printMoveLine(Position& pos, Move best, int score) {
    MoveC move(best);
    moveToSan(move, pos);
    if (gShell.xboardMode) {
        std::printf("move %s\n", move.text);
        return;
    }
    if (score > 9900) {
        int n = (MATE - score) / 2;
        if (n) std::printf("Mate in %i\n", n);
    }
    int kind = checkKind(pos, best);
    std::printf("Computer's move: %i. %s%s%s\n", (gGame.gamePly + 1) / 2, gGame.gamePly % 2 == 0 ? "... " : "",
                move.text, kind == 2 ? "#" : kind == 1 ? "+" : "");
}

// The side the engine plays has just mated.
void announceMate() {
    if (!gShell.xboardMode) learnFromGame(300, 0, 0);
    gShell.ponderNext = false;
    if (gShell.xboardMode)
        std::printf("%s mates\n", gShell.engineSide == WHITE ? "White" : "Black");
    else
        std::printf("Checkmate\n");
}

// Takes over the ponder search's result when the opponent played the move
// the engine expected. Returns true when the result can be played as it is.
bool usePonderResult(Position& pos, Move& best, int& score) {
    if (!gShell.ponderResult || gGame.gameRecord.empty() || gShell.bookMissCount <= 0) return false;
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
    if (gSearch.ponderFailedLow || gSearch.ponderTime == 0 || gShell.moveTime > gSearch.ponderTime) return false;
    best = gSearch.ponderBestMove;
    score = gSearch.ponderScore;
    return true;
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

void computeMoveTime() {
    if (gShell.fixedTime) return;
    uint32_t clock = gShell.engineClock;
    // Without a clock the engine plans as if it had the five minutes "go"
    // would give it, instead of thinking for the rest of the day.
    if (clock == CLOCK_NOT_SET) clock = 300000;
    uint32_t time;
    if (gShell.nextControlMove == 0) {
        if (clock >= 10001 && clock <= 59999)
            time = clock / 50;
        else if (clock >= 3001 && clock <= 9999)
            time = clock / 70;
        else
            time = clock / 30;
        time += gShell.increment / 2;
        if (clock < 3000) time = 15;
    } else {
        int left = std::max(0, gShell.nextControlMove - gGame.gamePly / 2);
        time = clock / uint32_t(left + 1) + gShell.increment;
        bool lastBeforeControl = (left == 0 && gShell.engineSide == BLACK) || (left == 1 && gShell.engineSide == WHITE);
        if (lastBeforeControl) time = clock > 1000 ? clock - 1000 : 0;
        if (time < 1000) time = 500;
    }
    gShell.moveTime = time;
}

void parseResult(const char* text) {
    int value;
    if (std::strcmp(text, "1-0") == 0 || std::strcmp(text, "0-1") == 0) {
        bool whiteWon = text[0] == '1';
        if (gShell.playedColour != WHITE && gShell.playedColour != BLACK) return;
        bool engineWon = whiteWon == (gShell.playedColour == WHITE);
        value = engineWon ? 300 : -300;
    } else if (std::strcmp(text, "1/2-1/2") == 0) {
        int d = gShell.opponentRating - gShell.ownRating;
        value = std::abs(d) < 50 ? 0 : d > 100 ? 50 : -50;
    } else {
        std::printf("Could not determine result from %s\n", text);
        return;
    }
    learnFromGame(value, 65, 1);
}

bool drawAcceptable(Position& pos) {
    int v = gSearch.lastCompletedScore;
    if (v == -10000) v = evaluate(pos, -10000, 10000);
    if (v < 300 && gShell.engineClock < 5000 && gShell.opponentRating > gShell.ownRating - 400) return true;

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
    gShell.searchStartTime = timeNow();
    resetSearch(pos);
    prepareEvaluation(pos);
    gShell.thinking = true;

    if (reportRuleDraw(pos)) {
        gShell.ponderNext = false;
        return;
    }
    if (recogniseDraw(pos) == 0 && gShell.opponentRating > gShell.ownRating - 400 && gShell.opponentRating > 0)
        std::printf("offer draw\n");

    computeMoveTime();

    Move best = 0;
    int score = 0;
    bool haveMove = usePonderResult(pos, best, score);
    if (!haveMove && !gShell.analysisMode) {
        Move bookMove = 0;
        if (probeBook(pos, bookMove) > 0 && bookMove) {
            best = bookMove;
            score = -10000;
            haveMove = true;
        } else {
            gSearch.bookMoveText[0] = '\0';
            gShell.bookMissCount++;
        }
    }
    if (!haveMove) {
        gSearch.tablebaseMenLimit = tablebaseMaxMen();
        score = iterate(pos);
        best = pos.pv[0].moves[1];
    }
    bool noLegalMove = !haveMove && gSearch.rootMoveCount == 0;
    if (!noLegalMove) {
        pos.hashMove[pos.historyCount] = 0;  // or making it would skip the legality test
        if (!isLegalMove(best, pos)) best = firstLegalMove(pos);
    }

    int depth = gSearch.iterationDepth;
    if ((std::abs(score) != MATE && (pos.stats.nodes < 200000 || std::abs(score) > 9500)) || depth >= 65)
        printPV(pos, pos.pv[0], score, "");
    std::printf("\n");
    if (depth == 63 && score == 0) std::printf("offer draw\n");

    if (!gShell.analysisMode && score > -MATE && score < gShell.resignScore && gShell.opponentClock > 10000) {
        gShell.ponderNext = false;
        gSearch.ponderMove = 0;
        if (gShell.xboardMode) {
            std::printf("resign\n");
        } else {
            learnFromGame(-300, 0, 0);
            std::printf("%sresigns.\n", gShell.engineSide == WHITE ? "White " : "Black ");
        }
        return;
    }

    if (!gShell.analysisMode) {
        if (noLegalMove) {
            // Nothing to play: the game is already over on the board.
            gShell.ponderNext = false;
            if (!gShell.xboardMode) std::printf(score == 0 ? "Stalemate 1/2-1/2\n" : "checkmate\n");
            return;
        }
        bool mates = checkKind(pos, best) == 2;
        printMoveLine(pos, best, score);
        playGameMove(pos, best);
        // Judged on the board rather than by the score: a mate in one scores
        // 9998 with the root at ply 1, never 9999.
        if (mates) {
            announceMate();
            return;
        }
    }
    pos.pv[0].moves[1] = 0;

    if (reportRuleDraw(pos)) {
        if (!gShell.xboardMode) parseResult("1/2-1/2");
        gShell.ponderNext = false;
        return;
    }
    advanceTimeControl();

    uint32_t now = timeNow();
    uint32_t elapsed = now - gShell.searchStartTime;
    chargeEngineClock(elapsed);
    decidePondering(pos, score);
    updateCheckInterval(elapsed, pos.stats.nodes);
    uint32_t knps = elapsed > 10 ? pos.stats.nodes / elapsed : 0;

    if (gShell.xboardMode && gShell.ics && !gShell.analysisMode)
        kibitzLine(pos, now, score, knps, gSearch.bookMoveText);
    char buffer[512];
    printStatistics(pos, buffer, now, knps);
    if (gShell.bookMissCount) learnFromGame(score, depth, 0);

    if (gShell.engineClock < 10000) {
        gShell.ponderNext = false;
        return;
    }
    // A position set up during the analysis is analysed next: stay in
    // analysis mode for it.
    if (gShell.analysisMode && analysisContinues()) return;
    if (gShell.analysisMode) {
        gShell.engineSide = pos.sideToMove ^ 1;
        gShell.ponderingDisabled = true;
        gShell.ponderNext = false;
    }
    gShell.analysisMode = false;
}

#include "search/ponder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "eval/evaluate.h"
#include "platform/clock.h"
#include "search/iterate.h"
#include "search/search.h"
#include "search/search_shared.h"
#include "search/transposition.h"
#include "shell/input.h"
#include "shell/shell_state.h"

namespace {

// Pondering is pointless when the game is already drawn by rule, or when
// neither side can win any more.
bool gameStillOpen(const Position& game) {
    return !gameDrawCheck(game) && recogniseDraw(game) != 0 && !gShell.quit;
}

// Gives up on pondering for this move.
void stopPondering(Position& record) {
    resetSearch(record);
    gShell.ponderNext = false;
}

// The reply the engine expects: the second move of its own principal
// variation, else the table's move for the position, else whatever the
// ponder record's own line holds.
Move predictedReply(Position& game, Position& record) {
    const PVRow& line = game.pv[0];
    if (line.end >= 3 && isLegalMove(line.moves[2], record)) return line.moves[2];
    int score;
    int ply = int(record.historyCount);
    record.hashMove[ply] = 0;
    hashProbe(record, 1, -10000, 10000, score);
    Move move = record.hashMove[ply];
    record.hashMove[ply] = 0;  // isLegalMove must test it in full
    if (move && isLegalMove(move, record)) return move;
    const PVRow& own = record.pv[ply];
    if (own.end > ply && isLegalMove(own.moves[ply], record)) return own.moves[ply];
    return 0;
}

// Without a prediction, a short search from the opponent's side finds one.
Move puzzleOutReply(Position& record, uint32_t now) {
    std::printf("No move to ponder... Puzzling.\n");
    uint32_t opponentClock = gShell.opponentClock == CLOCK_NOT_SET ? 300000 : gShell.opponentClock;
    gSearch.puzzle = true;
    gShell.moveTime = (opponentClock / 40 + gShell.increment / 4) / 2;
    gSearch.deadline = now + gShell.moveTime;
    gShell.searchStartTime = now;
    ponderSearch(record);
    gSearch.puzzle = false;
    bool stoppedByInput = gShell.inputLine[0] != '\0' || inputAvailable();
    if (stoppedByInput || !gameStillOpen(*gShell.gamePosition)) return 0;
    if (gSearch.rootMoveCount == 0) {
        std::printf("No move to ponder\n");
        return 0;
    }
    return gSearch.rootMoves[0].move;
}

void announce(const char* text) {
    if (!gShell.xboardMode) {
        std::printf("\n\nPondering %s\n", text);
        return;
    }
    if (gShell.ics) std::printf("%s%s\n", gShell.computerOpponent ? "kibitz Pondering: " : "whisper Pondering: ", text);
    std::printf("Hint: %s\n", text);
}

// The position after the predicted reply becomes the root of the ponder
// search: its history entry 1 must describe it, as a game move would.
void makeReplyTheRoot(Position& record, Move reply) {
    record.historyCount = 1;
    record.hashMove[1] = 0;
    makeMove(record, reply, true);
    record.history[1].reversibleMoves = record.history[2].reversibleMoves;
    record.history[1].castling = record.history[2].castling;
    record.historyCount = 1;
}

}  // namespace

void ponderSearch(Position& pos) {
    const int32_t savedInterval = gSearch.checkInterval;
    gSearch.checkInterval = std::max(1, savedInterval / 2);
    gSearch.nodeCountdown.store(gSearch.checkInterval, std::memory_order_relaxed);
    prepareEvaluation(pos);
    gSearch.ponderFailedLow = false;

    for (int depth = 1; depth <= MAX_PLY && !aborted(); depth++) {
        gSearch.iterationDepth = depth;
        for (int i = 0; i < gSearch.rootMoveCount; i++) gSearch.rootMoves[i].flags = 0;
        gSearch.rootFailBits = 0;
        gSearch.rootAlpha = -MATE;
        gSearch.rootBeta = MATE;
        gSearch.rootLowerBound = -MATE;
        while (gShell.engineSide != -1) {
            int v = searchRoot(pos, depth);
            if (aborted()) break;
            gSearch.ponderScore = v;
            gSearch.ponderBestMove = pos.pv[0].moves[1];
            bool failedLow = v <= gSearch.rootAlpha;
            gSearch.ponderFailedLow = failedLow;
            if (!failedLow && v < gSearch.rootBeta) break;
            // Only a score at the very end of the full window fails: search
            // again with the window opened.
            recordAspirationFailure(failedLow);
            if (gSearch.rootAlpha == -MATE && gSearch.rootBeta == MATE &&
                (gSearch.rootFailBits & (failedLow ? FAIL_LOW_3 : FAIL_HIGH_3)))
                break;
        }
        if (gSearch.rootMoveCount == 0) break;  // mate or stalemate on the board
    }
    gSearch.checkInterval = savedInterval;
}

void ponder() {
    Position& game = *gShell.gamePosition;
    Position& record = *gSearch.ponderRecord;
    uint32_t now = timeNow();
    gShell.thinking = true;
    record = game;
    resetSearch(record);
    gSearch.ponderTime = 0;
    gSearch.ponderScore = -10000;

    if (gShell.ponderingDisabled || !gShell.ponderNext || inputAvailable() || !gameStillOpen(game) ||
        gSearch.iterationDepth == 63) {
        gShell.ponderNext = false;
        gShell.thinking = false;
        return;
    }

    Move reply = predictedReply(game, record);
    if (!reply) {
        reply = puzzleOutReply(record, now);
        if (!reply) {
            stopPondering(record);
            gShell.thinking = false;
            return;
        }
        record = game;
    }
    bool stoppedByInput = gShell.inputLine[0] != '\0' || inputAvailable();
    if (!gShell.ponderNext || stoppedByInput || !gameStillOpen(game) || gShell.inputLine[0]) {
        stopPondering(record);
        gShell.thinking = false;
        return;
    }

    MoveC text(reply);
    moveToSan(text, record);
    gSearch.ponderMove = reply;
    std::snprintf(gSearch.ponderMoveText, sizeof gSearch.ponderMoveText, "%s", text.text);
    makeReplyTheRoot(record, reply);

    // The ponder search sees the reply as the game's last position, so that
    // repetitions through it are found; the game list gets it back after.
    uint32_t savedCount = gGame.repetitionCount;
    gGame.repetitionList[savedCount] = record.hashKey;
    gGame.repetitionCount = savedCount + 1;
    resetSearch(record);
    if (record.history[1].reversibleMoves >= 100 || repetitionCheck(record) != 0) {
        gGame.repetitionCount = savedCount;
        stopPondering(record);
        gShell.thinking = false;
        return;
    }

    announce(gSearch.ponderMoveText);
    gSearch.ponderingInProgress = true;
    gShell.searchStartTime = timeNow();
    ponderSearch(record);
    gSearch.ponderTime = timeNow() - gShell.searchStartTime;
    gSearch.ponderingInProgress = false;
    gGame.repetitionCount = savedCount;

    gShell.ponderResult = gSearch.ponderScore != -10000;
    if (!gShell.ponderResult) gShell.ponderNext = false;
    gShell.thinking = false;
}

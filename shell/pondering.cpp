#include "shell/pondering.h"

#include <cstdio>

#include "board/makemove.h"
#include "board/notation.h"
#include "eval/evaluate.h"
#include "platform/clock.h"
#include "search/iterate.h"
#include "search/ponder.h"
#include "search/position.h"
#include "search/search.h"
#include "search/search_shared.h"
#include "search/time_control.h"
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
    gShell.thinking = false;
}

bool inputArrived() { return gShell.inputLine[0] != '\0' || inputAvailable(); }

// Without a prediction, a short search from the opponent's side finds one.
Move puzzleOutReply(Position& record, uint32_t now) {
    std::printf("No move to ponder... Puzzling.\n");
    gSearch.puzzle = true;
    startSearchClock(puzzleLimits(now));
    ponderSearch(record);
    gSearch.puzzle = false;
    if (inputArrived() || !gameStillOpen(*gShell.gamePosition)) return 0;
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

}  // namespace

void ponder() {
    Position& game = *gShell.gamePosition;
    Position& record = *gSearch.ponderRecord;
    uint32_t now = timeNow();
    gShell.thinking = true;
    shareShellSettings();
    record = game;
    resetSearch(record);
    gSearch.ponderTime = 0;
    gSearch.ponderScore = NO_SCORE;

    if (gSearch.ponderingDisabled || !gShell.ponderNext || inputAvailable() || !gameStillOpen(game) ||
        gSearch.iterationDepth == 63) {
        gShell.ponderNext = false;
        gShell.thinking = false;
        return;
    }

    Move reply = predictedReply(game, record);
    if (!reply) {
        reply = puzzleOutReply(record, now);
        if (!reply) return stopPondering(record);
        record = game;
    }
    const bool stoppedByInput = inputArrived();
    if (!gShell.ponderNext || stoppedByInput || !gameStillOpen(game) || gShell.inputLine[0])
        return stopPondering(record);

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
    if (record.history[1].reversibleMoves >= FIFTY_MOVE_PLIES || repetitionCheck(record) != 0) {
        gGame.repetitionCount = savedCount;
        return stopPondering(record);
    }

    announce(gSearch.ponderMoveText);
    gSearch.ponderingInProgress = true;
    // The time check never stops a ponder search; only input does.
    startSearchClock(plannedLimits(timeNow()));
    ponderSearch(record);
    gSearch.ponderTime = timeNow() - gLimits.startTime;
    gSearch.ponderingInProgress = false;
    gGame.repetitionCount = savedCount;

    gShell.ponderResult = gSearch.ponderScore != NO_SCORE;
    if (!gShell.ponderResult) gShell.ponderNext = false;
    gShell.thinking = false;
}

#include "shell/pondering.h"

#include <cstdio>

#include "board/makemove.h"
#include "board/notation.h"
#include "eval/evaluate.h"
#include "platform/clock.h"
#include "search/ponder.h"
#include "search/position.h"
#include "search/search.h"
#include "search/search_request.h"
#include "shell/game_flow.h"
#include "shell/input.h"
#include "shell/shell_state.h"

PonderState gPonder;

namespace {

// Pondering is pointless when the game is already drawn by rule, or when
// neither side can win any more.
bool gameStillOpen(const Position& game) {
    return !gameDrawCheck(game) && recogniseDraw(game) != 0 && !gShell.quit;
}

// A search of the ponder record on the opponent's time, starting `now`.
SearchRequest ponderRequest(uint32_t now) {
    SearchRequest request = gameRequest();
    request.startTime = now;
    request.opponentsTime = true;
    return request;
}

// Gives up on pondering for this move.
void stopPondering(Position& record) {
    prepareSearch(record, ponderRequest(timeNow()));
    gShell.ponderNext = false;
    gShell.thinking = false;
}

bool inputArrived() { return gShell.inputLine[0] != '\0' || inputAvailable(); }

// Without a prediction, a short search from the opponent's side finds one.
Move puzzleOutReply(Position& record, uint32_t now) {
    std::printf("No move to ponder... Puzzling.\n");
    SearchRequest request = ponderRequest(now);
    request.puzzle = true;
    const SearchResult puzzled = search(record, request);
    if (inputArrived() || !gameStillOpen(*gShell.gamePosition)) return 0;
    if (puzzled.rootMoveCount == 0) {
        std::printf("No move to ponder\n");
        return 0;
    }
    return puzzled.firstRootMove;
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
    Position& record = *gPonder.record;
    uint32_t now = timeNow();
    gShell.thinking = true;
    shareShellSettings();
    record = game;
    prepareSearch(record, ponderRequest(now));
    gPonder.time = 0;
    gPonder.result = SearchResult{};

    if (ponderingDisabled() || !gShell.ponderNext || inputAvailable() || !gameStillOpen(game) ||
        searchStatus().depth == 63) {
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
    gPonder.move = reply;
    std::snprintf(gPonder.moveText, sizeof gPonder.moveText, "%s", text.text);
    makeReplyTheRoot(record, reply);

    // The ponder search sees the reply as the game's last position, so that
    // repetitions through it are found; the game list gets it back after.
    uint32_t savedCount = gGame.repetitionCount;
    gGame.repetitionList[savedCount] = record.hashKey;
    gGame.repetitionCount = savedCount + 1;
    if (record.history[1].reversibleMoves >= FIFTY_MOVE_PLIES || repetitionCheck(record) != 0) {
        gGame.repetitionCount = savedCount;
        return stopPondering(record);
    }

    announce(gPonder.moveText);
    // The time check never stops a ponder search; only input does.
    SearchRequest request = ponderRequest(timeNow());
    request.ponder = true;
    std::snprintf(request.expectedReply, sizeof request.expectedReply, "%s", gPonder.moveText);
    gPonder.result = search(record, request);
    gPonder.time = searchElapsed(timeNow());
    gGame.repetitionCount = savedCount;

    gShell.ponderResult = gPonder.result.ponderScore != NO_SCORE;
    if (!gShell.ponderResult) gShell.ponderNext = false;
    gShell.thinking = false;
}

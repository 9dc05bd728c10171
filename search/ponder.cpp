#include "search/ponder.h"

#include <algorithm>

#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/iterate.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/search_shared.h"
#include "search/transposition.h"

Move predictedReply(Position& game, Position& record) {
    const PVRow& line = game.pv[0];
    if (line.end >= 3 && isLegalMove(line.moves[2], record)) return line.moves[2];
    int score;
    int ply = int(record.historyCount);
    record.hashMove[ply] = 0;
    hashProbe(record, 1, -MATE, MATE, score);
    Move move = record.hashMove[ply];
    if (move && isLegalMove(move, record)) return move;
    const PVRow& own = record.pv[ply];
    if (own.end > ply && isLegalMove(own.moves[ply], record)) return own.moves[ply];
    return 0;
}

Move replyExpectedAfter(Position& pos, Move best) {
    if (!makeMove(pos, best, false)) return 0;
    const int ply = int(pos.historyCount);
    const PVRow& line = pos.pv[0];
    Move reply = line.end >= 3 && line.moves[1] == best ? line.moves[2] : 0;
    if (!reply) {
        int score;
        pos.hashMove[ply] = 0;
        hashProbe(pos, 1, -MATE, MATE, score);
        reply = pos.hashMove[ply];
    }
    if (reply && !isLegalMove(reply, pos)) reply = 0;
    unmakeMove(pos);
    return reply;
}

void adoptPonderLine(Position& game, const Position& record, Move best) {
    game.pv[0] = record.pv[0];
    if (game.pv[0].end == 0) game.pv[0].moves[1] = best;
}

void makeReplyTheRoot(Position& record, Move reply) {
    // History entry 1 must describe the position after the reply, as it
    // would after a game move.
    record.historyCount = 1;
    makeMove(record, reply, true);
    record.history[1].reversibleMoves = record.history[2].reversibleMoves;
    record.history[1].castling = record.history[2].castling;
    record.historyCount = 1;
}

void ponderSearch(Position& pos) {
    beginParallelSearch(pos);
    // Input is looked for twice as often: the opponent's move must stop
    // the ponder search at once.
    const int32_t savedInterval = gSearch.checkInterval;
    gSearch.checkInterval = std::max(1, savedInterval / 2);
    gSearch.nodeCountdown.store(gSearch.checkInterval, std::memory_order_relaxed);
    prepareEvaluation(pos);
    gSearch.ponderFailedLow = false;

    for (int depth = 1; depth <= MAX_PLY && !searchStopped(pos); depth++) {
        gSearch.iterationDepth = depth;
        for (int i = 0; i < gSearch.rootMoveCount; i++) gSearch.rootMoves[i].flags = 0;
        gSearch.rootFailBits = 0;
        gSearch.rootAlpha = -MATE;
        gSearch.rootBeta = MATE;
        gSearch.rootLowerBound = -MATE;
        while (gGame.engineSide != -1) {
            int v = searchRoot(pos, depth);
            if (searchStopped(pos)) break;
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
    endParallelSearch();
}

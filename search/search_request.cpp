#include "search/search_request.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "eval/evaluate.h"
#include "platform/clock.h"
#include "search/iterate.h"
#include "search/ponder.h"
#include "search/search_shared.h"
#include "search/strength.h"

namespace {

// The root restrictions and table limits the running search reads.
void installRequest(const SearchRequest& request) {
    const int count = std::clamp(request.searchMoveCount, 0, MAX_ROOT_MOVES);
    std::copy(request.searchMoves, request.searchMoves + count, gSearch.searchMoves);
    gSearch.searchMoveCount = count;
    gSearch.multiPV = std::clamp(request.multiPV, 1, MAX_ROOT_MOVES);
    gSearch.tablebaseMenLimit = request.tablebaseMen;
    gSearch.syzygyMenLimit = request.syzygyMen;
    gSearch.syzygy50MoveRule = request.syzygy50MoveRule;
    gSearch.syzygyProbeDepth = request.syzygyProbeDepth;
    std::snprintf(gSearch.expectedReply, sizeof gSearch.expectedReply, "%s", request.expectedReply);
}

// Nothing of an earlier search carries over to a position it never saw: no
// score to aim the windows at or to weigh a draw by, no line to seed the
// table with, no previous best move to try first.
void forgetEarlierSearches(Position& pos) {
    gSearch.lastCompletedScore = NO_SCORE;
    for (int ply = 0; ply < 2; ply++) {
        pos.pv[ply].end = 0;
        pos.pv[ply].moves[1] = 0;
    }
}

bool onOpponentsTime = false;  // the prepared search is the ponder search

}  // namespace

void prepareSearch(Position& pos, const SearchRequest& asked) {
    // A strength limit searches more lines, on fewer nodes.
    SearchRequest request = asked;
    if (request.limitElo > 0) {
        request.multiPV = std::max(request.multiPV, strengthLines(request.limitElo));
        const uint32_t nodes = strengthNodes(request.limitElo);
        request.nodeLimit = request.nodeLimit ? std::min(request.nodeLimit, nodes) : nodes;
    }
    installRequest(request);
    gSearch.shownLines = std::clamp(asked.multiPV, 1, MAX_ROOT_MOVES);
    gSearch.limitElo = request.limitElo;
    if (request.newPosition) forgetEarlierSearches(pos);
    resetSearch(pos);
    // The ponder search prepares the evaluation for its own root.
    onOpponentsTime = request.opponentsTime;
    if (!onOpponentsTime) prepareEvaluation(pos);
    startSearchClock(request);
}

SearchResult runSearch(Position& pos) {
    SearchResult result;
    if (onOpponentsTime) {
        ponderSearch(pos);
        // Over: whatever the opponent plays now is answered by a new search.
        gLimits.pondering = false;
        gLimits.puzzle = false;
        result.ponderScore = gSearch.ponderScore;
        result.ponderBest = gSearch.ponderBestMove;
        result.ponderFailedLow = gSearch.ponderFailedLow;
    } else {
        result.score = iterate(pos);
        result.best = pos.pv[0].moves[1];
        if (gSearch.limitElo > 0) result.best = chooseLimitedMove(pos, gSearch.limitElo, timeNow() ^ uint32_t(pos.hashKey));
    }
    result.depth = gSearch.iterationDepth;
    result.rootMoveCount = gSearch.rootMoveCount;
    result.firstRootMove = gSearch.rootMoveCount > 0 ? gSearch.rootMoves[0].move : 0;
    return result;
}

SearchResult search(Position& pos, const SearchRequest& request) {
    prepareSearch(pos, request);
    return runSearch(pos);
}

SearchStatus searchStatus() {
    SearchStatus status;
    status.depth = gSearch.iterationDepth;
    status.lowerBound = gSearch.rootLowerBound;
    status.lastCompletedScore = gSearch.lastCompletedScore;
    status.rootMoveCount = gSearch.rootMoveCount;
    status.startTime = gLimits.startTime;
    status.moveTime = gLimits.moveTime;
    status.pondering = gLimits.pondering;
    status.stopped = gSearch.abortFlag.load(std::memory_order_relaxed);
    return status;
}

SearchProgress searchProgress(const Position& pos) {
    SearchProgress progress;
    progress.elapsed = searchElapsed(timeNow());
    progress.nodes = pos.stats.nodes;
    progress.depth = gSearch.iterationDepth;
    progress.rootMoveCount = gSearch.rootMoveCount;
    // Handed out in this iteration: searched, or being searched now.
    progress.rootMovesSearched = 0;
    for (int i = 0; i < gSearch.rootMoveCount; i++)
        progress.rootMovesSearched += (gSearch.rootMoves[i].flags & ROOT_HANDED_OUT) != 0;
    progress.movesAtPly = pos.movesDelivered[pos.historyCount];
    progress.currentRootMove = pos.currentMove[1];
    return progress;
}

void stopSearch() { gSearch.abortFlag.store(true, std::memory_order_relaxed); }

void setPonderingDisabled(bool disabled) { gSearch.ponderingDisabled.store(disabled, std::memory_order_relaxed); }

bool ponderingDisabled() { return gSearch.ponderingDisabled.load(std::memory_order_relaxed); }

unsigned searchThreadCount() { return gSearch.threadCount; }

void setInputHook(InputHook hook) { gSearch.inputHook = hook; }

void restartInputCountdown() { gSearch.nodeCountdown.store(gSearch.checkInterval, std::memory_order_relaxed); }

void setCheckInterval(int32_t nodes) {
    gSearch.checkInterval = std::max(1, nodes);
    restartInputCountdown();
}

void forgetLastScore() { gSearch.lastCompletedScore = NO_SCORE; }

void forgetPrincipalVariation(Position& pos) {
    pos.pv[0].end = 0;
    pos.pv[0].moves[1] = 0;
    pos.pv[1].end = 0;
}

void forgetBestMove(Position& pos) { pos.pv[0].moves[1] = 0; }

void expectReply(Position& pos, Move reply) {
    pos.pv[0].moves[2] = reply;
    pos.pv[0].end = 3;
}

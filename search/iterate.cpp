#include "search/iterate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/tablebase_probe.h"
#include "platform/spin_lock.h"
#include "search/parallel.h"
#include "search/reporter.h"
#include "search/search.h"
#include "search/tablebase_probes.h"
#include "search/time_control.h"
#include "search/transposition.h"

namespace {

// The moves before `pvIndex` are the better lines already found in this
// iteration: the search of the next line never hands them out.
RootMove* firstNotHandedOut() {
    for (int i = gSearch.pvIndex; i < gSearch.rootMoveCount; i++)
        if (!(gSearch.rootMoves[i].flags & ROOT_HANDED_OUT)) return &gSearch.rootMoves[i];
    return nullptr;
}

// The root position's draw by rule, for a root move just made.
bool rootMoveDraws(Position& pos) {
    return pos.history[pos.historyCount].reversibleMoves >= FIFTY_MOVE_PLIES || repetitionCheck(pos) != 0;
}

// Orders the freshly built root list by a quick look at each move: a
// quiescence score, a bonus for checks and for the previous best move, a
// small malus for under-promotions.
void scoreRootMoves(Position& pos) {
    const int ply = int(pos.historyCount);
    int kept = 0;
    for (int i = 0; i < gSearch.rootMoveCount; i++) {
        RootMove r = gSearch.rootMoves[i];
        r.score = NOT_SCORED;
        pos.currentMove[ply] = r.move;
        if (!makeMove(pos, r.move, false)) continue;
        const int mover = pos.sideToMove ^ 1;
        if (gSearch.tablebaseMenLimit > 0 && popCount(occupied(pos)) <= gSearch.tablebaseMenLimit && !pos.castling) {
            pos.stats.tablebaseProbes++;
            int v;
            if (probeTablebase(pos, mover, v)) {
                pos.stats.tablebaseHits++;
                // Counted, like the probes below the root, from the ply of
                // the position probed, so that a table mate scores exactly
                // as the same mate found by the search.
                r.score = -scoreFromTable(v, ply + 1);
            }
        }
        if (rootMoveDraws(pos)) {
            r.score = 0;
            reportNote("repetition detected at root %s", r.text);
        }
        if (r.score == NOT_SCORED) {
            r.score = -quiesce(pos, -MATE, MATE);
            if (isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, mover)) r.score += ROOT_CHECK_BONUS;
            if (movePromotion(r.move) && movePromotion(r.move) != QUEEN) r.score -= ROOT_UNDERPROMOTION_MALUS;
            if (r.move == pos.pv[1].moves[1]) r.score += ROOT_PREVIOUS_BEST_BONUS;
        }
        unmakeMove(pos);
        gSearch.rootMoves[kept++] = r;
    }
    gSearch.rootMoveCount = kept;

    for (bool exchanged = true; exchanged;) {
        exchanged = false;
        for (int i = 0; i + 1 < gSearch.rootMoveCount; i++) {
            if (gSearch.rootMoves[i].score >= gSearch.rootMoves[i + 1].score) continue;
            std::swap(gSearch.rootMoves[i], gSearch.rootMoves[i + 1]);
            exchanged = true;
        }
    }
}

// A move so clearly best that the search may play it early: the only legal
// move, or one far ahead of the rest that recaptures what the opponent just
// took or keeps a quiet position quiet.
void chooseEasyMove() {
    if (gSearch.rootMoveCount == 1) {
        gSearch.easyMove = gSearch.rootMoves[0].move;
        return;
    }
    // Whoever asks for several lines wants each of them searched, not the
    // first played early.
    if (gSearch.multiPV > 1) return;
    if (gSearch.rootMoveCount < 2 || gGame.gameRecord.empty()) return;
    const RootMove& best = gSearch.rootMoves[0];
    const Move last = gGame.gameRecord.back().move;
    if (best.score <= gSearch.rootMoves[1].score + EASY_MOVE_LEAD) return;
    const bool recapture = moveTo(best.move) == moveTo(last) && moveCaptured(best.move) == moveCaptured(last);
    if (recapture || best.score < EASY_MOVE_QUIET_SCORE) gSearch.easyMove = best.move;
}

// The interface may have asked for some root moves only.
bool searchedAtRoot(Move m) {
    if (gSearch.searchMoveCount == 0) return true;
    for (int i = 0; i < gSearch.searchMoveCount; i++)
        if (gSearch.searchMoves[i] == m) return true;
    return false;
}

void buildRootMoves(Position& pos) {
    const int ply = int(pos.historyCount);
    Move* begin = pos.moveStack + pos.listStart[ply];
    const bool inCheck = isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);
    Move* end = inCheck ? generateEvasions(pos, begin) : generateAllMoves(pos, begin);
    int n = 0;
    for (Move* m = begin; m < end && n < MAX_ROOT_MOVES; m++) {
        if (!searchedAtRoot(*m)) continue;
        RootMove& r = gSearch.rootMoves[n++];
        r.move = *m;
        r.flags = ROOT_NO_REDUCE;
        r.score = 0;
        r.nodes = 0;
        MoveC text(*m);
        std::snprintf(r.text, sizeof r.text, "%s", moveToSan(text, pos));
    }
    gSearch.rootMoveCount = n;
    pos.listStart[ply + 1] = pos.listStart[ply];  // the records hold the moves now
    scoreRootMoves(pos);
    restrictRootMovesBySyzygy(pos);
    chooseEasyMove();
}

// Flags for the next iteration: the first move and, when the first move's
// tree was big enough to judge, the moves that needed a third of its effort
// (likely alternatives) and the first quarter of the list are never reduced.
void prepareRootFlags() {
    const int count = gSearch.rootMoveCount;
    for (int i = 0; i < count; i++) gSearch.rootMoves[i].flags = 0;
    gSearch.rootFailBits = 0;
    if (count == 0) return;
    gSearch.rootMoves[0].flags = ROOT_NO_SPLIT | ROOT_NO_REDUCE;
    const uint32_t firstNodes = gSearch.rootMoves[0].nodes;
    if (firstNodes < 3) return;
    for (int i = 1; i < count; i++) {
        if (gSearch.rootMoves[i].nodes > firstNodes / 3) gSearch.rootMoves[i].flags |= ROOT_NO_SPLIT;
        if (i < count / 4) gSearch.rootMoves[i].flags |= ROOT_NO_REDUCE;
    }
}

// Sets the next fail bit of a group (first, second, third) and returns its
// mark text.
const char* markFailure(uint32_t first, const char* const marks[3]) {
    for (int k = 0; k < 3; k++) {
        uint32_t bit = first << k;
        if (!(gSearch.rootFailBits & bit)) {
            gSearch.rootFailBits |= bit;
            return marks[k];
        }
    }
    return marks[2];
}

void widenRootWindow() {
    const uint32_t f = gSearch.rootFailBits;
    if (f & FAIL_LOW_3) gSearch.rootAlpha = -MATE;
    else if (f & FAIL_LOW_2) gSearch.rootAlpha -= WIDENING_SECOND;
    else if (f & FAIL_LOW_1) gSearch.rootAlpha -= WIDENING_FIRST;
    if (f & FAIL_HIGH_3) gSearch.rootBeta = MATE;
    else if (f & FAIL_HIGH_2) gSearch.rootBeta += WIDENING_SECOND;
    else if (f & FAIL_HIGH_1) gSearch.rootBeta += WIDENING_FIRST;
}

}  // namespace

int rootMovesHandedOut() {
    int n = 0;
    for (int i = gSearch.pvIndex; i < gSearch.rootMoveCount; i++) n += (gSearch.rootMoves[i].flags & ROOT_HANDED_OUT) != 0;
    return n;
}

const char* recordAspirationFailure(bool failedLow) {
    if (failedLow) {
        // Every move scored at or below the old bound; none has a true score
        // inside the wider window yet, so all are searched again, the
        // previous best first.
        for (int i = gSearch.pvIndex; i < gSearch.rootMoveCount; i++) gSearch.rootMoves[i].flags &= ~ROOT_HANDED_OUT;
    } else if (gSearch.rootMoveCount > gSearch.pvIndex) {
        // The moves before the one that failed high are still below alpha;
        // it is searched again first, then the rest.
        gSearch.rootMoves[gSearch.pvIndex].flags &= ~ROOT_HANDED_OUT;
    }
    static const char* const lowMarks[3] = {"-1", "-2", "-3"};
    static const char* const highMarks[3] = {"+1", "+2", "+3"};
    const char* mark = failedLow ? markFailure(FAIL_LOW_1, lowMarks) : markFailure(FAIL_HIGH_1, highMarks);
    widenRootWindow();
    gSearch.rootLowerBound = gSearch.rootAlpha;
    return mark;
}

void resetSearch(Position& pos) {
    pos.historyCount = 1;
    std::memset(&pos.stats, 0, sizeof pos.stats);
    pos.evalStats = EvalStatistics{};
    advanceTranspositionAge();
    pos.listStart[1] = 0;
    for (uint32_t& n : pos.movesSearched) n = 0;
    setStopFlag(pos, false);
    pos.parent = nullptr;
    pos.pathKeys[1] = pos.hashKey;
    gSearch.rootMoveCount = 0;
    gSearch.rootFailBits = 0;
    gSearch.abortFlag.store(false, std::memory_order_relaxed);
    gSearch.lastCompletedDepth = 0;
    gSearch.easyMove = 0;
    gSearch.pvIndex = 0;
    for (SearchShared::Line& line : gSearch.lines) line.depth = 0;
    gParallel.splitCount = 0;
    gParallel.abortCount = 0;
}

void addPositionPV(Position& pos) {
    const PVRow& row = pos.pv[0];
    const int rootPly = int(pos.historyCount);
    for (int i = 1; i < row.end; i++) {
        const Move m = row.moves[i];
        Move list[MAX_MOVES];
        Move* end = generateAllMoves(pos, list);
        bool found = false;
        for (Move* g = list; g < end; g++) found |= *g == m;
        if (!found || !makeMove(pos, m, false)) {
            reportNote("WARNING could not verify move in PV for addPositionPV()!!!");
            break;
        }
        unmakeMove(pos);
        hashStorePV(pos.hashKey, m);
        makeMove(pos, m, true);
        if (int(pos.historyCount) > MAX_PLY) break;
    }
    while (int(pos.historyCount) > rootPly) unmakeMove(pos);
}

bool rootSplitAllowed() {
    RootMove* next = firstNotHandedOut();
    if (next && (next->flags & ROOT_NO_SPLIT)) return false;
    // A later line measures itself against its own last score.
    const SearchShared::Line& line = gSearch.lines[gSearch.pvIndex];
    const int expected = gSearch.pvIndex == 0 ? gSearch.lastCompletedScore : line.depth ? line.score : NO_SCORE;
    return gSearch.rootLowerBound >= expected - ROOT_SPLIT_SCORE_MARGIN ||
           rootMovesHandedOut() > (gSearch.rootMoveCount - gSearch.pvIndex) / 3;
}

RootMove* nextRootMove(Position& pos) {
    if (gSearch.rootMoveCount == 0) buildRootMoves(pos);
    RootMove* r = firstNotHandedOut();
    if (!r) return nullptr;
    r->flags |= ROOT_HANDED_OUT;
    if (currentReporter().rootMove) {
        SpinLockGuard guard(gSearch.outputLock);
        reportRootMove(pos, int(r - gSearch.rootMoves) + 1, r->move, r->text);
    }
    return r;
}

void rootNewBest(Position& pos, int score, int beta, Move move) { rootNewBest(pos, pos, score, beta, move); }

void rootNewBest(Position& searcher, Position& root, int score, int beta, Move move) {
    // The front is that of the line being searched: the better lines stay
    // where they are.
    const int front = gSearch.pvIndex;
    int index = front;
    while (index < gSearch.rootMoveCount && gSearch.rootMoves[index].move != move) index++;
    if (index > front && index < gSearch.rootMoveCount) {
        gSearch.easyMove = 0;
        RootMove best = gSearch.rootMoves[index];
        for (int i = index; i > front; i--) gSearch.rootMoves[i] = gSearch.rootMoves[i - 1];
        gSearch.rootMoves[front] = best;
    }
    // The line is walked on the searcher's own board, which stands at the
    // root like the root record's.
    PVRow& row = searcher.pv[1];
    if (score < beta) {
        const uint32_t nodes = &searcher == &root ? root.stats.nodes : root.stats.nodes + searcher.stats.nodes;
        reportVariation(searcher, row, score, "", nodes);
    } else if (row.moves[1] != move || row.end < 2) {
        // A fail-high has no line yet, only its move.
        row.moves[1] = move;
        row.end = 2;
        row.depth = uint8_t(gSearch.iterationDepth);
    }
    // The root record's line is the move the game plays.
    root.pv[1] = row;
    root.pv[0] = row;
}

int searchRoot(Position& pos, int depth) {
    int alpha = gSearch.rootAlpha;
    const int beta = gSearch.rootBeta;
    const int ply = int(pos.historyCount);
    if (pos.stats.tablebaseProbes == pos.stats.tablebaseHits && depth > 6 && pos.threadNumber == 0) {
        if (pollInputAndClock(pos)) return alpha;
    }
    pos.movesSearched[ply] = 0;
    pos.pathKeys[ply] = pos.hashKey;
    pos.inCheck[ply] = isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);

    while (RootMove* r = nextRootMove(pos)) {
        const Move move = r->move;
        pos.listStart[ply + 1] = pos.listStart[ply];
        const uint32_t nodesBefore = pos.stats.nodes;
        MoveSearch node{depth, alpha, beta};
        node.knownLegal = true;  // root moves were tested when the list was built
        node.keepDepth = (r->flags & (ROOT_NO_SPLIT | ROOT_NO_REDUCE)) != 0;
        int v;
        if (!searchMove(pos, move, node, v)) continue;
        r->score = v;
        r->nodes = pos.stats.nodes - nodesBefore;
        if (searchStopped(pos)) return alpha;
        pos.movesSearched[ply]++;

        if (v > alpha) {
            const int previousAlpha = alpha;
            rootNewBest(pos, v, beta, move);
            alpha = v;
            if (v >= beta) {
                gSearch.rootLowerBound = previousAlpha;
                return v;
            }
        }
        gSearch.rootLowerBound = alpha;

        // The rest of the root moves shared out among the threads.
        if (splitWorthwhile(r->nodes) && rootSplitAllowed() && split(pos, depth, alpha, beta)) {
            if (searchStopped(pos)) return alpha;
            const int best = pos.splitBestScore;
            if (best > alpha && best >= beta) {
                pos.stats.failHighs++;
                return best;
            }
            if (best > alpha) {
                gSearch.rootLowerBound = best;
                return best;
            }
        }
    }

    if (pos.movesSearched[ply] == 0) {
        // Checkmate or stalemate on the board: nothing to search.
        stopSearch();
        return pos.inCheck[ply] ? -MATE : 0;
    }
    return alpha;
}

namespace {

// Lines wanted in this iteration: never more than there are root moves.
int linesWanted() { return std::max(1, std::min(gSearch.multiPV, gSearch.rootMoveCount)); }

// Line k (from 1) of iteration d: the root moves from k on, the k better
// ones set aside, in an aspiration window around the line's own last score
// and widened on failure as the first line's is. False when the search was
// stopped before the line was complete; otherwise the line is recorded.
bool searchLaterLine(Position& pos, int d, int k) {
    gSearch.pvIndex = k;
    SearchShared::Line& line = gSearch.lines[k];
    for (int i = k; i < gSearch.rootMoveCount; i++) gSearch.rootMoves[i].flags &= ~ROOT_HANDED_OUT;
    // The line's first move is its principal move, searched as the first
    // line's is: unreduced and by this thread alone.
    gSearch.rootMoves[k].flags |= ROOT_NO_SPLIT | ROOT_NO_REDUCE;
    gSearch.rootFailBits = 0;
    const bool known = line.depth > 0 && line.score > -ASPIRATION_CUTOFF && line.score < ASPIRATION_CUTOFF;
    gSearch.rootAlpha = known ? line.score - ASPIRATION_WINDOW : -MATE;
    gSearch.rootBeta = known ? line.score + ASPIRATION_WINDOW : MATE;
    gSearch.rootLowerBound = gSearch.rootAlpha;
    // Its last line seeds the table, as the first line's does.
    if (line.depth > 0 && line.row.end >= 2 && line.row.moves[1] == gSearch.rootMoves[k].move) {
        pos.pv[0] = line.row;
        addPositionPV(pos);
    }

    bool searched = false;
    int v = NO_SCORE;
    while (gGame.engineSide != -1) {
        if (RootMove* next = firstNotHandedOut()) next->flags &= ~ROOT_NO_REDUCE;
        v = searchRoot(pos, d);
        searched = true;
        if (searchStopped(pos)) return false;
        if (v > gSearch.rootAlpha && v < gSearch.rootBeta) break;
        const bool failedLow = v <= gSearch.rootAlpha;
        if (failedLow && (gSearch.rootFailBits & FAIL_HIGH_BITS)) break;
        const char* mark = recordAspirationFailure(failedLow);
        reportVariation(pos, pos.pv[0], v, mark);
    }
    if (!searched) return false;
    line.row = pos.pv[0];
    line.score = v;
    line.depth = d;
    return true;
}

// After every line of an iteration is complete: a later line that came out
// better than an earlier one (each was searched in its own window) moves up,
// its root move with it, and the lines are shown again in their new order.
void orderLines(Position& pos, int count) {
    bool moved = false;
    for (int i = 1; i < count; i++) {
        for (int j = i; j > 0 && gSearch.lines[j].score > gSearch.lines[j - 1].score; j--) {
            std::swap(gSearch.lines[j], gSearch.lines[j - 1]);
            std::swap(gSearch.rootMoves[j], gSearch.rootMoves[j - 1]);
            moved = true;
        }
    }
    if (!moved) return;
    for (int k = 0; k < count; k++) {
        gSearch.pvIndex = k;
        reportVariation(pos, gSearch.lines[k].row, gSearch.lines[k].score, "");
    }
    gSearch.pvIndex = 0;
}

// The lines after the first of iteration d, whose first line scored
// `bestScore` with the line in the root rows. The root rows and the root
// window are the first line's again afterwards: the game plays that line's
// move, and the next iteration aims its window at its score.
void searchLaterLines(Position& pos, int d, int bestScore) {
    gSearch.lines[0].row = pos.pv[0];
    gSearch.lines[0].score = bestScore;
    gSearch.lines[0].depth = d;
    const int alpha = gSearch.rootAlpha, beta = gSearch.rootBeta, lowerBound = gSearch.rootLowerBound;
    const uint32_t failBits = gSearch.rootFailBits;
    bool complete = true;
    for (int k = 1; complete && k < linesWanted(); k++) complete = searchLaterLine(pos, d, k);
    gSearch.pvIndex = 0;
    if (complete) orderLines(pos, linesWanted());
    gSearch.rootAlpha = alpha;
    gSearch.rootBeta = beta;
    gSearch.rootLowerBound = lowerBound;
    gSearch.rootFailBits = failBits;
    pos.pv[0] = gSearch.lines[0].row;
    pos.pv[1] = gSearch.lines[0].row;
}

}  // namespace

// The iterations themselves; iterate brings the other search threads in.
static int deepen(Position& pos);

int iterate(Position& pos) {
    beginParallelSearch(pos);
    const int score = deepen(pos);
    endParallelSearch();
    return score;
}

static int deepen(Position& pos) {
    reportSearchStarted();
    // A depth limit counts the plies of the last iteration plus one; at
    // least one ply is searched whatever the limit, or there would be no
    // move to play.
    const int maximum = gLimits.depthLimit > 0 ? std::max(gLimits.depthLimit, 2) : MAX_PLY + 1;

    int lastCall = NO_SCORE, callBeforeLast = NO_SCORE;
    for (int d = 1; !searchStopped(pos); ) {
        gSearch.iterationDepth = d;
        if (d == 1) {
            gSearch.rootAlpha = -MATE;
            gSearch.rootBeta = MATE;
            gSearch.rootLowerBound = -MATE;
        } else if (gSearch.lastCompletedScore < ASPIRATION_CUTOFF) {
            const int s = gSearch.lastCompletedScore;
            gSearch.rootAlpha = s - ASPIRATION_WINDOW;
            gSearch.rootBeta = s + ASPIRATION_WINDOW;
            gSearch.rootLowerBound = s - ASPIRATION_WINDOW;
        }

        int v = NO_SCORE;
        bool complete = false;
        while (gGame.engineSide != -1) {
            if (d > 1) addPositionPV(pos);
            if (RootMove* next = firstNotHandedOut()) next->flags &= ~ROOT_NO_REDUCE;
            v = searchRoot(pos, d);
            callBeforeLast = lastCall;
            lastCall = v;
            if (v > gSearch.rootAlpha && v < gSearch.rootBeta) {
                complete = true;
                break;
            }
            const bool failedLow = v <= gSearch.rootAlpha;
            if (failedLow) {
                if (searchStopped(pos) || (gSearch.rootFailBits & FAIL_HIGH_BITS)) break;
                if (d > EASY_MOVE_FAIL_LOW_DEPTH) gSearch.easyMove = 0;
            }
            const char* mark = recordAspirationFailure(failedLow);
            reportVariation(pos, pos.pv[0], v, mark);
            if (searchStopped(pos)) break;
        }
        if (complete && !searchStopped(pos)) {
            gSearch.lastCompletedScore = v;
            gSearch.lastCompletedDepth = d;
            // The mate asked for is proved: nothing more to find.
            if (gLimits.mateLimit > 0 && v > TABLEBASE_WIN && (MATE - v + 1) / 2 <= gLimits.mateLimit) break;
        }
        if (gSearch.multiPV > 1 && !searchStopped(pos) && gSearch.rootMoveCount > 1) searchLaterLines(pos, d, v);

        // A found mate ends the deepening (read one root search late, as a
        // mate score needs one more iteration to be confirmed), as does a
        // hopeless position searched deep enough, or no legal move at all.
        const int w = callBeforeLast;
        if (mateFound(w, d) || (w <= -MATE_THRESHOLD && d > HOPELESS_DEPTH) || (w == -MATE && gSearch.rootMoveCount == 0))
            break;
        // A node budget spent during the first iteration ends the search
        // here (the time check lets that iteration finish).
        if (nodeBudgetSpent(pos)) break;
        prepareRootFlags();
        if (++d >= maximum) break;
    }
    // Without a legal move the one root search says which end it is: 0 for
    // stalemate, -10000 for checkmate.
    if (gSearch.rootMoveCount == 0 && lastCall != -MATE) return lastCall;
    return callBeforeLast;
}

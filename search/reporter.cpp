#include "search/reporter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "platform/clock.h"
#include "search/movepicker.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/search_shared.h"
#include "search/time_control.h"
#include "search/transposition.h"
#include "search/win_draw_loss.h"

namespace {

Reporter active;

void writeOut(ReportedMove& out, Move m, const char* san) {
    out.move = m;
    std::snprintf(out.san, sizeof out.san, "%s", san);
    MoveC text(m);
    std::snprintf(out.coordinate, sizeof out.coordinate, "%s", moveToPureCoordinate(text));
}

bool inCheckNow(const Position& pos) {
    return isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);
}

// The line's moves written out on the board, with the table's exact
// entries beyond its end appended to the row itself.
void walkLine(Position& pos, PVRow& row, VariationReport& line) {
    const int rootPly = int(pos.historyCount);
    int firstFromTable = 1 << 30;
    for (int i = 1; i < row.end && i <= MAX_PLY; i++) {
        const Move m = row.moves[i];
        pos.currentMove[pos.historyCount] = m;
        if (!validMoveTest(pos, m)) {
            line.illegalIndex = i;
            line.illegalMove = m;
            break;
        }
        MoveC text(m);
        const char* san = moveToSan(text, pos);
        ReportedMove& out = line.moves[line.length];
        writeOut(out, m, san);
        if (!makeMove(pos, m, false)) {
            line.illegalIndex = i;
            line.illegalMove = m;
            break;
        }
        out.check = inCheckNow(pos);
        out.fromTable = i >= firstFromTable;
        line.length++;
        if (i == row.end - 1 && row.end <= MAX_PLY) {
            int s;
            if (hashProbe(pos, 0, -MATE, MATE, s) == HASH_EXACT && pos.hashMove[pos.historyCount] &&
                repetitionCheck(pos) == 0) {
                row.moves[row.end] = pos.hashMove[pos.historyCount];
                if (firstFromTable > row.end) firstFromTable = row.end;
                row.end++;
            }
        }
    }
    while (int(pos.historyCount) > rootPly) unmakeMove(pos);
}

}  // namespace

bool variationOfNote(uint32_t nodes, int score) { return nodes >= VARIATION_MIN_NODES || score >= SHOWN_AS_MATE; }

void setReporter(const Reporter& reporter) { active = reporter; }

const Reporter& currentReporter() { return active; }

void reportVariation(Position& pos, PVRow& row, int score, const char* mark) {
    reportVariation(pos, row, score, mark, pos.stats.nodes);
}

void reportVariation(Position& pos, PVRow& row, int score, const char* mark, uint32_t nodes) {
    if (gLimits.puzzle) score = -score;  // the puzzle search is for the opponent
    // The lines a strength limit searches beyond those asked for stay unseen.
    if (gSearch.pvIndex >= gSearch.shownLines) return;
    const auto shows = active.showsVariation ? active.showsVariation : variationOfNote;
    if (!shows(nodes, score)) return;

    VariationReport line;
    line.depth = gSearch.iterationDepth;
    line.multiPV = gSearch.shownLines > 1 ? gSearch.pvIndex + 1 : 0;
    line.materialPhase = materialPhase(pos);
    line.score = score;
    line.mark = mark ? mark : "";
    line.elapsed = searchElapsed(timeNow());
    line.nodes = nodes;
    line.selDepth = pos.stats.selDepth;
    line.hashfull = transpositionFullness();
    line.tablebaseHits = pos.stats.tablebaseHits;
    line.expectedReply = gLimits.pondering ? gSearch.expectedReply : "";
    if (row.end == 0 && gSearch.rootMoveCount > 0) {
        line.hasRootMove = true;
        const RootMove& first = gSearch.rootMoves[gSearch.pvIndex];
        writeOut(line.rootMove, first.move, first.text);
        line.thirdFailHigh = (gSearch.rootFailBits & FAIL_HIGH_3) != 0;
    }
    walkLine(pos, row, line);
    if (active.variation) active.variation(line);
}

void reportRootMove(Position& pos, int index, Move move, const char* san) {
    if (!active.rootMove) return;
    RootMoveReport root;
    root.depth = gSearch.iterationDepth;
    root.elapsed = searchElapsed(timeNow());
    root.nodes = pos.stats.nodes;
    root.allNodesKnown = gSearch.threadCount <= 1;
    root.index = index;
    root.count = gSearch.rootMoveCount;
    root.expectedReply = gLimits.pondering ? gSearch.expectedReply : "";
    writeOut(root.move, move, san);
    active.rootMove(root);
}

void reportStatistics(const Position& pos, uint32_t now, uint32_t knps) {
    if (!active.statistics) return;
    StatisticsReport report;
    report.stats = pos.stats;
    report.evalStats = pos.evalStats;
    report.depth = gSearch.iterationDepth;
    report.elapsed = searchElapsed(now);
    report.knps = knps;
    report.splits = gParallel.splitCount;
    report.aborts = gParallel.abortCount;
    active.statistics(report);
}

void reportNote(const char* format, ...) {
    if (!active.note) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    active.note(text);
}

void reportSearchStarted() {
    if (active.searchStarted) active.searchStarted();
}

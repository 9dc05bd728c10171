#include "search/output.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "platform/clock.h"
#include "search/movepicker.h"
#include "search/search.h"
#include "search/time_control.h"
#include "search/transposition.h"

OutputSettings gOutput;

namespace {

// A short search shows its line only when it has found a mate.
constexpr uint32_t PV_MIN_NODES = 200000;
// The console's root progress line is worth showing only in long searches.
constexpr uint32_t PROGRESS_MIN_NODES = 2000000;
constexpr uint32_t PROGRESS_MIN_MS = 10000;
// The console form starts a new line after this many characters of moves.
constexpr int CONSOLE_PV_WIDTH = 41;
// A UCI interface hears which root move is searched only after the first
// second (a short search would flood it) and then at most four times a
// second.
constexpr uint32_t CURRMOVE_MIN_MS = 1000;
constexpr uint32_t CURRMOVE_INTERVAL_MS = 250;
uint32_t lastCurrmoveShown = 0;

// A fixed line buffer: output is produced during the search, which never
// allocates.
struct LineBuffer {
    char text[4096];
    int length = 0;
    void append(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (length >= int(sizeof text) - 1) return;
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(text + length, sizeof text - length, format, args);
        va_end(args);
        if (n > 0) length = std::min(length + n, int(sizeof text) - 1);
    }
};

// Nodes in nine columns, in millions once they no longer fit.
void formatNodes(char (&text)[32], uint32_t nodes) {
    if (nodes >= 1000000000u) std::snprintf(text, sizeof text, "%8.2fM", nodes / 1e6);
    else std::snprintf(text, sizeof text, "%9u", nodes);
}

// The move being searched at the root, with the predicted reply in front of
// it while pondering.
void appendRootMoveText(LineBuffer& line, const char* text) {
    if (gSearch.ponderingInProgress && !gOutput.xboard) line.append(" (%s)", gSearch.ponderMoveText);
    line.append(" %s", text);
}

inline bool inCheckNow(const Position& pos) {
    return isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);
}

void emit(const LineBuffer& line) {
    std::fwrite(line.text, 1, size_t(line.length), stdout);
    std::fflush(stdout);
}

// "score cp" in centipawns, or "score mate" in moves: positive when the side
// to move mates, negative when it is mated. A win the Syzygy tables know
// without its distance to mate (TABLEBASE_WIN less the plies to it) is no
// mate in any number of moves: it stays in centipawns, 98 pawns up. A
// fail-high or fail-low mark makes the score a bound.
void appendUciScore(LineBuffer& line, int score, bool hasMark, const char* mark) {
    if (score > TABLEBASE_WIN) line.append(" score mate %i", (MATE - score + 1) / 2);
    else if (score < -TABLEBASE_WIN) line.append(" score mate %i", -((MATE + score - 1) / 2));
    else line.append(" score cp %i", score);
    if (hasMark) line.append(mark[0] == '+' ? " lowerbound" : " upperbound");
}

void appendUciHeader(LineBuffer& line, const Position& pos, int score, bool hasMark, const char* mark,
                     uint32_t elapsed, uint32_t nodes) {
    line.append("info depth %i", gSearch.iterationDepth);
    if (pos.stats.selDepth > 1) line.append(" seldepth %u", pos.stats.selDepth - 1);
    appendUciScore(line, score, hasMark, mark);
    const uint64_t nps = uint64_t(nodes) * 1000 / std::max<uint32_t>(elapsed, 1);
    line.append(" nodes %u nps %llu time %u hashfull %i pv", nodes, (unsigned long long)nps, elapsed,
                transpositionFullness());
}

}  // namespace

void printNote(const char* format, ...) {
    LineBuffer line;
    if (gOutput.uci) line.append("info string ");
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line.text + line.length, sizeof line.text - line.length - 1, format, args);
    va_end(args);
    if (n > 0) line.length = std::min(line.length + n, int(sizeof line.text) - 2);
    line.append("\n");
    emit(line);
}

void printPV(Position& pos, PVRow& row, int score, const char* mark) { printPV(pos, row, score, mark, pos.stats.nodes); }

void printPV(Position& pos, PVRow& row, int score, const char* mark, uint32_t nodes) {
    const uint32_t elapsed = timeNow() - gLimits.startTime;
    const double seconds = elapsed / 1000.0;
    if (gSearch.puzzle) score = -score;  // the puzzle search is for the opponent
    // A UCI interface shows every line it gets (and keeps the last score).
    const bool uci = gOutput.uci;
    if (!uci && nodes < PV_MIN_NODES && score < SHOWN_AS_MATE) return;

    const bool hasMark = mark && mark[0];
    LineBuffer line;
    if (uci) {
        appendUciHeader(line, pos, score, hasMark, mark, elapsed, nodes);
    } else if (gOutput.xboard) {
        line.append("%i %i %u %u", gSearch.iterationDepth, score, elapsed / 10, nodes);
    } else {
        char scoreText[32];
        if (hasMark) std::snprintf(scoreText, sizeof scoreText, "%6s", mark);
        else std::snprintf(scoreText, sizeof scoreText, "%+6.2f", score / 100.0);
        char nodeText[32];
        formatNodes(nodeText, nodes);
        if (seconds < 60)
            line.append("%2i  %6.2f  %s  %s  ", gSearch.iterationDepth, seconds, nodeText, scoreText);
        else
            line.append("%2i   %02u:%02u  %s  %s  ", gSearch.iterationDepth, elapsed / 60000, (elapsed / 1000) % 60,
                        nodeText, scoreText);
    }
    const int header = line.length;

    if (row.end == 0 && gSearch.rootMoveCount > 0 && uci) {
        MoveC first(gSearch.rootMoves[0].move);
        line.append(" %s", moveToPureCoordinate(first));
    } else if (row.end == 0 && gSearch.rootMoveCount > 0) {
        appendRootMoveText(line, gSearch.rootMoves[0].text);
        bool thirdFailHigh = gSearch.rootFailBits & FAIL_HIGH_3;
        line.append(hasMark && thirdFailHigh ? "!!        " : "          ");
    }

    // Walk the line on the board, writing each move in SAN; at its end an
    // exact table entry may extend it further.
    const int rootPly = int(pos.historyCount);
    int sinceBreak = 0;
    int firstFromTable = 1 << 30;
    for (int i = 1; i < row.end && i <= MAX_PLY; i++) {
        const Move m = row.moves[i];
        const int before = line.length;
        pos.currentMove[pos.historyCount] = m;
        // A UCI line simply ends before a move that cannot be played.
        if (!validMoveTest(pos, m)) {
            if (!uci) line.append("WARNING: illegal move in PV! i:%d move:%u\n", i, m);
            break;
        }
        MoveC text(m);
        if (uci) line.append(" %s", moveToPureCoordinate(text));
        else if (i == 1) appendRootMoveText(line, moveToSan(text, pos));
        else line.append(" %s", moveToSan(text, pos));
        if (!makeMove(pos, m, false)) {
            line.length = before;
            if (!uci) line.append("WARNING: illegal move in PV! i:%d move:%u\n", i, m);
            break;
        }
        if (!uci && inCheckNow(pos)) line.append("+");
        if (!uci && i >= firstFromTable) line.append("(HT)");
        if (i == row.end - 1 && row.end <= MAX_PLY) {
            int s;
            if (hashProbe(pos, 0, -MATE, MATE, s) == HASH_EXACT && pos.hashMove[pos.historyCount] &&
                repetitionCheck(pos) == 0) {
                row.moves[row.end] = pos.hashMove[pos.historyCount];
                if (firstFromTable > row.end) firstFromTable = row.end;
                row.end++;
            }
        }
        sinceBreak += line.length - before;
        if (consoleForm() && sinceBreak > CONSOLE_PV_WIDTH) {
            line.append("\n%31s", "");
            sinceBreak = 0;
        }
    }
    while (int(pos.historyCount) > rootPly) unmakeMove(pos);
    if (!uci && line.length - header < 4) line.append("     ");
    line.append("\n");
    emit(line);
}

void printRootProgress(Position& pos, int index, const RootMove& record) {
    const uint32_t now = timeNow();
    const uint32_t elapsed = now - gLimits.startTime;
    const uint32_t nodes = pos.stats.nodes;
    if (gOutput.uci) {
        if (elapsed < CURRMOVE_MIN_MS || now - lastCurrmoveShown < CURRMOVE_INTERVAL_MS) return;
        lastCurrmoveShown = now;
        MoveC text(record.move);
        std::printf("info depth %i currmove %s currmovenumber %i\n", gSearch.iterationDepth, moveToPureCoordinate(text),
                    index);
        std::fflush(stdout);
        return;
    }
    if (nodes < PROGRESS_MIN_NODES || elapsed < PROGRESS_MIN_MS) return;
    LineBuffer line;
    char nodeText[32];
    if (gSearch.threadCount > 1) std::snprintf(nodeText, sizeof nodeText, "%9s", "");  // other threads' nodes are not in
    else formatNodes(nodeText, nodes);
    const double seconds = elapsed / 1000.0;
    if (seconds < 60)
        line.append("%2i  %6.2f  %s   %2i/%2i  ", gSearch.iterationDepth, seconds, nodeText, index, gSearch.rootMoveCount);
    else
        line.append("%2i   %02u:%02u  %s   %2i/%2u  ", gSearch.iterationDepth, elapsed / 60000, (elapsed / 1000) % 60,
                    nodeText, index, unsigned(gSearch.rootMoveCount));
    appendRootMoveText(line, record.text);
    line.append("          \r");
    emit(line);
}

void printSearchProgress(Position& pos) {
    MoveC root(pos.currentMove[1]);
    std::printf("stat01: %u %i %i %i %i %s\n", (timeNow() - gLimits.startTime) / 10, int(pos.stats.nodes),
                gSearch.iterationDepth, gSearch.rootMoveCount, int(pos.movesDelivered[pos.historyCount]),
                moveToCoordinate(root));
    std::fflush(stdout);
}

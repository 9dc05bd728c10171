#include "shell/reporters.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/clock.h"
#include "search/score.h"
#include "search/win_draw_loss.h"
#include "shell/shell_state.h"

namespace {

// The console starts a new line after this many characters of moves.
constexpr int CONSOLE_PV_WIDTH = 41;
// The console's root progress line is worth showing only in long searches.
constexpr uint32_t PROGRESS_MIN_NODES = 2000000;
constexpr uint32_t PROGRESS_MIN_MS = 10000;
// A UCI interface hears which root move is searched only after the first
// second (a short search would flood it) and then at most four times a
// second.
constexpr uint32_t CURRMOVE_MIN_MS = 1000;
constexpr uint32_t CURRMOVE_INTERVAL_MS = 250;

// A fixed line buffer: lines are written during the search, which never
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
    void emit() const {
        std::fwrite(text, 1, size_t(length), stdout);
        std::fflush(stdout);
    }
};

// Nodes in nine columns, in millions once they no longer fit.
void formatNodes(char (&text)[32], uint32_t nodes) {
    if (nodes >= 1000000000u) std::snprintf(text, sizeof text, "%8.2fM", nodes / 1e6);
    else std::snprintf(text, sizeof text, "%9u", nodes);
}

// Depth, time and nodes in the console's columns, then `rest` (the score,
// or the move's number in the list).
void appendConsoleColumns(LineBuffer& line, int depth, uint32_t elapsed, const char* nodes) {
    const double seconds = elapsed / 1000.0;
    if (seconds < 60) line.append("%2i  %6.2f  %s", depth, seconds, nodes);
    else line.append("%2i   %02u:%02u  %s", depth, elapsed / 60000, (elapsed / 1000) % 60, nodes);
}

// The root move, with the reply a ponder search assumes in front of it.
void appendRootMoveText(LineBuffer& line, const char* expectedReply, const char* san) {
    if (expectedReply[0]) line.append(" (%s)", expectedReply);
    line.append(" %s", san);
}

// The moves of a line in SAN, as the console and xboard show them: checks
// marked "+"; the console marks the table's moves beyond the searched line
// "(HT)" and wraps long lines under the first move. An interface takes
// whatever follows the moves for more moves, so xboard gets moves only, and
// a score that is only a bound ends the line with "!" (at least) or "?" (at
// most), as its protocol asks.
void appendSanMoves(LineBuffer& line, const VariationReport& report, bool console) {
    const int header = line.length;
    if (report.hasRootMove) {
        appendRootMoveText(line, console ? report.expectedReply : "", report.rootMove.san);
        if (console) line.append(report.mark[0] && report.thirdFailHigh ? "!!        " : "          ");
    }
    int sinceBreak = 0;
    for (int i = 0; i < report.length; i++) {
        const ReportedMove& m = report.moves[i];
        const int before = line.length;
        if (i == 0) appendRootMoveText(line, console ? report.expectedReply : "", m.san);
        else line.append(" %s", m.san);
        if (m.check) line.append("+");
        if (m.fromTable && console) line.append("(HT)");
        sinceBreak += line.length - before;
        if (console && sinceBreak > CONSOLE_PV_WIDTH) {
            line.append("\n%31s", "");
            sinceBreak = 0;
        }
    }
    if (!console) {
        if (report.mark[0]) line.append(report.mark[0] == '+' ? "!" : "?");
        line.append("\n");
        return;
    }
    if (report.illegalIndex) line.append("WARNING: illegal move in PV! i:%d move:%u\n", report.illegalIndex, report.illegalMove);
    if (line.length - header < 4) line.append("     ");
    line.append("\n");
}

// --- the console -----------------------------------------------------------

void consoleVariation(const VariationReport& report) {
    LineBuffer line;
    char scoreText[32];
    if (report.mark[0]) std::snprintf(scoreText, sizeof scoreText, "%6s", report.mark);
    else std::snprintf(scoreText, sizeof scoreText, "%+6.2f", report.score / 100.0);
    char nodeText[32];
    formatNodes(nodeText, report.nodes);
    appendConsoleColumns(line, report.depth, report.elapsed, nodeText);
    line.append("  %s  ", scoreText);
    appendSanMoves(line, report, true);
    line.emit();
}

void consoleRootMove(const RootMoveReport& root) {
    if (root.nodes < PROGRESS_MIN_NODES || root.elapsed < PROGRESS_MIN_MS) return;
    LineBuffer line;
    char nodeText[32];
    // With several threads the others' nodes are not in the count.
    if (!root.allNodesKnown) std::snprintf(nodeText, sizeof nodeText, "%9s", "");
    else formatNodes(nodeText, root.nodes);
    appendConsoleColumns(line, root.depth, root.elapsed, nodeText);
    if (root.elapsed / 1000.0 < 60) line.append("   %2i/%2i  ", root.index, root.count);
    else line.append("   %2i/%2u  ", root.index, unsigned(root.count));
    appendRootMoveText(line, root.expectedReply, root.move.san);
    line.append("          \r");
    line.emit();
}

// Percentages in 64-bit arithmetic: the counters of a long search times 100
// do not fit 32 bits.
unsigned percent(uint64_t part, uint64_t whole) { return unsigned(part * 100 / whole); }
int truncatedPercent(uint64_t part, uint64_t whole) { return int(double(part) * 100.0 / double(whole)); }

void consoleStatistics(const StatisticsReport& report) {
    char buffer[512];
    formatStatistics(report, buffer);
    // A test suite prints its own verdicts instead.
    if (!gShell.epdtest) std::fputs(buffer, stdout);
}

void consoleSearchStarted() { std::printf("Ply    Time\tNodes\tScore\tPV\n"); }

void plainNote(const char* text) {
    LineBuffer line;
    line.append("%s\n", text);
    line.emit();
}

// A person reading along sees the lines worth reading; in analysis, every
// line.
bool consoleShows(uint32_t nodes, int score) { return gShell.analysisMode || variationOfNote(nodes, score); }

// --- xboard ----------------------------------------------------------------

// With "post" every line, with "nopost" none.
bool xboardShows(uint32_t, int) { return gShell.showThinking; }

// xboard's score: centipawns, or 100000 + N for a mate in N moves and
// -100000 - N when mated in N. A tablebase win without its distance stays
// in centipawns.
constexpr int XBOARD_MATE = 100000;
int xboardScore(int score) {
    if (score > TABLEBASE_WIN) return XBOARD_MATE + (MATE - score + 1) / 2;
    if (score < -TABLEBASE_WIN) return -XBOARD_MATE - (MATE + score - 1) / 2;
    return score;
}

void xboardVariation(const VariationReport& report) {
    LineBuffer line;
    line.append("%i %i %u %u", report.depth, xboardScore(report.score), report.elapsed / 10, report.nodes);
    appendSanMoves(line, report, false);
    line.emit();
}

// --- UCI -------------------------------------------------------------------

// "score cp" in centipawns, or "score mate" in moves: positive when the side
// to move mates, negative when it is mated. A win the Syzygy tables know
// without its distance to mate (TABLEBASE_WIN less the plies to it) is no
// mate in any number of moves: it stays in centipawns, 98 pawns up. A
// fail-high or fail-low mark makes the score a bound.
void appendUciScore(LineBuffer& line, int score, const char* mark) {
    if (score > TABLEBASE_WIN) line.append(" score mate %i", (MATE - score + 1) / 2);
    else if (score < -TABLEBASE_WIN) line.append(" score mate %i", -((MATE + score - 1) / 2));
    else line.append(" score cp %i", score);
    if (mark[0]) line.append(mark[0] == '+' ? " lowerbound" : " upperbound");
}

// A UCI interface shows every line it gets (and keeps the last score).
bool everyVariation(uint32_t, int) { return true; }

void uciVariation(const VariationReport& report) {
    LineBuffer line;
    line.append("info depth %i", report.depth);
    if (report.selDepth > 1) line.append(" seldepth %u", report.selDepth - 1);
    if (report.multiPV > 0) line.append(" multipv %i", report.multiPV);
    appendUciScore(line, report.score, report.mark);
    if (gShell.showWDL) {
        const WinDrawLoss wdl = winDrawLoss(report.score, report.materialPhase);
        line.append(" wdl %i %i %i", wdl.win, wdl.draw, wdl.loss);
    }
    const uint64_t nps = uint64_t(report.nodes) * 1000 / std::max<uint32_t>(report.elapsed, 1);
    line.append(" nodes %u nps %llu time %u hashfull %i tbhits %u pv", report.nodes, (unsigned long long)nps,
                report.elapsed, report.hashfull, report.tablebaseHits);
    // A UCI line simply ends before a move that cannot be played.
    if (report.hasRootMove) line.append(" %s", report.rootMove.coordinate);
    for (int i = 0; i < report.length; i++) line.append(" %s", report.moves[i].coordinate);
    line.append("\n");
    line.emit();
}

uint32_t lastCurrmoveShown = 0;

void uciRootMove(const RootMoveReport& root) {
    const uint32_t now = timeNow();
    if (root.elapsed < CURRMOVE_MIN_MS || now - lastCurrmoveShown < CURRMOVE_INTERVAL_MS) return;
    lastCurrmoveShown = now;
    std::printf("info depth %i currmove %s currmovenumber %i\n", root.depth, root.move.coordinate, root.index);
    std::fflush(stdout);
}

void uciNote(const char* text) {
    LineBuffer line;
    line.append("info string %s\n", text);
    line.emit();
}

Reporter makeConsoleReporter() {
    Reporter r;
    r.showsVariation = consoleShows;
    r.searchStarted = consoleSearchStarted;
    r.variation = consoleVariation;
    r.rootMove = consoleRootMove;
    r.statistics = consoleStatistics;
    r.note = plainNote;
    return r;
}

Reporter makeXboardReporter() {
    Reporter r;
    r.showsVariation = xboardShows;
    r.variation = xboardVariation;
    r.note = plainNote;
    return r;
}

Reporter makeUciReporter() {
    Reporter r;
    r.showsVariation = everyVariation;
    r.variation = uciVariation;
    r.rootMove = uciRootMove;
    r.note = uciNote;
    return r;
}

}  // namespace

const Reporter consoleReporter = makeConsoleReporter();
const Reporter xboardReporter = makeXboardReporter();
const Reporter uciReporter = makeUciReporter();

void useProtocolReporter() {
    setReporter(gShell.uciMode ? uciReporter : gShell.xboardMode ? xboardReporter : consoleReporter);
}

void formatStatistics(const StatisticsReport& report, char* buffer) {
    const SearchStatistics& s = report.stats;
    const EvalStatistics& e = report.evalStats;
    const double seconds = double(report.elapsed) / 1000.0;
    const uint64_t failHighs = uint64_t(s.failHighs) + 1;
    int n = 0;
    const int size = 512;
    n += std::snprintf(buffer + n, size - n, "  depth=%i time=%.2fs n=%u fh=%u%% killers=%u%% Knps=%u\r\n",
                       report.depth, seconds, s.nodes, percent(s.firstMoveFailHighs, failHighs),
                       percent(s.killerFailHighs, failHighs), report.knps);
    n += std::snprintf(buffer + n, size - n, "  nodes-> qsearch=%u qsearch%%=%i%%\n", s.quiescenceNodes,
                       truncatedPercent(s.quiescenceNodes, uint64_t(s.nodes) + 1));
    n += std::snprintf(buffer + n, size - n, "  prune=%u lmr_res=%u pvs_res=%u chkext=%u ppush=%u\r\n", s.prunedMoves,
                       s.lateMoveResearches, s.pvsResearches, s.checkExtensions, s.passedPawnPushes);
    n += std::snprintf(buffer + n, size - n, "  nm=%lu%% evals=%u lazyevals=%u egtb_probes=%u egtb_hits=%u\r\n",
                       (unsigned long)percent(s.nullMoveCutoffs, uint64_t(s.nullMovesTried) + 1), e.evals, e.lazyEvals,
                       s.tablebaseProbes, s.tablebaseHits);
    n += std::snprintf(buffer + n, size - n, "  hashing-> trans/ref=%d%% ttfh=%d%% pawn=%d%%\r\n",
                       int(percent(s.hashHits, uint64_t(s.hashProbes) + 1)),
                       int(percent(s.hashMoveFailHighs, uint64_t(s.firstMoveFailHighs) + 1)),
                       truncatedPercent(e.pawnHits, uint64_t(e.pawnProbes) + 1));
    std::snprintf(buffer + n, size - n, "  smp-> splits=%d aborts=%d\r\n\r\n", int(report.splits), int(report.aborts));
}

#include "search/tablebase_probes.h"

#include "board/attacks.h"
#include "egtb/syzygy_probe.h"
#include "egtb/tablebase_probe.h"
#include "search/search_shared.h"

namespace {

// The DTZ tables may give a distance one ply short (some store whole
// moves), so a win counts as safe from the fifty-move rule only with a ply
// to spare.
constexpr int SAFE_WIN_PLIES = FIFTY_MOVE_PLIES - 1;

// Whether the root position stood on the board before, since the last
// capture or pawn move (the game's repetition list holds those positions,
// the current one last when the root is the game's position).
bool rootSeenBefore(const Position& pos) {
    const uint32_t count = gGame.repetitionCount;
    int seen = 0;
    for (uint32_t i = 0; i < count; i++) seen += gGame.repetitionList[i] == pos.hashKey;
    if (count > 0 && gGame.repetitionList[count - 1] == pos.hashKey) seen--;
    return seen > 0;
}

bool isWin(int wdl) { return wdl >= SYZYGY_CURSED_WIN; }

// A root move's outcome under the settings: without the fifty-move rule a
// cursed win is a win and a blessed loss a loss; with it, a win or loss that
// the fifty-move count already used up turns into a draw by the rule.
int judgeRootMove(const SyzygyMoveResult& r, Move m, int count, bool fiftyMoveRule) {
    int wdl = r.wdl;
    if (!fiftyMoveRule) {
        if (wdl == SYZYGY_CURSED_WIN) wdl = SYZYGY_WIN;
        if (wdl == SYZYGY_BLESSED_LOSS) wdl = SYZYGY_LOSS;
        return wdl;
    }
    // A capture or pawn move starts the count afresh: its result is the
    // table's. Any other move adds its distance to the plies already played.
    if (isCapture(m) || movePiece(m) == PAWN) return wdl;
    if (wdl == SYZYGY_WIN && r.dtz + count > SAFE_WIN_PLIES) return SYZYGY_CURSED_WIN;
    if (wdl == SYZYGY_LOSS && r.dtz + count > FIFTY_MOVE_PLIES) return SYZYGY_BLESSED_LOSS;
    return wdl;
}

const SyzygyMoveResult* findResult(const SyzygyMoveResult* results, int n, Move m) {
    for (int i = 0; i < n; i++)
        if (results[i].from == moveFrom(m) && results[i].to == moveTo(m) && results[i].promotion == movePromotion(m))
            return &results[i];
    return nullptr;
}

}  // namespace

int syzygyScore(int wdl, bool fiftyMoveRule) {
    switch (wdl) {
    case SYZYGY_WIN: return TABLEBASE_WIN;
    case SYZYGY_LOSS: return -TABLEBASE_WIN;
    case SYZYGY_CURSED_WIN: return fiftyMoveRule ? 0 : TABLEBASE_WIN;
    case SYZYGY_BLESSED_LOSS: return fiftyMoveRule ? 0 : -TABLEBASE_WIN;
    default: return 0;
    }
}

bool probeTablebasesAtNode(Position& pos, int ply, int depth, int& score) {
    if (gSearch.tablebaseMenLimit <= 0 && gSearch.syzygyMenLimit <= 0) return false;
    if (ply > gSearch.iterationDepth || pos.castling) return false;
    const int men = popCount(occupied(pos));
    const Move last = pos.currentMove[ply - 1];
    // Our tables are read from disk through a cache: only where the material
    // has just changed, or near the root. Syzygy's WDL assumes a fresh
    // fifty-move count: under the rule it is exact only with the count at 0
    // (later a win may already be too slow); without the rule the count does
    // not matter.
    const bool ours = men <= gSearch.tablebaseMenLimit && (ply < 3 || isCapture(last) || movePromotion(last));
    const bool syzygy = men <= gSearch.syzygyMenLimit && depth >= gSearch.syzygyProbeDepth &&
                        (pos.history[ply].reversibleMoves == 0 || !gSearch.syzygy50MoveRule);
    if (!ours && !syzygy) return false;

    pos.stats.tablebaseProbes++;
    const int notToMove = pos.sideToMove ^ 1;
    int v, wdl;
    if (syzygy && probeSyzygyWdl(pos, wdl)) {
        v = syzygyScore(wdl, gSearch.syzygy50MoveRule);
        // A win or loss the rule leaves standing: our tables may know how
        // far the mate is.
        int exact;
        if (v != 0 && ours && probeTablebase(pos, notToMove, exact) && exact != 0 && (exact > 0) == (v > 0)) v = exact;
    } else if (!ours || !probeTablebase(pos, notToMove, v)) {
        return false;
    }
    pos.stats.tablebaseHits++;
    score = scoreFromTable(v, ply);
    return true;
}

void restrictRootMovesBySyzygy(Position& pos) {
    const int count = gSearch.rootMoveCount;
    if (gSearch.syzygyMenLimit <= 0 || count == 0 || pos.castling) return;
    if (popCount(occupied(pos)) > gSearch.syzygyMenLimit) return;

    const bool rule = gSearch.syzygy50MoveRule;
    const int fiftyCount = pos.history[pos.historyCount].reversibleMoves;
    // Thread 0 only, before the search splits.
    static SyzygyMoveResult results[SYZYGY_MAX_MOVES];
    // The tables' own results with the count at zero: the count is applied
    // below, move by move.
    int n = probeSyzygyRoot(pos, 0, results);
    const bool distances = n >= 0;
    if (!distances) n = probeSyzygyRootByWdl(pos, fiftyCount, rule, results);
    pos.stats.tablebaseProbes += uint32_t(count);
    if (n <= 0) return;

    int wdl[MAX_ROOT_MOVES], dtz[MAX_ROOT_MOVES];
    int best = SYZYGY_LOSS;
    for (int i = 0; i < count; i++) {
        const Move m = gSearch.rootMoves[i].move;
        const SyzygyMoveResult* r = findResult(results, n, m);
        if (!r) return;  // the tables see other moves than we do: leave the list alone
        wdl[i] = distances ? judgeRootMove(*r, m, fiftyCount, rule) : r->wdl;
        if (!rule && !distances) wdl[i] = isWin(wdl[i]) ? SYZYGY_WIN : wdl[i] < 0 ? SYZYGY_LOSS : SYZYGY_DRAW;
        dtz[i] = r->dtz;
        if (wdl[i] > best) best = wdl[i];
    }
    pos.stats.tablebaseHits += uint32_t(count);

    // Among wins the search may choose freely while every one of them is
    // safe from the fifty-move rule: each keeps the next capture or pawn move
    // within the count, so the game moves on. Without the rule nothing
    // forces that, and a position seen before shows that the free choice
    // goes round in circles: then only the quickest way to the next capture
    // or pawn move is kept. A loss is resisted for the longest.
    const bool fastest = distances && isWin(best) && (!rule || rootSeenBefore(pos));
    const bool longest = distances && best == SYZYGY_LOSS;
    int target = fastest ? 1 << 30 : longest ? -1 : 0;
    for (int i = 0; i < count; i++) {
        if (wdl[i] != best) continue;
        if (fastest && dtz[i] < target) target = dtz[i];
        if (longest && dtz[i] > target) target = dtz[i];
    }
    int kept = 0;
    for (int i = 0; i < count; i++) {
        if (wdl[i] != best || ((fastest || longest) && dtz[i] != target)) continue;
        gSearch.rootMoves[kept++] = gSearch.rootMoves[i];
    }
    gSearch.rootMoveCount = kept;
}

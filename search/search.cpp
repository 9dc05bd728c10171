#include "search/search.h"

#include <algorithm>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "platform/spin_lock.h"
#include "search/iterate.h"
#include "search/movepicker.h"
#include "search/parallel.h"
#include "search/search_shared.h"
#include "search/tablebase_probes.h"
#include "search/time_control.h"
#include "search/transposition.h"

namespace {

// A node never starts a move list so near the end of the move stack that
// its moves (captures and checks, or captures and quiet moves) could run
// past it. Legal chess never gets close; this only keeps a runaway line
// from writing outside the record.
constexpr int STACK_RESERVE = 2 * MAX_MOVES;

inline bool outOfStack(const Position& pos, int ply) {
    return pos.listStart[ply] > MOVE_STACK_SIZE - STACK_RESERVE;
}

// Counts the node and, every `check interval` nodes on thread 0, looks at
// the input and the clock. True when the search has been stopped.
inline bool enterNode(Position& pos) {
    pos.stats.nodes++;
    if (pos.historyCount > pos.stats.selDepth) pos.stats.selDepth = pos.historyCount;
    // Only thread 0 counts down: a word written at every node by every
    // thread would bounce between their caches. Its own nodes are a
    // steady enough clock for ten looks a second.
    if (pos.threadNumber != 0) return false;
    int32_t left = gSearch.nodeCountdown.load(std::memory_order_relaxed) - 1;
    gSearch.nodeCountdown.store(left, std::memory_order_relaxed);
    if (left > 0) return false;
    return pollInputAndClock(pos);
}

inline int sideMaterialView(const Position& pos, int side) {
    int balance = materialBalance(pos);
    return side == WHITE ? balance : -balance;
}

// Captures of the quiescence search: most valuable victim first, cheapest
// attacker first among equals. Bubble sort, stopping at the first pass
// without an exchange; lists are short and often nearly sorted.
void sortByVictim(Position& pos, int begin, int end) {
    Move* moves = pos.moveStack + begin;
    int32_t* keys = pos.sortKeys;
    const int n = end - begin;
    for (int i = 0; i < n; i++) keys[i] = captureOrderKey(moves[i]);
    for (bool exchanged = true; exchanged;) {
        exchanged = false;
        for (int i = 0; i + 1 < n; i++) {
            if (keys[i] >= keys[i + 1]) continue;
            std::swap(keys[i], keys[i + 1]);
            std::swap(moves[i], moves[i + 1]);
            exchanged = true;
        }
    }
}

inline bool givesCheck(const Position& pos) {
    // Called after the move: the side now to move is the one checked.
    return isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);
}

// The null move: the side to move passes. Only the key, the side, the
// en-passant square and the ply change; the history entry of the child
// carries the counts the repetition test reads.
struct NullMoveUndo {
    uint64_t hashKey;
    uint8_t epSquare;
};

NullMoveUndo makeNullMove(Position& pos) {
    const int p = int(pos.historyCount);
    NullMoveUndo undo{pos.hashKey, pos.epSquare};
    pos.currentMove[p] = 0;
    pos.inCheck[p + 1] = 0;
    pos.history[p + 1] = pos.history[p];
    pos.history[p + 1].reversibleMoves++;
    pos.history[p + 1].epSquare = 0;
    pos.history[p + 1].castling = pos.castling;
    if (pos.epSquare) pos.hashKey ^= zobrist.enPassant[pos.epSquare];
    pos.history[p].epSquare = pos.epSquare;
    pos.sideToMove ^= 1;
    pos.hashKey ^= zobrist.side[WHITE] ^ zobrist.side[BLACK];
    pos.historyCount++;
    pos.epSquare = 0;
    return undo;
}

void unmakeNullMove(Position& pos, const NullMoveUndo& undo) {
    pos.sideToMove ^= 1;
    pos.historyCount--;
    pos.hashKey = undo.hashKey;
    pos.epSquare = undo.epSquare;
}

inline int quiesceOrSearch(Position& pos, int depth, int alpha, int beta) {
    return depth > 0 ? search(pos, depth, alpha, beta, false) : quiesceChecks(pos, alpha, beta);
}

// Futility at the node's last plies: true when the move just made should
// only be looked at by the quiescence search; may take a ply off `d`.
inline bool futileMove(Position& pos, int ply, int depth, int alpha, int e, int& d) {
    if (ply <= 1 || pos.inCheck[ply] || pos.inCheck[ply + 1]) return false;
    const int material = sideMaterialView(pos, pos.sideToMove ^ 1);
    if ((depth == 2 && material + FUTILITY_MARGIN_DEPTH_2 <= alpha) ||
        (depth == 3 && material + FUTILITY_MARGIN_DEPTH_3 <= alpha)) {
        pos.stats.prunedMoves++;
        return true;
    }
    if (depth == FUTILITY_REDUCTION_DEPTH && material + FUTILITY_MARGIN_DEPTH_4 <= alpha && e >= 0) d--;
    return false;
}

// The per-move step of searchMove, inlined into the inner nodes' loop:
// it runs for every move of every full-width node.
[[gnu::always_inline]] inline bool searchOneMove(Position& pos, Move m, const MoveSearch& node, int& score) {
    const int p = int(pos.historyCount);
    const int depth = node.depth, alpha = node.alpha, beta = node.beta;
    pos.currentMove[p] = m;
    // Moves out of check come from the evasion generator, and the hash move
    // was legal when it was stored: neither needs the test.
    if (!makeMove(pos, m, node.knownLegal || pos.inCheck[p] || m == pos.hashMove[p])) return false;
    prefetchBucket(pos.hashKey);
    int e = extendOrReduce(pos, p, depth);
    if (e < 0 && node.keepDepth) e = 0;
    int d = depth + e - 1;
    const bool pruned = futileMove(pos, p, depth, alpha, e, d);

    // The first move gets the whole window; the others must first show with
    // a null window that they beat alpha at all.
    const int upper = pos.movesSearched[p] == 0 ? beta : alpha + 1;
    int v;
    if (d > 0 && !pruned) {
        v = -search(pos, d, -upper, -alpha, false);
        if (!searchStopped(pos) && v > alpha && e < 0) {
            // A reduced move that looks good gets its full depth.
            pos.stats.lateMoveResearches++;
            v = -search(pos, depth - 1, -upper, -alpha, false);
        }
    } else {
        v = -quiesceChecks(pos, -upper, -alpha);
    }
    if (!searchStopped(pos) && v > alpha && v < beta && upper != beta) {
        // It beat the null window: find its real score.
        pos.stats.pvsResearches++;
        v = -quiesceOrSearch(pos, depth + std::max(e - 1, -1), -beta, -alpha);
    }
    unmakeMove(pos);
    score = v;
    return true;
}

}  // namespace

bool nullMoveAllowed(const Position& pos, int depth, int alpha, int beta, bool nullForbidden) {
    // Not in check, not without pieces (zugzwang is likely with only king
    // and pawns), and not deep with little material left.
    const int material = pos.sides[pos.sideToMove].pieceMaterial;
    return !nullForbidden && depth > 1 && alpha == beta - 1 && !pos.inCheck[pos.historyCount] && material != 0 &&
           (material > NULL_MOVE_SAFE_MATERIAL || depth < NULL_MOVE_SHALLOW_DEPTH);
}

bool pollInputAndClock(Position& pos) {
    gSearch.nodeCountdown.store(gSearch.checkInterval, std::memory_order_relaxed);
    // Commands and the time check see the record the search was started
    // on, also when thread 0 is working on a copy at a split. Other threads
    // change that record (its root move list, its line, its counters) only
    // under its split lock, so it is held here.
    Position& root = searchRootOf(pos);
    SpinLockGuard guard(root.splitLock);
    if (gSearch.inputHook) {
        gSearch.inputHook(root);
        if (searchStopped(pos)) return true;
    }
    timeCheck(root);
    return searchStopped(pos);
}

void endVariation(Position& pos, int ply) {
    PVRow& row = pos.pv[ply - 1];
    row.moves[ply - 1] = pos.currentMove[ply - 1];
    row.end = uint8_t(ply);
    row.depth = uint8_t(gSearch.iterationDepth);
}

void backUpVariation(Position& pos, int ply) {
    const PVRow& from = pos.pv[ply];
    PVRow& to = pos.pv[ply - 1];
    const int end = std::min<int>(from.end, MAX_PLY + 1);
    for (int i = ply; i < end; i++) to.moves[i] = from.moves[i];
    to.end = from.end;
    to.depth = from.depth;
    to.moves[ply - 1] = pos.currentMove[ply - 1];
}

int repetitionCheck(Position& pos) {
    const int ply = int(pos.historyCount);
    const int reversible = pos.history[ply].reversibleMoves;
    if (reversible >= FIFTY_MOVE_PLIES) return 2;
    pos.pathKeys[ply] = pos.hashKey;

    // Index i of the game-plus-path list: the game's positions first (the
    // root is the game's last), then this thread's path. Only positions
    // with the same side to move, and only back to the last capture or pawn
    // move, can repeat.
    const int gameCount = int(gGame.repetitionCount);
    const int i = gameCount - 2 + ply;
    if (i < 2) return 0;
    const int lowest = std::max(0, i - reversible + 1);
    for (int j = i - 2; j >= lowest; j -= 2) {
        uint64_t key = j >= gameCount - 1 ? pos.pathKeys[j - gameCount + 2] : gGame.repetitionList[j];
        if (key == pos.hashKey) return 1;
    }
    return 0;
}

int extendOrReduce(Position& pos, int ply, int depth) {
    const int mover = pos.sideToMove ^ 1;
    const Move m = pos.currentMove[ply];
    if (isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, mover)) {
        // Extend a check only when the checking piece cannot simply be won.
        pos.inCheck[ply + 1] = 1;
        if (staticExchange(pos, m, mover) >= 0) {
            pos.stats.checkExtensions++;
            return 1;
        }
        return 0;
    }
    pos.inCheck[ply + 1] = 0;

    // Late quiet moves are searched a ply shallower, except pushes of a
    // passed pawn, moves out of check, the first move, and anything the
    // picker ranked early (hash move, good captures, killers).
    const bool passedPawnPush =
        movePiece(m) == PAWN && !(passedMask[mover][moveTo(m)] & pos.sides[pos.sideToMove].pieces[PAWN]);
    if (passedPawnPush || depth < REDUCTION_MIN_DEPTH) return 0;
    if (ply > 1 && pos.picker[ply].reportedStage != PICK_REMAINING) return 0;
    if (pos.movesSearched[ply] == 0 || pos.inCheck[ply]) return 0;
    // Deeper when the parent itself was already well into its move list.
    return pos.movesSearched[ply - 1] <= REDUCTION_EARLY_PARENT ? -1 : -2;
}

bool searchMove(Position& pos, Move m, const MoveSearch& node, int& score) { return searchOneMove(pos, m, node, score); }

int search(Position& pos, int depth, int alpha, int beta, bool nullForbidden) {
    const int p = int(pos.historyCount);
    PickerState& picker = pos.picker[p];
    pos.movesSearched[p] = 0;
    pos.hashMove[p] = 0;
    picker.status = PICK_START;
    pos.movesDelivered[p] = 0;
    pos.listStart[p + 1] = pos.listStart[p];
    if (p > MAX_PLY || outOfStack(pos, p)) return beta;
    if (enterNode(pos)) return alpha;
    if (pos.inCheck[p]) picker.status = PICK_EVASIONS;

    // A repetition is always a draw; the fifty-move rule cannot be claimed
    // by a side that is checkmated on the move that reaches it.
    int repetition = repetitionCheck(pos);
    if (repetition == 1 || (repetition == 2 && !pos.inCheck[p])) {
        if (beta > 0) endVariation(pos, p);
        return 0;
    }

    int hashScore = 0;
    switch (hashProbe(pos, depth, alpha, beta, hashScore)) {
    case HASH_UPPER:
    case HASH_LOWER:
    case HASH_EXACT:
        return hashScore;
    case HASH_AVOID_NULL:
        nullForbidden = true;
        break;
    default:
        break;
    }
    if (pos.hashMove[p]) picker.status = PICK_HASH_MOVE;

    int tablebaseScore;
    if (probeTablebasesAtNode(pos, p, depth, tablebaseScore)) {
        if (tablebaseScore < beta) endVariation(pos, p);
        pos.pv[p].end = 0;
        return tablebaseScore;
    }

    // Null move: if passing still fails high after a reduced search, a real
    // move will too.
    if (nullMoveAllowed(pos, depth, alpha, beta, nullForbidden)) {
        const int reduction = nullMoveReduction(depth, pos.sides[pos.sideToMove].pieceMaterial);
        pos.stats.nullMovesTried++;
        NullMoveUndo undo = makeNullMove(pos);
        const int d = depth - reduction - 1;
        int v = d > 0 ? -search(pos, d, -beta, -beta + 1, true) : -quiesceChecks(pos, -beta, -beta + 1);
        unmakeNullMove(pos, undo);
        if (searchStopped(pos)) return alpha;
        if (v >= beta) {
            pos.stats.nullMoveCutoffs++;
            hashStore(pos.hashKey, p, depth, v, HASH_LOWER, 0);
            return v;
        }
    }

    const int originalAlpha = alpha;
    const uint32_t nodesAtEntry = pos.stats.nodes;
    while (Move m = nextMove(pos)) {
        int v;
        if (!searchOneMove(pos, m, MoveSearch{depth, alpha, beta}, v)) continue;
        if (searchStopped(pos)) return alpha;
        if (v > alpha) {
            if (v >= beta) {
                pos.stats.failHighs++;
                if (pos.movesSearched[p] == 0) pos.stats.firstMoveFailHighs++;
                if (m == pos.hashMove[p]) pos.stats.hashMoveFailHighs++;
                else if (m == pos.killers[p][0] || m == pos.killers[p][1]) pos.stats.killerFailHighs++;
                updateKillers(pos, m);
                hashStore(pos.hashKey, p, depth, v, HASH_LOWER, m);
                return v;
            }
            alpha = v;
        }
        pos.movesSearched[p]++;

        // A big subtree below this node: share out the remaining moves.
        if (splitWorthwhile(pos.stats.nodes - nodesAtEntry) && split(pos, depth, alpha, beta)) {
            if (searchStopped(pos)) return alpha;
            const int v = pos.splitBestScore;
            if (v > alpha) {
                if (v >= beta) {
                    pos.stats.failHighs++;
                    updateKillers(pos, pos.splitBestMove);
                    hashStore(pos.hashKey, p, depth, v, HASH_LOWER, pos.splitBestMove);
                    return v;
                }
                alpha = v;  // pos.pv[p] holds its line
            }
            break;
        }
    }

    if (pos.movesSearched[p] == 0) {
        int score = pos.inCheck[p] ? p - MATE : 0;
        if (alpha <= score && score < beta) endVariation(pos, p);
        return score;
    }
    if (alpha == originalAlpha) {
        if (!searchStopped(pos)) hashStore(pos.hashKey, p, depth, alpha, HASH_UPPER, 0);
        return alpha;
    }
    backUpVariation(pos, p);
    const Move best = pos.pv[p].moves[p];
    updateKillers(pos, best);
    hashStore(pos.hashKey, p, depth, alpha, HASH_EXACT, best);
    return alpha;
}

// ---------------------------------------------------------------------------
// Quiescence

namespace {

enum class QuiesceKind { FirstPly, Deeper };

// Stand pat, then the captures worth making: those that win material by
// exchange, and any recapture on the square just moved to. The first ply
// also tries quiet checks that do not lose the checking piece.
int quiesceCaptures(Position& pos, int alpha, int beta, QuiesceKind kind) {
    const int p = int(pos.historyCount);
    pos.currentMove[p] = 0;
    pos.hashMove[p] = 0;
    pos.listStart[p + 1] = pos.listStart[p];
    pos.stats.quiescenceNodes++;
    if (enterNode(pos)) return alpha;

    const int standPat = evaluate(pos, alpha, beta);
    if (kind == QuiesceKind::FirstPly ? p > MAX_PLY : p >= MAX_PLY) return standPat;
    if (outOfStack(pos, p)) return standPat;
    const int originalAlpha = alpha;
    if (standPat > alpha) {
        if (standPat >= beta) return standPat;
        pos.pv[p].end = uint8_t(p);
        pos.pv[p].depth = uint8_t(gSearch.iterationDepth);
        alpha = standPat;
    }

    const int begin = pos.listStart[p];
    int end = int(generateCaptures(pos, pos.moveStack + begin) - pos.moveStack);
    pos.listStart[p + 1] = end;
    pos.movesDelivered[p] = uint32_t(end - begin);
    for (int i = begin; i < end; i++)
        if (moveCaptured(pos.moveStack[i]) == KING) return beta;  // the last move was illegal
    sortByVictim(pos, begin, end);

    const Move last = pos.currentMove[p - 1];
    const int mover = pos.sideToMove;
    for (int i = begin; i < end; i++) {
        const Move m = pos.moveStack[i];
        const bool recapture = last && moveTo(m) == moveTo(last);
        if (!recapture && staticExchange(pos, m, mover) <= 0) continue;
        pos.currentMove[p] = m;
        if (!makeMove(pos, m, false)) continue;
        int v;
        if (kind == QuiesceKind::FirstPly) {
            pos.inCheck[p + 1] = givesCheck(pos);
            v = pos.inCheck[p + 1] ? -quiesceEvasions(pos, -beta, -alpha) : -quiesce(pos, -beta, -alpha);
        } else {
            v = -quiesce(pos, -beta, -alpha);
        }
        unmakeMove(pos);
        if (searchStopped(pos)) return alpha;
        pos.movesSearched[p]++;
        if (v > alpha) {
            if (v >= beta) return v;
            alpha = v;
        }
    }

    if (kind == QuiesceKind::FirstPly) {
        const int checksBegin = end;
        end = int(generateChecks(pos, pos.moveStack + checksBegin) - pos.moveStack);
        pos.listStart[p + 1] = end;
        pos.movesDelivered[p] += uint32_t(end - checksBegin);
        for (int i = checksBegin; i < end; i++) {
            const Move m = pos.moveStack[i];
            if (staticExchange(pos, m, mover) < 0) continue;
            pos.currentMove[p] = m;
            if (!makeMove(pos, m, false)) continue;
            pos.inCheck[p + 1] = 1;
            int v = -quiesceEvasions(pos, -beta, -alpha);
            unmakeMove(pos);
            if (searchStopped(pos)) return alpha;
            if (v > alpha) {
                if (v >= beta) return v;
                alpha = v;
            }
        }
    }

    if (alpha > originalAlpha && (kind == QuiesceKind::FirstPly || p > 1)) backUpVariation(pos, p);
    return alpha;
}

}  // namespace

int quiesceChecks(Position& pos, int alpha, int beta) {
    const int p = int(pos.historyCount);
    pos.currentMove[p] = 0;
    pos.movesSearched[p] = 0;
    int repetition = repetitionCheck(pos);
    if (repetition == 1 || (repetition == 2 && !pos.inCheck[p])) {
        if (beta > 0) endVariation(pos, p);
        return 0;
    }
    return quiesceCaptures(pos, alpha, beta, QuiesceKind::FirstPly);
}

int quiesce(Position& pos, int alpha, int beta) {
    pos.movesSearched[pos.historyCount] = 0;
    return quiesceCaptures(pos, alpha, beta, QuiesceKind::Deeper);
}

int quiesceEvasions(Position& pos, int alpha, int beta) {
    const int p = int(pos.historyCount);
    pos.currentMove[p] = 0;
    pos.movesSearched[p] = 0;
    pos.hashMove[p] = 0;
    pos.listStart[p + 1] = pos.listStart[p];
    pos.stats.quiescenceNodes++;
    if (enterNode(pos)) return alpha;
    if (p > MAX_PLY || outOfStack(pos, p)) return alpha;

    // No standing pat in check: every evasion is tried.
    const int begin = pos.listStart[p];
    const int end = int(generateEvasions(pos, pos.moveStack + begin) - pos.moveStack);
    pos.listStart[p + 1] = end;
    pos.movesDelivered[p] = uint32_t(end - begin);
    sortByVictim(pos, begin, end);

    const int originalAlpha = alpha;
    for (int i = begin; i < end; i++) {
        const Move m = pos.moveStack[i];
        pos.currentMove[p] = m;
        makeMove(pos, m, true);  // evasions are legal by construction
        int v = -quiesce(pos, -beta, -alpha);
        unmakeMove(pos);
        if (searchStopped(pos)) return alpha;
        pos.movesSearched[p]++;
        if (v > alpha) {
            if (v >= beta) return v;
            alpha = v;
        }
    }

    if (pos.movesSearched[p] == 0) {
        int score = pos.inCheck[p] ? p - MATE : 0;
        if (alpha <= score && score < beta) endVariation(pos, p);
        return score;
    }
    if (alpha > originalAlpha && p > 1) backUpVariation(pos, p);
    return alpha;
}

#include "search/parallel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/spin_lock.h"
#include "search/iterate.h"
#include "search/movepicker.h"

ParallelSearch gParallel;

namespace {

inline Position* workOf(int t) { return gParallel.work[t].load(std::memory_order_acquire); }
inline void setWork(int t, Position* record) { gParallel.work[t].store(record, std::memory_order_release); }

inline uint32_t workersOf(Position& record) {
    return std::atomic_ref<uint32_t>(record.workerCount).load(std::memory_order_acquire);
}
inline void setWorkers(Position& record, uint32_t n) {
    std::atomic_ref<uint32_t>(record.workerCount).store(n, std::memory_order_release);
}

inline int threadCount() { return int(gSearch.threadCount); }

}  // namespace

// An idle thread may end when no search runs and the engine will not think
// before the opponent moves: it is started again by the next search. It
// never ends in the middle of a search, where splits need it.
bool helperMayRest() {
    return !gParallel.searchRunning.load(std::memory_order_acquire) &&
           (gGame.engineSide.load(std::memory_order_relaxed) == -1 ||
            gSearch.ponderingDisabled.load(std::memory_order_relaxed));
}

namespace {

void addStatistics(SearchStatistics& to, const SearchStatistics& from) {
    static_assert(sizeof(SearchStatistics) == 18 * sizeof(uint32_t), "every counter is merged below");
    to.selDepth = std::max(to.selDepth, from.selDepth);
    to.nodes += from.nodes;
    to.quiescenceNodes += from.quiescenceNodes;
    to.hashProbes += from.hashProbes;
    to.hashHits += from.hashHits;
    to.nullMovesTried += from.nullMovesTried;
    to.nullMoveCutoffs += from.nullMoveCutoffs;
    to.failHighs += from.failHighs;
    to.firstMoveFailHighs += from.firstMoveFailHighs;
    to.hashMoveFailHighs += from.hashMoveFailHighs;
    to.killerFailHighs += from.killerFailHighs;
    to.lateMoveResearches += from.lateMoveResearches;
    to.pvsResearches += from.pvsResearches;
    to.prunedMoves += from.prunedMoves;
    to.checkExtensions += from.checkExtensions;
    to.tablebaseProbes += from.tablebaseProbes;
    to.tablebaseHits += from.tablebaseHits;
    to.passedPawnPushes += from.passedPawnPushes;
}

// The move a stopped worker had in hand at the root goes back into the
// list, so that the re-search of the iteration does not skip it.
void returnRootMove(Move move) {
    for (int i = 0; i < gSearch.rootMoveCount; i++)
        if (gSearch.rootMoves[i].move == move) gSearch.rootMoves[i].flags &= ~ROOT_HANDED_OUT;
}

void recordRootMoveResult(Move move, int score, uint32_t nodes) {
    for (int i = 0; i < gSearch.rootMoveCount; i++) {
        if (gSearch.rootMoves[i].move != move) continue;
        gSearch.rootMoves[i].score = score;
        gSearch.rootMoves[i].nodes = nodes;
    }
}

// Thread 0 alone reads input and the clock: while it waits for its workers
// it must still do so, or a long subtree would lose on time and leave the
// engine deaf to "quit" and to the opponent's move.
class OwnerPoll {
public:
    explicit OwnerPoll(int thread) : active_(thread == 0), last_(active_ ? timeNow() : 0) {}
    void tick(Position& waiting) {
        if (!active_ || (++spins_ & 255) != 0) return;
        const uint32_t now = timeNow();
        if (now - last_ < OWNER_POLL_MS) return;
        last_ = now;
        pollInputAndClock(waiting);
    }

private:
    bool active_;
    uint32_t last_;
    uint32_t spins_ = 0;
};

}  // namespace

void beginParallelSearch(Position& root) {
    const int n = threadCount();
    if (n > 1) startMissingThreads(n);
    else gParallel.searchRunning.store(true, std::memory_order_release);
    {
        SpinLockGuard guard(gParallel.smpLock);  // the idle threads read it under the lock
        gParallel.searchStartNanoseconds = monotonicNanoseconds();
        gParallel.idleNanoseconds.store(0, std::memory_order_relaxed);
    }
    setWork(0, &root);
}

void endParallelSearch() {
    setWork(0, nullptr);
    gParallel.searchRunning.store(false, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// Splitting

bool split(Position& pos, int depth, int alpha, int beta) {
    pos.splitDepth = depth;
    pos.splitAlpha = alpha;
    pos.splitBeta = beta;
    const int own = pos.threadNumber;
    const int n = threadCount();
    acquireSpinLock(gParallel.smpLock);
    bool anyIdle = false;
    for (int t = 0; t < n && !anyIdle; t++) anyIdle = t != own && workOf(t) == nullptr;
    if (!anyIdle || stopFlagSet(pos)) {
        releaseSpinLock(gParallel.smpLock);
        return false;
    }

    // The owner searches a copy of its own like any worker; the idle
    // threads join it, at most MAX_SPLIT_WORKERS copies in all.
    setWork(own, nullptr);
    for (Position*& child : pos.children) child = nullptr;
    uint32_t workers = 0;
    bool helped = false;
    for (int k = 0; k < n && workers < MAX_SPLIT_WORKERS; k++) {
        const int i = (own + k) % n;  // the owner first
        if (workOf(i) != nullptr) continue;
        Position* copy = copyToChild(pos, i);
        if (!copy) continue;
        copy->threadNumber = i;
        copy->parent = &pos;
        pos.children[i] = copy;
        workers++;
        helped |= i != own;
    }
    if (!helped) {
        // Only the owner's own copy: nothing would be gained.
        if (pos.children[own]) {
            releaseRecord(*pos.children[own]);
            pos.children[own] = nullptr;
        }
        setWork(own, &pos);
        releaseSpinLock(gParallel.smpLock);
        return false;
    }

    pos.splitBestScore = pos.splitAlpha;
    pos.splitBestMove = 0;
    setWorkers(pos, workers);
    gParallel.splitCount++;
    for (int i = 0; i < n; i++)
        if (pos.children[i]) setWork(i, pos.children[i]);
    releaseSpinLock(gParallel.smpLock);

    threadWait(own, &pos);
    return true;
}

Position* copyToChild(Position& parent, int i) {
    Position* record = takeRecord(i);
    if (!record) return nullptr;

    Position& c = *record;
    const int p = int(parent.historyCount);
    setStopFlag(c, false);
    for (Position*& child : c.children) child = nullptr;
    setWorkers(c, 0);
    c.parent = nullptr;

    // The board with its keys and history, and the evaluation's scratch,
    // copied whole: no field of theirs can be left behind. Only the
    // evaluation's counters start afresh, like the search's below.
    static_cast<EvalBoard&>(c) = parent;
    c.evalStats = EvalStatistics{};
    // The search path above the split ply.
    for (int ply = 0; ply <= p; ply++) {
        c.currentMove[ply] = parent.currentMove[ply];
        c.inCheck[ply] = parent.inCheck[ply];
        c.movesSearched[ply] = parent.movesSearched[ply];
        // The positions of the path above the split, for the repetition test.
        c.pathKeys[ply] = parent.pathKeys[ply];
    }
    c.hashMove[p] = parent.hashMove[p];
    // The copy's own moves start at the bottom of its own move stack; the
    // split node's moves stay in the parent's picker.
    for (int32_t& start : c.listStart) start = 0;
    std::memcpy(c.killers, parent.killers, sizeof c.killers);
    c.pv[p] = parent.pv[p];
    c.pv[p - 1] = parent.pv[p - 1];
    c.picker[p] = parent.picker[p];
    c.movesDelivered[p] = parent.movesDelivered[p];

    std::memset(&c.stats, 0, sizeof c.stats);
    c.splitDepth = parent.splitDepth;
    c.splitAlpha = parent.splitAlpha;
    c.splitBeta = parent.splitBeta;
    c.splitBestScore = 0;
    c.splitBestMove = 0;
    return &c;
}

void copyToParent(Position& parent, Position& child, int score) {
    // The copy that found the split's best move passes on its killers: they
    // refuted the replies to that move.
    if (child.stats.nodes > 0 && !stopFlagSet(child) && !gSearch.abortFlag.load(std::memory_order_relaxed) &&
        score > parent.splitAlpha && score >= parent.splitBestScore)
        std::memcpy(parent.killers[1], child.killers[1], sizeof(Move) * 2 * MAX_PLY);
    addStatistics(parent.stats, child.stats);
    addEvalStatistics(parent.evalStats, child.evalStats);
    releaseRecord(child);
}

void stopChildren(Position& record) {
    SpinLockGuard guard(record.splitLock);
    setStopFlag(record, true);
    for (Position* child : record.children)
        if (child) stopChildren(*child);
}

void threadWait(int t, Position* waiting) {
    OwnerPoll poll(t);
    while (true) {
        {
            SpinLockGuard guard(gParallel.smpLock);
            gParallel.idleCount.fetch_add(1, std::memory_order_relaxed);
        }
        const int64_t idleSince = monotonicNanoseconds();
        // Spin until there is work, or the own split is finished, or (for
        // an idle thread) the thread may end.
        while (!workOf(t)) {
            if (waiting) {
                if (workersOf(*waiting) == 0) break;
                poll.tick(*waiting);
            } else if (helperMayRest()) {
                break;
            }
            cpuRelax();
        }

        acquireSpinLock(gParallel.smpLock);
        gParallel.idleCount.fetch_sub(1, std::memory_order_relaxed);
        if (gParallel.searchRunning.load(std::memory_order_relaxed)) {
            const int64_t from = std::max(idleSince, gParallel.searchStartNanoseconds);
            gParallel.idleNanoseconds.fetch_add(std::max<int64_t>(0, monotonicNanoseconds() - from),
                                                std::memory_order_relaxed);
        }
        Position* record = workOf(t);
        if (!record) {
            if (waiting) {
                // The own split is finished: back to the node.
                setWork(t, waiting);
                releaseSpinLock(gParallel.smpLock);
                return;
            }
            if (helperMayRest()) {
                setWork(t, THREAD_ABSENT);
                releaseSpinLock(gParallel.smpLock);
                return;
            }
            // A search started meanwhile: stay.
            releaseSpinLock(gParallel.smpLock);
            continue;
        }
        releaseSpinLock(gParallel.smpLock);
        if (record == THREAD_ABSENT) return;  // told to end

        const int v = searchSplit(*record, record->splitDepth, record->splitAlpha, record->splitBeta);

        acquireSpinLock(gParallel.smpLock);
        Position& parent = *record->parent;
        acquireSpinLock(parent.splitLock);
        copyToParent(parent, *record, v);
        parent.children[t] = nullptr;
        std::atomic_ref<uint32_t>(parent.workerCount).fetch_sub(1, std::memory_order_acq_rel);
        releaseSpinLock(parent.splitLock);
        setWork(t, nullptr);
        releaseSpinLock(gParallel.smpLock);
    }
}

int searchSplit(Position& child, int depth, int alpha, int beta) {
    Position& parent = *child.parent;
    const int p = int(child.historyCount);
    const bool atRoot = p == 1;
    Move inHand = 0;  // a root move taken and not finished

    while (!searchStopped(child)) {
        MoveSearch node{depth, alpha, beta};
        Move m;
        {
            SpinLockGuard guard(parent.splitLock);
            // What the other workers found raises this one's bound too.
            node.alpha = alpha = std::max(alpha, parent.splitBestScore);
            if (atRoot) {
                RootMove* r = nextRootMove(parent);
                m = r ? r->move : 0;
                node.knownLegal = true;
                node.keepDepth = r && (r->flags & (ROOT_NO_SPLIT | ROOT_NO_REDUCE));
            } else {
                m = nextMove(parent);
                // The reductions ask where in the picker the move came from.
                child.picker[p].reportedStage = parent.picker[p].reportedStage;
            }
        }
        if (!m) break;
        inHand = m;
        const uint32_t nodesBefore = child.stats.nodes;
        int v;
        if (!searchMove(child, m, node, v)) {
            inHand = 0;
            continue;  // illegal
        }
        if (searchStopped(child)) break;
        inHand = 0;

        {
            SpinLockGuard guard(parent.splitLock);
            parent.movesSearched[p]++;
            if (atRoot) recordRootMoveResult(m, v, child.stats.nodes - nodesBefore);
            if (v > alpha && v > parent.splitBestScore) {
                parent.splitBestScore = v;
                parent.splitBestMove = m;
                if (atRoot) rootNewBest(child, parent, v, beta, m);
                else if (v < beta) parent.pv[p] = child.pv[p];
            }
        }
        if (v > alpha) {
            if (v >= beta) {
                // A refutation: the other workers' moves no longer matter.
                SpinLockGuard smp(gParallel.smpLock);
                gParallel.abortCount++;
                SpinLockGuard guard(parent.splitLock);
                if (!stopFlagSet(child))
                    for (Position* sibling : parent.children)
                        if (sibling && sibling != &child) stopChildren(*sibling);
                return v;
            }
            alpha = v;
        }
    }
    if (atRoot && inHand) {
        SpinLockGuard guard(parent.splitLock);
        returnRootMove(inHand);
    }
    return alpha;
}

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

inline int64_t addTime(std::atomic<int64_t>& total, int64_t since) {
    const int64_t spent = std::max<int64_t>(0, monotonicNanoseconds() - since);
    total.fetch_add(spent, std::memory_order_relaxed);
    return spent;
}

void countUptake(int64_t nanoseconds) {
    ParallelTimings& t = gParallel.timings;
    t.uptakes.fetch_add(1, std::memory_order_relaxed);
    int band = 0;
    for (int64_t limit = 10000; band < ParallelTimings::UPTAKE_BANDS - 1 && nanoseconds >= limit; limit *= 10) band++;
    t.uptakesWithin[band].fetch_add(1, std::memory_order_relaxed);
}

// The SMP lock and the split locks, with the time spent waiting for them
// counted: only a lock found taken costs a clock read.
void lockCounted(uint32_t& word) {
    if (tryAcquireSpinLock(word)) return;
    const int64_t since = monotonicNanoseconds();
    acquireSpinLock(word);
    addTime(gParallel.timings.lockWait, since);
}

class CountedLockGuard {
public:
    explicit CountedLockGuard(uint32_t& word) : word_(word) { lockCounted(word_); }
    ~CountedLockGuard() { releaseSpinLock(word_); }
    CountedLockGuard(const CountedLockGuard&) = delete;
    CountedLockGuard& operator=(const CountedLockGuard&) = delete;

private:
    uint32_t& word_;
};

}  // namespace

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
        forceTick(waiting);
    }
    // After a sleep: the spins no longer say how much time has passed.
    void forceTick(Position& waiting) {
        if (!active_) return;
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

// What thread t has to wait for: work of its own, or, as the owner of
// `waiting`, the end of its workers.
bool waitIsOver(int t, Position* waiting) {
    return workOf(t) != nullptr || (waiting && workersOf(*waiting) == 0);
}

// Thread t waits: it spins at first, as work usually comes within
// microseconds while the search runs; then it yields its processor between
// looks, and at last sleeps until a split or its last worker rings it. On a
// machine shared with other programs a spinning thread would take the
// processor from the very thread it waits for. Thread 0 still looks at the
// input and the clock as it waits.
void waitForWork(int t, Position* waiting, OwnerPoll& poll) {
    const int64_t start = monotonicNanoseconds();
    const int64_t spinNs = gParallel.waitSpinNs.load(std::memory_order_relaxed);
    const int64_t yieldNs = gParallel.waitYieldNs.load(std::memory_order_relaxed);
    for (uint32_t spins = 1;; spins++) {
        if (waitIsOver(t, waiting)) return;
        if (waiting) poll.tick(*waiting);
        cpuRelax();
        if (spins % WAIT_CLOCK_SPINS) continue;
        const int64_t waited = monotonicNanoseconds() - start;
        if (waited >= spinNs + yieldNs) break;
        if (waited >= spinNs) yieldProcessor();
    }
    Doorbell& bell = gParallel.doorbells[t];
    const uint32_t sleepMs = t == 0 ? OWNER_POLL_MS : gParallel.idleSleepMs.load(std::memory_order_relaxed);
    while (!sleepAtDoorbell(bell, [&] { return waitIsOver(t, waiting); }, sleepMs)) {
        gParallel.timings.sleeps.fetch_add(1, std::memory_order_relaxed);
        if (waitIsOver(t, waiting)) return;
        if (waiting) poll.forceTick(*waiting);
    }
}

}  // namespace

void beginParallelSearch(Position& root) {
    const int n = threadCount();
    if (n > 1) startMissingThreads(n);
    else gParallel.searchRunning.store(true, std::memory_order_release);
    {
        SpinLockGuard guard(gParallel.smpLock);  // the idle threads read it under the lock
        gParallel.searchStartNanoseconds = monotonicNanoseconds();
        gParallel.timings.clear();
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
    lockCounted(gParallel.smpLock);
    bool anyIdle = false;
    for (int t = 0; t < n && !anyIdle; t++) anyIdle = t != own && workOf(t) == nullptr;
    if (!anyIdle || stopFlagSet(pos)) {
        releaseSpinLock(gParallel.smpLock);
        gParallel.timings.refusedSplits.fetch_add(1, std::memory_order_relaxed);
        return false;
    }

    // The owner searches a copy of its own like any worker; the idle
    // threads join it, at most MAX_SPLIT_WORKERS copies in all.
    setWork(own, nullptr);
    for (Position*& child : pos.children) child = nullptr;
    uint32_t workers = 0;
    bool helped = false;
    const int64_t copyStart = monotonicNanoseconds();
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
    const int64_t offered = monotonicNanoseconds();
    gParallel.timings.copy.fetch_add(offered - copyStart, std::memory_order_relaxed);
    if (!helped) {
        // Only the owner's own copy: nothing would be gained.
        if (pos.children[own]) {
            releaseRecord(*pos.children[own]);
            pos.children[own] = nullptr;
        }
        setWork(own, &pos);
        releaseSpinLock(gParallel.smpLock);
        gParallel.timings.refusedSplits.fetch_add(1, std::memory_order_relaxed);
        return false;
    }

    pos.splitBestScore = pos.splitAlpha;
    pos.splitBestMove = 0;
    setWorkers(pos, workers);
    gParallel.splitCount++;
    int helpers[MAX_SPLIT_WORKERS];
    int helperCount = 0;
    for (int i = 0; i < n; i++) {
        if (!pos.children[i]) continue;
        gParallel.offeredAt[i] = offered;
        setWork(i, pos.children[i]);
        if (i != own) helpers[helperCount++] = i;
    }
    releaseSpinLock(gParallel.smpLock);
    // Outside the lock: a helper that slept must not wake into a lock held
    // by its waker.
    for (int k = 0; k < helperCount; k++) ringDoorbell(gParallel.doorbells[helpers[k]]);

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
            CountedLockGuard guard(gParallel.smpLock);
            gParallel.idleCount.fetch_add(1, std::memory_order_relaxed);
        }
        const int64_t idleSince = monotonicNanoseconds();
        // Until there is work, or the own split is finished.
        waitForWork(t, waiting, poll);

        lockCounted(gParallel.smpLock);
        gParallel.idleCount.fetch_sub(1, std::memory_order_relaxed);
        Position* record = workOf(t);
        if (gParallel.searchRunning.load(std::memory_order_relaxed)) {
            const int64_t since = std::max(idleSince, gParallel.searchStartNanoseconds);
            addTime(gParallel.timings.idle, since);
            if (waiting) addTime(gParallel.timings.ownerWait, since);
            if (record && record != THREAD_ABSENT && record != waiting) {
                countUptake(addTime(gParallel.timings.uptake,
                                    std::max(gParallel.offeredAt[t], gParallel.searchStartNanoseconds)));
            }
        }
        if (!record) {
            if (waiting) {
                // The own split is finished: back to the node.
                setWork(t, waiting);
                releaseSpinLock(gParallel.smpLock);
                return;
            }
            releaseSpinLock(gParallel.smpLock);
            continue;
        }
        releaseSpinLock(gParallel.smpLock);
        if (record == THREAD_ABSENT) return;  // told to end

        const int v = searchSplit(*record, record->splitDepth, record->splitAlpha, record->splitBeta);

        lockCounted(gParallel.smpLock);
        Position& parent = *record->parent;
        lockCounted(parent.splitLock);
        copyToParent(parent, *record, v);
        parent.children[t] = nullptr;
        const bool last = std::atomic_ref<uint32_t>(parent.workerCount).fetch_sub(1, std::memory_order_acq_rel) == 1;
        const int owner = parent.threadNumber;
        releaseSpinLock(parent.splitLock);
        setWork(t, nullptr);
        releaseSpinLock(gParallel.smpLock);
        // The owner may be asleep waiting for its last worker.
        if (last && owner != t) ringDoorbell(gParallel.doorbells[owner]);
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
            CountedLockGuard guard(parent.splitLock);
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
            CountedLockGuard guard(parent.splitLock);
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

// The parallel search. Thread 0 (the main thread) searches as usual; the
// other search threads wait for work, spinning briefly, then asleep. A
// thread that has searched the first move of a node, and enough nodes below
// it, splits the node: each idle thread gets a copy of the position in a
// record from the pool, and all of them, the owner included, take the
// node's remaining moves one by one from the owner's move picker and search
// them with a null window. A fail-high stops the other workers. While its
// workers search, the owner helps at other threads' splits.
//
// Locks: the SMP lock guards the work table and the record pool; each
// record's split lock guards its picker, its searched-move count and the
// best result of its split. The SMP lock is always taken before a split
// lock, and a thread holds two split locks only when it stops the workers
// below a node, descending from parent to child.
#pragma once

#include <atomic>
#include <cstdint>

#include "search/position.h"
#include "search/search.h"
#include "search/search_shared.h"
#include "search/thread_pool.h"

// How often thread 0 looks at the input and the clock while it waits for
// its workers (milliseconds).
constexpr uint32_t OWNER_POLL_MS = 10;

// A waiting thread (an idle helper, or an owner waiting for its workers)
// spins this long, then yields its processor between looks until this
// much longer has passed, then sleeps until it is rung (nanoseconds).
constexpr int64_t WAIT_SPIN_NS = 50000;
constexpr int64_t WAIT_YIELD_NS = 200000;
// A waiting thread reads the clock every so many spins.
constexpr uint32_t WAIT_CLOCK_SPINS = 64;
// A sleeping helper looks again at least this often, whether rung or not
// (milliseconds): a safety net, never the way work reaches it.
constexpr uint32_t IDLE_SLEEP_MS = 1000;

// Time in nanoseconds, all threads together. Taken a few times per split and
// per wait, never per node: a split happens after thousands of nodes.
struct ParallelTimings {
    std::atomic<int64_t> idle{0};       // threads waiting for work, owners waiting for workers included
    std::atomic<int64_t> ownerWait{0};  // of that, owners of a split waiting for its workers
    std::atomic<int64_t> uptake{0};     // from a split handing a thread its copy to the thread starting on it
    std::atomic<uint32_t> uptakes{0};
    // The uptakes by how long they took: under 10 microseconds, 100, 1000,
    // and longer (a thread that was asleep or had lost its processor).
    static constexpr int UPTAKE_BANDS = 4;
    std::atomic<uint32_t> uptakesWithin[UPTAKE_BANDS] = {};
    std::atomic<int64_t> copy{0};       // copying positions into the copies of a split
    std::atomic<int64_t> lockWait{0};   // waiting for the SMP lock and the split locks
    std::atomic<uint32_t> refusedSplits{0};  // splits asked for that found no thread to share with
    std::atomic<uint32_t> sleeps{0};         // waits that ended in a sleep

    void clear() {
        for (std::atomic<int64_t>* t : {&idle, &ownerWait, &uptake, &copy, &lockWait})
            t->store(0, std::memory_order_relaxed);
        uptakes.store(0, std::memory_order_relaxed);
        for (std::atomic<uint32_t>& band : uptakesWithin) band.store(0, std::memory_order_relaxed);
        sleeps.store(0, std::memory_order_relaxed);
        refusedSplits.store(0, std::memory_order_relaxed);
    }
};

struct ParallelSearch {
    // The work table: what each thread works on. nullptr: the thread is idle
    // and may be given a copy; THREAD_ABSENT: the thread does not run (or is
    // told to end); otherwise the record it searches.
    std::atomic<Position*> work[MAX_THREAD_COUNT] = {};
    // Where each thread sleeps when it has waited long: rung when its slot
    // above is given work, and when the last worker of its split finishes.
    Doorbell doorbells[MAX_THREAD_COUNT];
    // Guards the work table and the record pool (search/thread_pool.h).
    uint32_t smpLock = 0;
    std::atomic<int> idleCount{0};
    // A search is under way: idle threads must stay for its splits.
    std::atomic<bool> searchRunning{false};
    // How long a waiting thread spins, and then yields, before it sleeps
    // (nanoseconds): WAIT_SPIN_NS and WAIT_YIELD_NS; the benchmark tries
    // others.
    std::atomic<int64_t> waitSpinNs{WAIT_SPIN_NS};
    std::atomic<int64_t> waitYieldNs{WAIT_YIELD_NS};
    // SPLIT_MIN_NODES, which the benchmark may vary in the same way.
    std::atomic<uint32_t> splitMinNodes{SPLIT_MIN_NODES};
    // IDLE_SLEEP_MS; the stress test takes the safety net away, so that a
    // ring lost would hang a search.
    std::atomic<uint32_t> idleSleepMs{IDLE_SLEEP_MS};

    // Under the SMP lock.
    uint32_t splitCount = 0;   // splits of the current search
    uint32_t abortCount = 0;   // fail-highs at splits that stopped other workers
    // Where the time of a parallel search goes, since the last
    // beginParallelSearch.
    ParallelTimings timings;
    int64_t searchStartNanoseconds = 0;
    // When each thread was last handed a copy (under the SMP lock), for the
    // time from the offer to its uptake.
    int64_t offeredAt[MAX_THREAD_COUNT] = {};
};
extern ParallelSearch gParallel;

inline Position* const THREAD_ABSENT = reinterpret_cast<Position*>(~uintptr_t(0));

// A search is about to start on `root` (thread 0's record): starts the
// threads that do not run yet (search/thread_pool.h), waits until they are
// ready, and marks thread 0 busy with root.
void beginParallelSearch(Position& root);
// The search has ended. The helpers stay, asleep once they have waited a
// while, until the thread count changes or the engine quits: starting them
// anew for every move would cost more than the sleep.
void endParallelSearch();

// Whether a node (or a root move) whose own search has visited `nodes`
// nodes should offer its remaining moves to idle threads.
inline bool splitWorthwhile(uint32_t nodes) {
    return gSearch.threadCount > 1 && nodes > gParallel.splitMinNodes.load(std::memory_order_relaxed) &&
           gParallel.idleCount.load(std::memory_order_relaxed) > 0;
}

// Splits the node of `pos` at its current ply, searched to `depth` with the
// window (alpha, beta). True when workers searched the node's remaining
// moves: the split best score and move then hold the result (the score is
// alpha when nothing beat it), and row pos.pv[ply] the line of the best
// move.
bool split(Position& pos, int depth, int alpha, int beta);
// A copy of `parent` in a free record of the pool, thread i's own when it
// has one, or nullptr when the pool has none.
Position* copyToChild(Position& parent, int i);
// Hands a finished copy back: its counters go into the parent's, its
// killers too when it found the split's best move, and the record returns
// to the pool.
void copyToParent(Position& parent, Position& child, int score);
// Thread t waits for work and searches what it is given. With `waiting`
// (the owner of a split) it returns once that record's workers have all
// finished; without, it returns when the thread is to end.
void threadWait(int t, Position* waiting);
// A worker's share of a split node: takes the node's moves one by one and
// searches them with a null window. Returns the best score it found (its
// alpha), or a score at or above beta after a fail-high.
int searchSplit(Position& child, int depth, int alpha, int beta);
// Stops `record` and, below it, every copy working for it.
void stopChildren(Position& record);

// The record at the top of a copy's chain of parents: the record the
// search was started on.
inline Position& searchRootOf(Position& pos) {
    Position* record = &pos;
    while (record->parent) record = record->parent;
    return *record;
}


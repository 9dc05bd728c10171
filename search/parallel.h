// The parallel search. Thread 0 (the main thread) searches as usual; the
// other search threads wait, spinning, for work. A thread that has searched
// the first move of a node, and enough nodes below it, splits the node: each
// idle thread gets a copy of the position in a record from the pool, and
// all of them, the owner included, take the node's remaining moves one by
// one from the owner's move picker and search them with a null window. A
// fail-high stops the other workers. While its workers search, the owner
// helps at other threads' splits.
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

struct ParallelSearch {
    // The work table: what each thread works on. nullptr: the thread is idle
    // and may be given a copy; THREAD_ABSENT: the thread does not run (or is
    // told to end); otherwise the record it searches.
    std::atomic<Position*> work[MAX_THREAD_COUNT] = {};
    // Guards the work table and the record pool (search/thread_pool.h).
    uint32_t smpLock = 0;
    std::atomic<int> idleCount{0};
    // A search is under way: idle threads must stay for its splits.
    std::atomic<bool> searchRunning{false};

    // Under the SMP lock.
    uint32_t splitCount = 0;   // splits of the current search
    uint32_t abortCount = 0;   // fail-highs at splits that stopped other workers
    // Time the threads spent waiting for work during searches, all threads
    // together (nanoseconds), since the last beginParallelSearch: where the
    // time of a parallel search goes.
    std::atomic<int64_t> idleNanoseconds{0};
    int64_t searchStartNanoseconds = 0;
};
extern ParallelSearch gParallel;

inline Position* const THREAD_ABSENT = reinterpret_cast<Position*>(~uintptr_t(0));

// A search is about to start on `root` (thread 0's record): starts the
// threads that do not run yet (search/thread_pool.h), waits until they are
// ready, and marks thread 0 busy with root.
void beginParallelSearch(Position& root);
// The search has ended: idle threads may end now when the engine will not
// think again before the opponent moves (force mode, pondering off).
void endParallelSearch();
// Whether an idle thread may end now (see endParallelSearch).
bool helperMayRest();

// Whether a node (or a root move) whose own search has visited `nodes`
// nodes should offer its remaining moves to idle threads.
inline bool splitWorthwhile(uint32_t nodes) {
    return gSearch.threadCount > 1 && nodes > SPLIT_MIN_NODES &&
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


#include "search/thread_pool.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "search/parallel.h"
#include "search/reporter.h"
#include "search/search_shared.h"
#include "platform/spin_lock.h"

ThreadPool gThreadPool;

namespace {

inline void setWork(int t, Position* record) { gParallel.work[t].store(record, std::memory_order_release); }
inline Position* workOf(int t) { return gParallel.work[t].load(std::memory_order_acquire); }

// Zeroed pages straight from the system: a big pool costs nothing until a
// split first uses a record.
Position* newRecord() { return static_cast<Position*>(std::calloc(1, sizeof(Position))); }

// A free record among entries [first, end) of the pool.
Position* freeRecord(unsigned first, unsigned end) {
    for (unsigned k = first; k < end && k < gThreadPool.recordCount; k++)
        if (!gThreadPool.records[k]->inUse) return gThreadPool.records[k];
    return nullptr;
}

void threadEntry(int t) {
    gThreadPool.readyCount.fetch_add(1, std::memory_order_acq_rel);
    threadWait(t, nullptr);
    gThreadPool.startedCount.fetch_sub(1, std::memory_order_acq_rel);
}

// Starts search thread t, on the next NUMA node when the machine has
// several.
bool startThread(int t) {
    detectNuma();
    uint64_t mask = 0;
    if (gThreadPool.numa) {
        gThreadPool.lastNode = gThreadPool.lastNode >= gThreadPool.highestNode ? 0 : gThreadPool.lastNode + 1;
        mask = gThreadPool.nodeMasks[gThreadPool.lastNode];
        reportNote("Starting thread on node %d CPU mask %llx", gThreadPool.lastNode, (unsigned long long)mask);
    }
    const bool started = startPlatformThread(gThreadPool.threads[t], threadEntry, t, mask);
    // The main thread searches on node 0, near the game's records.
    if (gThreadPool.numa) restrictCurrentThread(gThreadPool.nodeMasks[0]);
    return started;
}

}  // namespace

bool allocateRecordPool(unsigned threads) {
    freeRecordPool();
    for (unsigned t = 1; t < MAX_THREAD_COUNT; t++) setWork(int(t), THREAD_ABSENT);
    setWork(0, nullptr);
    if (threads <= 1) return true;
    const unsigned count = threads * RECORDS_PER_THREAD;
    gThreadPool.records = static_cast<Position**>(std::calloc(count, sizeof(Position*)));
    if (!gThreadPool.records) return false;
    for (unsigned k = 0; k < count; k++) {
        if (!(gThreadPool.records[k] = newRecord())) {
            gThreadPool.recordCount = k;
            freeRecordPool();
            return false;
        }
    }
    gThreadPool.recordCount = count;
    return true;
}

void freeRecordPool() {
    for (unsigned k = 0; k < gThreadPool.recordCount; k++) std::free(gThreadPool.records[k]);
    std::free(gThreadPool.records);
    gThreadPool.records = nullptr;
    gThreadPool.recordCount = 0;
    gThreadPool.recordsInUse = 0;
    gThreadPool.mostRecordsInUse = 0;
    gThreadPool.failedRequests = 0;
}

unsigned changeThreadCount(unsigned threads) {
    stopSearchThreads();
    if (!allocateRecordPool(threads)) {
        reportNote("Not enough memory for %u search threads", threads);
        allocateRecordPool(1);
        threads = 1;
    }
    gSearch.threadCount = threads;
    return threads;
}

void startMissingThreads(int n) {
    int absent[MAX_THREAD_COUNT];
    int missing = 0;
    acquireSpinLock(gParallel.smpLock);
    // Helpers started before stay between searches, asleep: only threads
    // never started, or ended by a change of the thread count, start here.
    gParallel.searchRunning.store(true, std::memory_order_release);
    for (int t = 1; t < n; t++)
        if (workOf(t) == THREAD_ABSENT) absent[missing++] = t;
    releaseSpinLock(gParallel.smpLock);
    if (missing == 0) return;

    gThreadPool.readyCount.store(0, std::memory_order_release);
    int started = 0;
    for (int k = 0; k < missing; k++) {
        const int t = absent[k];
        reportNote("starting thread %d", t);
        // A thread that ended with the last thread count is gone or about
        // to be: collect it before its number is reused.
        joinPlatformThread(gThreadPool.threads[t]);
        setWork(t, nullptr);
        if (!startThread(t)) {
            setWork(t, THREAD_ABSENT);
            continue;
        }
        started++;
        SpinLockGuard guard(gParallel.smpLock);
        gThreadPool.startedCount.fetch_add(1, std::memory_order_acq_rel);
    }
    reportNote("done");
    // Yielding: on a busy machine the new threads need the processor too.
    while (gThreadPool.readyCount.load(std::memory_order_acquire) < started) yieldProcessor();
}

void stopSearchThreads() {
    gParallel.searchRunning.store(false, std::memory_order_release);
    {
        SpinLockGuard guard(gParallel.smpLock);
        for (unsigned t = 1; t < MAX_THREAD_COUNT; t++) setWork(int(t), THREAD_ABSENT);
    }
    // The idle helpers sleep: they must see the word to end.
    for (unsigned t = 1; t < MAX_THREAD_COUNT; t++) ringDoorbell(gParallel.doorbells[t]);
    while (gThreadPool.startedCount.load(std::memory_order_acquire) > 0) yieldProcessor();
    for (PlatformThread& thread : gThreadPool.threads) joinPlatformThread(thread);
}

Position* takeRecord(int i) {
    const unsigned first = unsigned(i) * RECORDS_PER_THREAD;
    Position* record = freeRecord(first, first + RECORDS_PER_THREAD);
    if (!record) {
        gThreadPool.failedRequests++;
        if (gThreadPool.failedRequests <= REPORTED_POOL_FAILURES)
            reportNote("WARNING Could not allocate an SMP tree on the current node: thread %d", i);
        record = freeRecord(0, gThreadPool.recordCount);
        if (!record) {
            if (gThreadPool.failedRequests <= REPORTED_POOL_FAILURES) reportNote("ERROR! No SMP blocks available");
            return nullptr;
        }
    }
    gThreadPool.recordsInUse++;
    gThreadPool.mostRecordsInUse = std::max(gThreadPool.mostRecordsInUse, gThreadPool.recordsInUse);
    record->inUse = 1;
    return record;
}

void releaseRecord(Position& record) {
    record.inUse = 0;
    gThreadPool.recordsInUse--;
}

void detectNuma() {
    SpinLockGuard guard(gThreadPool.numaLock);
    if (gThreadPool.numaDetected) return;
    gThreadPool.numaDetected = true;
    gThreadPool.numa = false;
    gThreadPool.lastNode = 0;
    const int highest = readNumaNodes(gThreadPool.numaDirectory, gThreadPool.nodeMasks);
    if (highest <= 0) {
        // One node, or no word from the system about nodes at all.
        reportNote("System is SMP");
        gThreadPool.highestNode = 0;
        return;
    }
    gThreadPool.highestNode = std::min(highest, MAX_NUMA_NODES - 1);
    gThreadPool.numa = true;
    reportNote("System is NUMA. Linux reports %d nodes", gThreadPool.highestNode + 1);
    for (int node = 0; node <= gThreadPool.highestNode; node++) {
        char cpus[512];
        int n = std::snprintf(cpus, sizeof cpus, "Node %dCPUs: ", node);
        for (int cpu = 0; cpu < 64; cpu++)
            if (gThreadPool.nodeMasks[node] >> cpu & 1) n += std::snprintf(cpus + n, sizeof cpus - size_t(n), "%d ", cpu);
        reportNote("%s", cpus);
        // Threads cannot be placed on a node without processors.
        if (gThreadPool.nodeMasks[node] == 0) gThreadPool.numa = false;
    }
    const int cpu = currentProcessor();
    reportNote("ideal CPU is %d", cpu);
    if (cpu < 0 || cpu >= 64 || (gThreadPool.nodeMasks[0] >> cpu & 1)) return;
    // Node 0 is the main thread's node.
    for (int node = 1; node <= gThreadPool.highestNode; node++) {
        if (gThreadPool.nodeMasks[node] >> cpu & 1) {
            std::swap(gThreadPool.nodeMasks[0], gThreadPool.nodeMasks[node]);
            break;
        }
    }
}


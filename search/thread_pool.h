// The search threads and their records: the helper threads, started when a
// search first needs them and placed on the machine's NUMA nodes, and the
// pool of records the split protocol (search/parallel.h) copies positions
// into, RECORDS_PER_THREAD for each thread. The pool is taken from and given
// back to under the SMP lock of the parallel search.
#pragma once

#include <atomic>
#include <cstdint>

#include "search/position.h"
#include "platform/threads.h"

constexpr int RECORDS_PER_THREAD = 64;
// Only the first few failures to find a free record are reported.
constexpr uint32_t REPORTED_POOL_FAILURES = 5;

struct ThreadPool {
    // The record pool: RECORDS_PER_THREAD copies for each search thread;
    // entries 64t .. 64t + 63 belong to thread t. Empty with one thread.
    Position** records = nullptr;
    unsigned recordCount = 0;
    // Under the SMP lock.
    uint32_t failedRequests = 0;
    uint32_t recordsInUse = 0;
    uint32_t mostRecordsInUse = 0;  // high-water mark since the pool was made

    PlatformThread threads[MAX_THREAD_COUNT];
    std::atomic<int> startedCount{0};  // helper threads alive
    std::atomic<int> readyCount{0};    // of those started last, the ones that reached their wait

    // NUMA placement, found out when the first thread starts.
    const char* numaDirectory = "/sys/devices/system/node";
    uint32_t numaLock = 0;
    bool numaDetected = false;
    bool numa = false;
    int highestNode = 0;
    uint64_t nodeMasks[MAX_NUMA_NODES] = {};
    int lastNode = 0;  // node of the thread started last
};
extern ThreadPool gThreadPool;

// Makes the pool for `threads` search threads. False when memory is short:
// the pool is then empty and the engine searches with one thread.
bool allocateRecordPool(unsigned threads);
void freeRecordPool();
// "cores" (and start-up): the helper threads end, the pool is made anew for
// the new count and the threads start again with the next search. Returns
// the count in force afterwards (1 when the pool could not be had).
unsigned changeThreadCount(unsigned threads);
// Starts the helper threads of a search with `threads` threads that do not
// run yet, printing "starting thread N" for each and "done", and returns
// once they wait for work.
void startMissingThreads(int threads);
// Shutdown: every helper thread is told to end; returns when none runs.
void stopSearchThreads();

// A free record of the pool for a copy worked on by thread i: one of its
// own, else any free one (reported), else nullptr. Under the SMP lock.
Position* takeRecord(int i);
// The record returns to the pool. Under the SMP lock.
void releaseRecord(Position& record);

// Reads the machine's NUMA nodes once and reports them.
void detectNuma();

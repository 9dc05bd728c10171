// Threads and processors as the operating system offers them: starting and
// joining a thread, keeping a thread on a set of processors, the processor
// a thread runs on, and the machine's NUMA nodes with their processors.
#pragma once

#include <atomic>
#include <cstdint>

// A started thread, for joining it later.
struct PlatformThread {
    uint64_t handle = 0;
    bool running = false;
};

using ThreadRoutine = void (*)(int argument);

// Starts routine(argument) on a new thread. With a non-zero processor mask
// (bit n = processor n) the thread is placed on those processors before it
// runs its first instruction. False when no thread could be made.
bool startPlatformThread(PlatformThread& thread, ThreadRoutine routine, int argument, uint64_t processorMask);
// Waits for a started thread to end.
void joinPlatformThread(PlatformThread& thread);
// Keeps the calling thread on the processors of the mask (0: all of them).
void restrictCurrentThread(uint64_t processorMask);
// The processor the calling thread runs on now, -1 when unknown.
int currentProcessor();
// A monotonic clock in nanoseconds, for measuring short waits.
int64_t monotonicNanoseconds();

// What a busy-waiting thread does between two looks at a shared word: tells
// the processor it spins, so that its sibling hyper-thread runs faster.
inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Gives the processor to another thread that is ready to run, if there is
// one: what a waiting thread does once it has spun for a while, so that on
// a machine shared with other programs the thread it waits for can run.
void yieldProcessor();

// A word one thread sleeps on until others ring it: a waiting search
// thread, once spinning and yielding have not brought its work, sleeps
// here, so that it leaves its processor to whoever needs it. Ringing
// costs an atomic add, and a call into the system only while the bell's
// thread sleeps. The bell has a cache line of its own, as the spinning threads'
// words do.
struct alignas(64) Doorbell {
    std::atomic<uint32_t> rings{0};
    std::atomic<uint32_t> sleeping{0};
};
// Wakes the bell's thread if it sleeps; the ringer has made the thread's
// reason to wake visible before.
void ringDoorbell(Doorbell& bell);
// Sleeps until the bell rings, or `timeoutMs` has passed. `awake` is
// tested after the thread has said that it sleeps: a ring after that test
// cannot be missed. True when `awake` held without sleeping.
template <class Awake>
bool sleepAtDoorbell(Doorbell& bell, Awake awake, uint32_t timeoutMs);

constexpr int MAX_NUMA_NODES = 256;

// Reads the NUMA nodes listed in `nodeDirectory` (the system's is
// /sys/devices/system/node): the processors of node n go into masks[n]
// (processors beyond 63 do not fit a mask and are left out). Returns the
// highest node number found (at most MAX_NUMA_NODES - 1), or -1 when the
// directory or a node's processor list cannot be read.
int readNumaNodes(const char* nodeDirectory, uint64_t masks[MAX_NUMA_NODES]);
// Turns a kernel processor list ("0-3,8,10-11") into a mask; false when the
// text is not such a list.
bool parseProcessorList(const char* text, uint64_t& mask);

// The system's sleep on a word: returns at once when the word no longer
// holds `seen`, else when woken or after `timeoutMs`.
void sleepOnWord(std::atomic<uint32_t>& word, uint32_t seen, uint32_t timeoutMs);

template <class Awake>
bool sleepAtDoorbell(Doorbell& bell, Awake awake, uint32_t timeoutMs) {
    // Said first, then the rings read, then the reason tested: a ringer
    // that comes after the read sees the sleeper and wakes it, and the
    // system's sleep itself returns at once when a ring came in between.
    bell.sleeping.store(1, std::memory_order_seq_cst);
    const uint32_t seen = bell.rings.load(std::memory_order_seq_cst);
    const bool already = awake();
    if (!already) sleepOnWord(bell.rings, seen, timeoutMs);
    bell.sleeping.store(0, std::memory_order_relaxed);
    return already;
}

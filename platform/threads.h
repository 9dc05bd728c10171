// Threads and processors as the operating system offers them: starting and
// joining a thread, keeping a thread on a set of processors, the processor
// a thread runs on, and the machine's NUMA nodes with their processors.
#pragma once

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

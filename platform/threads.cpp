#include "platform/threads.h"

#include <dirent.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Search threads recurse deep and keep their positions on the heap; a
// generous stack still leaves room for the evaluation's locals at ply 64.
constexpr size_t THREAD_STACK_BYTES = 8u << 20;

struct StartArguments {
    ThreadRoutine routine;
    int argument;
};

void* runRoutine(void* raw) {
    StartArguments arguments = *static_cast<StartArguments*>(raw);
    std::free(raw);
    arguments.routine(arguments.argument);
    return nullptr;
}

cpu_set_t processorSet(uint64_t mask) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = 0; cpu < 64; cpu++)
        if (mask >> cpu & 1) CPU_SET(cpu, &set);
    return set;
}

}  // namespace

bool startPlatformThread(PlatformThread& thread, ThreadRoutine routine, int argument, uint64_t processorMask) {
    auto* arguments = static_cast<StartArguments*>(std::malloc(sizeof(StartArguments)));
    if (!arguments) return false;
    *arguments = StartArguments{routine, argument};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, THREAD_STACK_BYTES);
    if (processorMask) {
        // Placed before it starts, so that its first pages come from the
        // node it will search on.
        cpu_set_t set = processorSet(processorMask);
        pthread_attr_setaffinity_np(&attributes, sizeof set, &set);
    }
    pthread_t handle;
    const int failed = pthread_create(&handle, &attributes, runRoutine, arguments);
    pthread_attr_destroy(&attributes);
    if (failed) {
        std::free(arguments);
        return false;
    }
    thread.handle = uint64_t(handle);
    thread.running = true;
    return true;
}

void joinPlatformThread(PlatformThread& thread) {
    if (!thread.running) return;
    pthread_join(pthread_t(thread.handle), nullptr);
    thread.running = false;
}

void restrictCurrentThread(uint64_t processorMask) {
    cpu_set_t set;
    if (processorMask) {
        set = processorSet(processorMask);
    } else {
        CPU_ZERO(&set);
        for (int cpu = 0; cpu < CPU_SETSIZE; cpu++) CPU_SET(cpu, &set);
    }
    sched_setaffinity(0, sizeof set, &set);
}

int currentProcessor() { return sched_getcpu(); }

void yieldProcessor() { sched_yield(); }

void sleepOnWord(std::atomic<uint32_t>& word, uint32_t seen, uint32_t timeoutMs) {
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "the system sleeps on a plain word");
    timespec timeout;
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_nsec = long(timeoutMs % 1000) * 1000000;
    // Private: only threads of this process ring it. A signal or a
    // spurious return only makes the caller look again.
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, seen, &timeout, nullptr, 0);
}

void ringDoorbell(Doorbell& bell) {
    bell.rings.fetch_add(1, std::memory_order_seq_cst);
    if (bell.sleeping.load(std::memory_order_seq_cst))
        syscall(SYS_futex, reinterpret_cast<uint32_t*>(&bell.rings), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

int64_t monotonicNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool parseProcessorList(const char* text, uint64_t& mask) {
    mask = 0;
    const char* p = text;
    bool any = false;
    while (*p && *p != '\n') {
        char* end;
        long first = std::strtol(p, &end, 10);
        if (end == p || first < 0) return false;
        long last = first;
        p = end;
        if (*p == '-') {
            last = std::strtol(p + 1, &end, 10);
            if (end == p + 1 || last < first) return false;
            p = end;
        }
        for (long cpu = first; cpu <= last && cpu < 64; cpu++) mask |= uint64_t(1) << cpu;
        any = true;
        if (*p == ',') p++;
        else if (*p && *p != '\n') return false;
    }
    return any;
}

int readNumaNodes(const char* nodeDirectory, uint64_t masks[MAX_NUMA_NODES]) {
    for (int n = 0; n < MAX_NUMA_NODES; n++) masks[n] = 0;
    DIR* directory = opendir(nodeDirectory);
    if (!directory) return -1;
    int highest = -1;
    bool unreadable = false;
    while (dirent* entry = readdir(directory)) {
        // Node folders are "node" and a number; the rest are attribute files.
        const char* name = entry->d_name;
        if (std::strncmp(name, "node", 4) != 0 || name[4] < '0' || name[4] > '9') continue;
        char* end;
        long node = std::strtol(name + 4, &end, 10);
        if (*end || node < 0 || node >= MAX_NUMA_NODES) continue;
        char path[1024];
        std::snprintf(path, sizeof path, "%s/%s/cpulist", nodeDirectory, name);
        FILE* file = std::fopen(path, "r");
        if (!file) {
            unreadable = true;
            break;
        }
        char list[4096] = {};
        const bool read = std::fgets(list, sizeof list, file) != nullptr;
        std::fclose(file);
        // A node with memory but no processors has an empty list.
        uint64_t mask = 0;
        if (read && list[0] != '\n' && !parseProcessorList(list, mask)) {
            unreadable = true;
            break;
        }
        masks[node] = mask;
        if (node > highest) highest = int(node);
    }
    closedir(directory);
    return unreadable ? -1 : highest;
}

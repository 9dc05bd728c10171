// Processors and NUMA nodes as the system describes them, read from a made
// up node directory: one node, several, none at all, and lists that cannot
// be read. A machine that says nothing usable is searched as SMP.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/threads.h"
#include "search/parallel.h"
#include "support/test_support.h"

namespace {

class NodeDirectory {
public:
    NodeDirectory() {
        char name[] = "/tmp/tarno-nodes-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~NodeDirectory() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    void addNode(int node, const char* cpulist) {
        std::string dir = path_ + "/node" + std::to_string(node);
        mkdir(dir.c_str(), 0755);
        if (!cpulist) return;
        FILE* file = std::fopen((dir + "/cpulist").c_str(), "w");
        std::fputs(cpulist, file);
        std::fclose(file);
    }
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

TEST(ThreadsPlatform, ProcessorListsBecomeMasks) {
    uint64_t mask;
    EXPECT_TRUE(parseProcessorList("0-3,8,10-11\n", mask));
    EXPECT_EQ(mask, 0xD0Full);
    EXPECT_TRUE(parseProcessorList("5", mask));
    EXPECT_EQ(mask, 0x20ull);
    EXPECT_TRUE(parseProcessorList("60-70", mask)) << "processors past 63 do not fit and are left out";
    EXPECT_EQ(mask, 0xF000000000000000ull);
    EXPECT_FALSE(parseProcessorList("", mask));
    EXPECT_FALSE(parseProcessorList("3-1", mask));
    EXPECT_FALSE(parseProcessorList("a-b", mask));
    EXPECT_FALSE(parseProcessorList("1;2", mask));
}

TEST(ThreadsPlatform, NodesAndTheirProcessors) {
    uint64_t masks[MAX_NUMA_NODES];
    EXPECT_EQ(readNumaNodes("/nonexistent/tarno/node", masks), -1);

    NodeDirectory one;
    one.addNode(0, "0-1\n");
    EXPECT_EQ(readNumaNodes(one.path(), masks), 0);
    EXPECT_EQ(masks[0], 3u);

    NodeDirectory two;
    two.addNode(0, "0-3\n");
    two.addNode(1, "4-7\n");
    two.addNode(3, "\n");  // memory only, no processors
    EXPECT_EQ(readNumaNodes(two.path(), masks), 3);
    EXPECT_EQ(masks[1], 0xF0u);
    EXPECT_EQ(masks[3], 0u);

    NodeDirectory broken;
    broken.addNode(0, "0-3\n");
    broken.addNode(1, nullptr);  // no processor list to read
    EXPECT_EQ(readNumaNodes(broken.path(), masks), -1);
}

std::string detectWith(const char* directory) {
    gThreadPool.numaDirectory = directory;
    gThreadPool.numaDetected = false;
    reportNotesAsLines();
    testing::internal::CaptureStdout();
    detectNuma();
    return testing::internal::GetCapturedStdout();
}

TEST(ThreadsPlatform, DetectionReportsSmpOrTheNodes) {
    EXPECT_EQ(detectWith("/nonexistent/tarno/node"), "System is SMP\n");
    EXPECT_FALSE(gThreadPool.numa);

    NodeDirectory one;
    one.addNode(0, "0-1\n");
    EXPECT_EQ(detectWith(one.path()), "System is SMP\n");

    NodeDirectory two;
    two.addNode(0, "0-1\n");
    two.addNode(1, "2-3\n");
    const std::string out = detectWith(two.path());
    EXPECT_EQ(out.rfind("System is NUMA. Linux reports 2 nodes\nNode 0CPUs: 0 1 \nNode 1CPUs: 2 3 \nideal CPU is ", 0),
              0u)
        << out;
    EXPECT_TRUE(gThreadPool.numa);
    // Node 0 is always the main thread's node.
    const int cpu = currentProcessor();
    if (cpu >= 0 && cpu < 4) {
        EXPECT_TRUE(gThreadPool.nodeMasks[0] >> cpu & 1);
    }

    NodeDirectory empty;
    empty.addNode(0, "0-1\n");
    empty.addNode(1, "\n");
    detectWith(empty.path());
    EXPECT_FALSE(gThreadPool.numa) << "threads cannot be placed on a node without processors";
    gThreadPool.numaDirectory = "/sys/devices/system/node";
    gThreadPool.numaDetected = false;
    gThreadPool.numa = false;
}

std::atomic<int> ranWith{-1};
void remember(int argument) { ranWith = argument; }

TEST(ThreadsPlatform, ThreadsStartOnTheirProcessorsAndJoin) {
    PlatformThread thread;
    ASSERT_TRUE(startPlatformThread(thread, remember, 7, 1));  // processor 0 only
    joinPlatformThread(thread);
    EXPECT_EQ(ranWith.load(), 7);
    EXPECT_FALSE(thread.running);
    joinPlatformThread(thread);  // a second join does nothing
}

TEST(ThreadsPlatform, DoorbellSleepsUntilRungAndNeverMissesARing) {
    using namespace std::chrono;
    Doorbell bell;
    // The reason to wake already there: no sleep at all.
    auto start = steady_clock::now();
    EXPECT_TRUE(sleepAtDoorbell(bell, [] { return true; }, 5000));
    EXPECT_LT(steady_clock::now() - start, milliseconds(1000));
    EXPECT_EQ(bell.sleeping.load(), 0u);

    // Nobody rings: the timeout ends the sleep.
    start = steady_clock::now();
    EXPECT_FALSE(sleepAtDoorbell(bell, [] { return false; }, 30));
    EXPECT_GE(steady_clock::now() - start, milliseconds(25));

    // Rounds of ring and answer, the ring coming at every moment of the
    // sleeper's going to sleep: a ring lost would cost that round the
    // sleeper's whole timeout.
    constexpr uint32_t ROUNDS = 300;
    constexpr uint32_t TIMEOUT_MS = 20000;
    std::atomic<uint32_t> given{0}, taken{0};
    std::thread ringer([&] {
        for (uint32_t round = 1; round <= ROUNDS; round++) {
            given.store(round, std::memory_order_release);
            ringDoorbell(bell);
            while (taken.load(std::memory_order_acquire) != round) std::this_thread::yield();
        }
    });
    start = steady_clock::now();
    for (uint32_t round = 1; round <= ROUNDS; round++) {
        while (given.load(std::memory_order_acquire) != round)
            sleepAtDoorbell(bell, [&] { return given.load(std::memory_order_acquire) == round; }, TIMEOUT_MS);
        taken.store(round, std::memory_order_release);
    }
    ringer.join();
    EXPECT_LT(steady_clock::now() - start, milliseconds(TIMEOUT_MS / 2)) << "a ring was missed";
}

}  // namespace

// Many short parallel searches, stopped at random moments: by the abort
// flag from another thread (the clock), by input read by thread 0, or by
// nothing but their own fail-highs at splits. Every search must return a
// legal move once an iteration is complete, never hang, and give every
// pool record back. Every other search its threads sleep at once whenever
// they wait, with no timeout to save a thread whose ring was lost. The
// pool's high-water mark is reported.
//
// TARNO_STRESS_SEARCHES sets the number of searches (default 1,000, shared
// out over 2, 3 and 4 threads); a longer run by hand:
//   TARNO_STRESS_SEARCHES=20000 build/tests/search_tests --gtest_filter='ParallelStress*'
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "search/parallel.h"
#include "search_fixture.h"

namespace {

std::vector<std::string> stressPositions() {
    std::vector<std::string> fens = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
        // Repetition-prone: a perpetual check is the only way out.
        "6k1/5p1p/6p1/8/8/6q1/5PP1/3Q2K1 b - - 0 1",
        // Checkmate and stalemate on the board: nothing to search.
        "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1",
        "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",
    };
    for (const char* name : {"bratko-kopec.epd", "wac-001-100.epd"}) {
        std::ifstream file(testDataPath(name));
        std::string line;
        while (std::getline(file, line)) {
            size_t bm = line.find(" bm ");
            if (bm != std::string::npos) fens.push_back(line.substr(0, bm));
        }
    }
    return fens;
}

int searchesWanted() {
    const char* text = std::getenv("TARNO_STRESS_SEARCHES");
    int n = text ? std::atoi(text) : 0;
    // Under the thread sanitizer every search is many times slower.
    if (n <= 0) n = std::getenv("TARNO_THREAD_SANITIZED") ? 150 : 1000;
    return n;
}

// The input thread 0 reads: after a set number of looks a "command" stops
// the search, as the opponent's move stops pondering.
std::atomic<int> pollsLeft{-1};
void stopAfterSomePolls(Position&) {
    if (pollsLeft.load() > 0 && --pollsLeft == 0) stopSearch();
}

enum class StopBy { Nothing, AbortFlag, Input };

class ParallelStress : public SearchTest {
protected:
    void TearDown() override {
        changeThreadCount(1);
        gSearch.inputHook = nullptr;
        gGame.engineSide = -1;
        gParallel.waitSpinNs = WAIT_SPIN_NS;
        gParallel.waitYieldNs = WAIT_YIELD_NS;
        gParallel.idleSleepMs = IDLE_SLEEP_MS;
    }
};

TEST_F(ParallelStress, ShortSearchesStoppedAtRandomMoments) {
    const std::vector<std::string> fens = stressPositions();
    const int total = searchesWanted();
    std::mt19937 random(20240611);
    const unsigned threadCounts[] = {2, 3, 4};

    // The watchdog ends the program if a search hangs: a deadlock must fail
    // the test, not stall it.
    std::atomic<int> finished{0};
    std::atomic<bool> allDone{false};
    std::thread watchdog([&] {
        int last = -1;
        while (!allDone) {
            for (int i = 0; i < 600 && !allDone; i++) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (allDone) break;
            if (finished.load() == last) {
                std::fprintf(stderr, "no search finished in a minute: deadlock after %d searches\n", last);
                std::abort();
            }
            last = finished.load();
        }
    });

    gSearch.inputHook = stopAfterSomePolls;
    // Longer than the watchdog's minute: a sleeping helper only wakes when
    // it is rung.
    gParallel.idleSleepMs = 1000000;
    int searches = 0, completed = 0, stoppedByInput = 0, stoppedByClock = 0;
    uint32_t splits = 0, aborts = 0, highWater = 0, sleeps = 0;
    for (unsigned threads : threadCounts) {
        changeThreadCount(threads);
        for (int k = 0; k < total / 3 + (threads == 2 ? total % 3 : 0); k++, searches++) {
            const std::string& fen = fens[random() % fens.size()];
            auto pos = setUp(fen);
            pos->pv[0].end = 0;
            pos->pv[0].moves[1] = 0;
            gSearch.lastCompletedScore = NO_SCORE;
            // Thread 0 looks at the input every few hundred nodes.
            gSearch.checkInterval = 200 + int(random() % 2000);
            gSearch.nodeCountdown = gSearch.checkInterval;

            const bool sleepAtOnce = searches % 2 == 1;
            gParallel.waitSpinNs = sleepAtOnce ? 0 : WAIT_SPIN_NS;
            gParallel.waitYieldNs = sleepAtOnce ? 0 : WAIT_YIELD_NS;

            const StopBy stopBy = StopBy(random() % 3);
            pollsLeft = stopBy == StopBy::Input ? 1 + int(random() % 40) : -1;
            // Searches that run to their depth stay shallow; the ones that
            // something stops go deep enough to be stopped in mid-split.
            const int depth = stopBy == StopBy::Nothing ? 4 + int(random() % 5) : 8 + int(random() % 7);
            std::atomic<bool> searching{true};
            std::thread clock;
            if (stopBy == StopBy::AbortFlag) {
                const int microseconds = int(random() % 60000);
                clock = std::thread([&searching, microseconds] {
                    auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
                    while (searching && std::chrono::steady_clock::now() < until) std::this_thread::yield();
                    if (searching) stopSearch();
                });
            }
            searchToDepth(*pos, depth);
            searching = false;
            if (clock.joinable()) clock.join();
            finished++;

            if (gSearch.abortFlag) {
                if (stopBy == StopBy::Input) stoppedByInput++;
                if (stopBy == StopBy::AbortFlag) stoppedByClock++;
            } else {
                completed++;
            }
            splits += gParallel.splitCount;
            aborts += gParallel.abortCount;
            sleeps += gParallel.timings.sleeps.load();
            highWater = std::max(highWater, gThreadPool.mostRecordsInUse);

            // Once an iteration is complete the root line holds a legal move.
            if (gSearch.lastCompletedDepth >= 1 && gSearch.rootMoveCount > 0) {
                const Move best = pos->pv[0].moves[1];
                ASSERT_TRUE(pos->pv[0].end >= 2 && isLegalMove(best, *pos))
                    << "search " << searches << " with " << threads << " threads, " << fen << " depth " << depth;
            }
            ASSERT_EQ(gThreadPool.recordsInUse, 0u) << "a record was left in use after search " << searches;
            ASSERT_EQ(pos->workerCount, 0u);
            for (unsigned t = 1; t < threads; t++) {
                Position* work = gParallel.work[t].load();
                ASSERT_TRUE(work == nullptr || work == THREAD_ABSENT) << "thread " << t << " still busy";
            }
        }
    }
    allDone = true;
    watchdog.join();

    std::printf("%d searches (%d to their depth, %d stopped by input, %d by the abort flag); %u splits, %u "
                "fail-highs at splits, %u sleeps; pool high-water mark %u records\n",
                searches, completed, stoppedByInput, stoppedByClock, splits, aborts, sleeps, highWater);
    RecordProperty("pool_high_water_mark", int(highWater));
    EXPECT_GE(searches, total);
    EXPECT_GT(splits, 0u);
    EXPECT_GT(sleeps, 0u) << "threads slept and were woken in mid-search";
    EXPECT_GT(aborts, 0u) << "fail-highs at splits stopped other workers";
    EXPECT_GT(stoppedByInput, 0);
    EXPECT_GT(stoppedByClock, 0);
}

}  // namespace

// Parallel search speed: the time to reach a fixed depth with one thread
// and with each other thread count, position by position, in the same run,
// and where the time of the parallel searches goes.
//
// Usage: parallel_speed [depth] [positions] [repeats] [threads ...]
//   depth      plies of the last iteration, default 12
//   positions  how many of the Bratko-Kopec and Win-at-Chess positions,
//              default 20 (the 24 Bratko-Kopec first, then WAC)
//   repeats    searches of each position with each thread count, default
//              1; the fastest counts. On a machine shared with other work a
//              search can only be slowed down by it, never sped up, so the
//              fastest of a few is the one least disturbed.
//   threads    the thread counts, default 1 2 4 8 16; one thread is always
//              searched, as the measure of the others. A count written
//              N/S/Y searches with N threads whose waits spin S and then
//              yield Y microseconds before they sleep (the engine's are
//              50 and 200), so that waits can be compared in one run;
//              N/S/Y/M also splits only nodes of more than M nodes (the
//              engine's SPLIT_MIN_NODES).
//
// Each position is searched with every thread count in turn (the order
// reversed at every other repeat), so that all of them meet the same load
// on the machine. The table gives, for each count: the median of the
// positions' time-to-depth speed-ups, nodes per second, the search overhead
// (nodes against one thread's), and the shares of the threads' time spent
// waiting for work, of which owners of a split waiting for its workers,
// copying positions and waiting for locks, and the mean time from a split
// offering a thread its copy to the thread starting on it.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/notation.h"
#include "eval/eval_settings.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "search/benchmark.h"
#include "search/parallel.h"
#include "search/time_control.h"
#include "search/transposition.h"

namespace {

constexpr uint64_t TABLE_BYTES = 64ull << 20;
constexpr uint64_t PAWN_TABLE_BYTES = 8ull << 20;
// Positions that one thread searches faster than this are left out of the
// median: their time is mostly the clock's resolution.
constexpr uint32_t MIN_TIMED_MS = 50;

// The FEN part of each EPD line (everything before the first operation).
std::vector<std::string> readPositions(const std::string& path, size_t limit) {
    std::vector<std::string> fens;
    std::ifstream file(path);
    std::string line;
    while (fens.size() < limit && std::getline(file, line)) {
        size_t bm = line.find(" bm ");
        if (bm == std::string::npos) bm = line.find(" am ");
        if (bm != std::string::npos) fens.push_back(line.substr(0, bm));
    }
    return fens;
}

// A thread count, and the waits of its threads.
struct Config {
    unsigned threads = 1;
    int64_t spinNs = WAIT_SPIN_NS;
    int64_t yieldNs = WAIT_YIELD_NS;
    uint32_t splitMinNodes = SPLIT_MIN_NODES;
    std::string label;
};

bool operator==(const Config& a, const Config& b) {
    return a.threads == b.threads && a.spinNs == b.spinNs && a.yieldNs == b.yieldNs &&
           a.splitMinNodes == b.splitMinNodes;
}

Config readConfig(const char* text) {
    Config c;
    long spin = -1, yield = -1, minNodes = -1;
    int threads = 1;
    const int fields = std::sscanf(text, "%d/%ld/%ld/%ld", &threads, &spin, &yield, &minNodes);
    c.threads = unsigned(std::clamp(threads, 1, int(MAX_THREAD_COUNT)));
    if (fields >= 2 && spin >= 0) c.spinNs = spin * 1000;
    if (fields >= 3 && yield >= 0) c.yieldNs = yield * 1000;
    if (fields >= 4 && minNodes >= 0) c.splitMinNodes = uint32_t(minNodes);
    c.label = fields >= 2 ? text : std::to_string(c.threads);
    return c;
}

// Processor time of the whole process, all threads (nanoseconds).
int64_t processorNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct Run {
    bool done = false;
    uint32_t ms = 0;
    double processorNs = 0;  // the processor time the search got
    uint64_t nodes = 0;
    uint32_t splits = 0;
    uint32_t refused = 0;
    // Of all threads' time together (nanoseconds).
    double idle = 0, ownerWait = 0, copy = 0, lockWait = 0, uptake = 0;
    uint32_t uptakes = 0, sleeps = 0;
    uint32_t uptakesWithin[ParallelTimings::UPTAKE_BANDS] = {};
};

// One search to `depth` from empty tables, as a fresh game.
Run searchToDepth(Position& pos, const std::string& fen, int depth) {
    Run run;
    SearchRequest request;
    request.depthLimit = depth + 1;
    request.clocks.fixedTime = true;
    request.clocks.fixedMoveTime = 0xFFFFFFF;
    const uint32_t start = timeNow();
    const int64_t processorStart = processorNanoseconds();
    if (!searchFromEmptyTables(pos, fen.c_str(), request)) return run;
    run.done = true;
    run.ms = timeNow() - start;
    run.processorNs = double(processorNanoseconds() - processorStart);
    run.nodes = pos.stats.nodes;
    run.splits = gParallel.splitCount;
    const ParallelTimings& t = gParallel.timings;
    run.refused = t.refusedSplits.load();
    run.idle = double(t.idle.load());
    run.ownerWait = double(t.ownerWait.load());
    run.copy = double(t.copy.load());
    run.lockWait = double(t.lockWait.load());
    run.uptake = double(t.uptake.load());
    run.uptakes = t.uptakes.load();
    run.sleeps = t.sleeps.load();
    for (int b = 0; b < ParallelTimings::UPTAKE_BANDS; b++) run.uptakesWithin[b] = t.uptakesWithin[b].load();
    return run;
}

// Searches with `threads` threads from now on, the helpers already started:
// a game starts them once, not for every move, so their start is no part of
// any timed search.
void useThreads(const Config& config, Position& pos) {
    gParallel.waitSpinNs = config.spinNs;
    gParallel.waitYieldNs = config.yieldNs;
    gParallel.splitMinNodes = config.splitMinNodes;
    const unsigned threads = config.threads;
    if (gSearch.threadCount == threads) return;
    changeThreadCount(threads);
    if (threads < 2) return;
    gGame.engineSide = WHITE;
    beginParallelSearch(pos);
    endParallelSearch();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    if (n == 0) return 0;
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Sums over the positions for one thread count.
struct Totals {
    std::vector<double> speedUps;
    uint64_t nodes = 0, ms = 0, splits = 0, refused = 0, uptakes = 0, sleeps = 0;
    double idle = 0, ownerWait = 0, copy = 0, lockWait = 0, uptake = 0, processorNs = 0;
    uint64_t uptakesWithin[ParallelTimings::UPTAKE_BANDS] = {};
    void add(const Run& r) {
        for (int b = 0; b < ParallelTimings::UPTAKE_BANDS; b++) uptakesWithin[b] += r.uptakesWithin[b];
        nodes += r.nodes;
        ms += r.ms;
        processorNs += r.processorNs;
        splits += r.splits;
        refused += r.refused;
        idle += r.idle;
        ownerWait += r.ownerWait;
        copy += r.copy;
        lockWait += r.lockWait;
        uptake += r.uptake;
        uptakes += r.uptakes;
        sleeps += r.sleeps;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int depth = argc > 1 ? std::max(1, std::atoi(argv[1])) : 12;
    const size_t wanted = argc > 2 ? size_t(std::max(1, std::atoi(argv[2]))) : 20;
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    std::vector<Config> counts{readConfig("1")};
    for (int a = 4; a < argc; a++) {
        const Config c = readConfig(argv[a]);
        if (std::find(counts.begin(), counts.end(), c) == counts.end()) counts.push_back(c);
    }
    if (counts.size() == 1)
        for (const char* n : {"2", "4", "8", "16"}) counts.push_back(readConfig(n));

    initZobristKeys();
    initBoardTables();
    if (!allocateTranspositionTable(TABLE_BYTES) || !allocatePawnTable(PAWN_TABLE_BYTES)) {
        std::fprintf(stderr, "not enough memory for the tables\n");
        return 1;
    }
    const std::string data = std::string(TARNO_SOURCE_DIR) + "/tests/data/";
    std::vector<std::string> fens = readPositions(data + "bratko-kopec.epd", wanted);
    if (fens.size() < wanted) {
        std::vector<std::string> wac = readPositions(data + "wac-001-100.epd", wanted - fens.size());
        fens.insert(fens.end(), wac.begin(), wac.end());
    }
    gEvalSettings = EvalSettings{};
    auto pos = std::make_unique<Position>();

    std::printf("depth %d, %zu positions, fastest of %d, %ld processors online\n", depth, fens.size(), repeats,
                sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("%4s", "pos");
    for (const Config& c : counts) std::printf(" %10s ms", c.label.c_str());
    std::printf("\n");
    std::fflush(stdout);
    const int console = dup(1);
    FILE* sink = std::fopen("/dev/null", "w");

    std::vector<Totals> totals(counts.size());
    for (size_t i = 0; i < fens.size(); i++) {
        if (sink) dup2(fileno(sink), 1);
        std::vector<Run> best(counts.size());
        for (int r = 0; r < repeats; r++) {
            for (size_t k = 0; k < counts.size(); k++) {
                const size_t c = r % 2 ? counts.size() - 1 - k : k;
                useThreads(counts[c], *pos);
                const Run run = searchToDepth(*pos, fens[i], depth);
                if (run.done && (!best[c].done || run.ms < best[c].ms)) best[c] = run;
            }
        }
        std::fflush(stdout);
        dup2(console, 1);

        std::printf("%4zu", i + 1);
        for (size_t c = 0; c < counts.size(); c++) {
            totals[c].add(best[c]);
            std::printf(" %14u", best[c].ms);
            if (best[0].ms >= MIN_TIMED_MS && best[c].ms)
                totals[c].speedUps.push_back(double(best[0].ms) / best[c].ms);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    useThreads(counts[0], *pos);

    std::printf("\n%12s %8s %8s %10s %6s %8s %6s %7s %7s %6s %6s %9s %9s %8s %6s\n", "threads", "speed-up", "of total",
                "nodes/s", "nps x", "overhead", "idle", "owner", "copy", "locks", "uptake", "splits/s", "refused/s", "sleeps/s", "cores");
    const Totals& one = totals[0];
    const double nps1 = one.ms ? one.nodes * 1000.0 / one.ms : 0;
    for (size_t c = 0; c < counts.size(); c++) {
        const Totals& t = totals[c];
        const double nps = t.ms ? t.nodes * 1000.0 / t.ms : 0;
        // All threads' time together, in nanoseconds.
        const double threadTime = double(t.ms) * 1e6 * counts[c].threads;
        auto share = [&](double ns) { return threadTime > 0 ? 100 * ns / threadTime : 0.0; };
        std::printf("%12s %8.2f %8.2f %10.0f %6.2f %8.2f %5.1f%% %6.1f%% %6.2f%% %5.2f%% %4.1fus %9.0f %9.0f %8.0f %6.2f\n",
                    counts[c].label.c_str(), median(t.speedUps), t.ms ? double(one.ms) / t.ms : 0.0, nps, nps1 ? nps / nps1 : 0.0,
                    one.nodes ? double(t.nodes) / one.nodes : 0.0, share(t.idle), share(t.ownerWait),
                    share(t.copy), share(t.lockWait), t.uptakes ? t.uptake / t.uptakes / 1000 : 0.0,
                    t.ms ? t.splits * 1000.0 / t.ms : 0.0, t.ms ? t.refused * 1000.0 / t.ms : 0.0,
                    t.ms ? t.sleeps * 1000.0 / t.ms : 0.0, t.ms ? t.processorNs / (t.ms * 1e6) : 0.0);
    }
    std::printf("\n%12s %9s %9s %9s %9s   uptakes taking\n", "threads", "<10us", "<100us", "<1ms", ">=1ms");
    for (size_t c = 1; c < counts.size(); c++) {
        const Totals& t = totals[c];
        std::printf("%12s", counts[c].label.c_str());
        for (uint64_t n : t.uptakesWithin) std::printf(" %8.1f%%", t.uptakes ? 100.0 * n / t.uptakes : 0.0);
        std::printf("\n");
    }
    std::printf("speed-up: median over the %zu positions one thread searched for %u ms or more; of total: the sum "
                "of one thread's times over the sum of these\n",
                totals[0].speedUps.size(), MIN_TIMED_MS);
    std::printf("idle: threads waiting for work, of it owner: owners waiting for their split's workers; copy, "
                "locks: shares of the threads' time; uptake: mean from a split's offer to the thread starting; refused: "
                "splits asked for that found no idle thread; sleeps: waits that ended asleep; cores: processor time "
                "the searches had per second (with other programs running, the machine may give N threads less than N "
                "processors)\n");
    return 0;
}

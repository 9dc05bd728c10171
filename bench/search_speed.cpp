// Search speed: the fixed benchmark workload, reporting the node total and
// nodes per second. Usage: search_speed [depth] [runs]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "board/attacks.h"
#include "search/benchmark.h"

int main(int argc, char** argv) {
    const int depth = argc > 1 ? std::atoi(argv[1]) : BENCHMARK_DEPTH;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    initZobristKeys();
    initBoardTables();

    // The search's own lines would drown the figures: send them elsewhere.
    std::fflush(stdout);
    int console = dup(1);
    FILE* sink = std::fopen("/dev/null", "w");
    std::vector<double> rates;
    BenchmarkResult result;
    for (int run = 0; run < runs; run++) {
        if (sink) dup2(fileno(sink), 1);
        result = runSearchBenchmark(depth);
        std::fflush(stdout);
        dup2(console, 1);
        double nps = result.milliseconds ? result.nodes * 1000.0 / result.milliseconds : 0;
        rates.push_back(nps);
        std::printf("run %d: %llu nodes in %u ms, %.0f nodes/s\n", run + 1, (unsigned long long)result.nodes,
                    result.milliseconds, nps);
    }
    std::sort(rates.begin(), rates.end());
    std::printf("depth %d, %d positions: %llu nodes, median %.0f nodes/s\n", depth, result.positions,
                (unsigned long long)result.nodes, rates[rates.size() / 2]);
    return 0;
}

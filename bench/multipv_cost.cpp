// What several principal variations cost: the time to a fixed depth with
// 1, 3 and 5 lines over the first positions of a test suite, each search
// from empty tables, the line counts taking turns position by position so
// that a change in the machine's load falls on all of them alike.
// Usage, from the repository: multipv_cost [depth] [positions] [epd file]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "search/benchmark.h"
#include "search/transposition.h"

int main(int argc, char** argv) {
    const int depth = argc > 1 ? std::atoi(argv[1]) : 12;
    const int wanted = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const std::string path = argc > 3 ? argv[3] : "../shared/data/bratko-kopec.epd";
    initZobristKeys();
    initBoardTables();
    if (!allocateTranspositionTable(BENCHMARK_TABLE_BYTES) || !allocatePawnTable(BENCHMARK_PAWN_TABLE_BYTES)) {
        std::fprintf(stderr, "no memory for the tables\n");
        return 1;
    }

    // An EPD line's first four fields are a FEN without its move counters.
    std::vector<std::string> fens;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line) && int(fens.size()) < wanted;) {
        std::istringstream words(line);
        std::string a, b, c, d;
        if (!(words >> a >> b >> c >> d)) continue;
        fens.push_back(a + " " + b + " " + c + " " + d + " 0 1");
    }
    if (fens.empty()) {
        std::fprintf(stderr, "no positions in %s\n", path.c_str());
        return 1;
    }

    const int counts[] = {1, 3, 5};
    uint64_t milliseconds[3] = {}, nodes[3] = {};
    std::vector<uint32_t> perPosition[3];
    auto pos = std::make_unique<Position>();
    // The search's own lines would drown the figures.
    std::fflush(stdout);
    const int console = dup(1);
    FILE* sink = std::fopen("/dev/null", "w");
    for (const std::string& fen : fens) {
        for (int c = 0; c < 3; c++) {
            clearTranspositionTable();
            clearPawnTable();
            SearchRequest request;
            request.depthLimit = depth + 1;
            request.clocks.fixedTime = true;
            request.clocks.fixedMoveTime = 0xFFFFFFF;
            request.multiPV = counts[c];
            if (sink) dup2(fileno(sink), 1);
            const uint32_t start = timeNow();
            const bool ok = searchFromEmptyTables(*pos, fen.c_str(), request);
            const uint32_t took = timeNow() - start;
            std::fflush(stdout);
            dup2(console, 1);
            if (!ok) break;
            milliseconds[c] += took;
            nodes[c] += pos->stats.nodes;
            perPosition[c].push_back(took);
        }
    }
    std::printf("depth %d, %zu positions of %s\n", depth, fens.size(), path.c_str());
    std::printf("MultiPV  total ms  median ms  nodes        vs 1 line\n");
    for (int c = 0; c < 3; c++) {
        std::vector<uint32_t> sorted = perPosition[c];
        std::sort(sorted.begin(), sorted.end());
        const uint32_t median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
        std::printf("%7d  %8llu  %9u  %11llu  %5.2fx\n", counts[c], (unsigned long long)milliseconds[c], median,
                    (unsigned long long)nodes[c], milliseconds[0] ? double(milliseconds[c]) / milliseconds[0] : 0.0);
    }
    return 0;
}

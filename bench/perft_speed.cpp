// Perft speed, single thread: leaf nodes per second for the initial
// position at depth 6 and "kiwipete" at depth 5, each the median of a few
// runs (the first argument sets how many, default 3).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "board/attacks.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/position.h"

namespace {

struct Benchmark {
    const char* name;
    const char* fen;
    int depth;
};

const Benchmark benchmarks[] = {
    {"initial position", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 6},
    {"kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5},
};

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    initZobristKeys();
    initBoardTables();
    auto pos = std::make_unique<Position>();
    for (const Benchmark& bench : benchmarks) {
        if (setBoardFromFen(*pos, bench.fen) != 0) return 2;
        std::vector<double> rates;
        uint32_t leaves = 0;
        for (int run = 0; run < runs; run++) {
            auto start = std::chrono::steady_clock::now();
            leaves = perft(*pos, bench.depth);
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            rates.push_back(leaves / seconds);
        }
        std::sort(rates.begin(), rates.end());
        std::printf("%-17s depth %d: %u leaves, median %.2f M leaves/s (min %.2f, max %.2f, %d runs)\n", bench.name,
                    bench.depth, leaves, rates[rates.size() / 2] / 1e6, rates.front() / 1e6, rates.back() / 1e6, runs);
    }
    return 0;
}

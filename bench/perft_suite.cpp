// Runs every position of a perft reference file at every depth it lists and
// reports each count; any mismatch makes the exit status non-zero. With
// --chess960 after the file the FENs are read by Fischer random rules.
#include <chrono>
#include <cstdio>
#include <memory>

#include "bench/perft_epd.h"
#include "board/attacks.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/position.h"

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "tests/data/perft.epd";
    const bool chess960 = argc > 2 && std::string(argv[2]) == "--chess960";
    std::vector<PerftCase> cases = readPerftFile(path);
    if (cases.empty()) {
        std::printf("no positions read from %s\n", path.c_str());
        return 2;
    }
    initZobristKeys();
    initBoardTables();
    auto pos = std::make_unique<Position>();
    int mismatches = 0;
    for (const PerftCase& entry : cases) {
        std::printf("%s%s%s\n", entry.fen.c_str(), entry.comment.empty() ? "" : "  # ", entry.comment.c_str());
        if (setBoardFromFen(*pos, entry.fen.c_str(), nullptr, chess960) != 0) {
            std::printf("  rejected FEN\n");
            mismatches++;
            continue;
        }
        for (auto [depth, expected] : entry.counts) {
            auto start = std::chrono::steady_clock::now();
            uint64_t count = perft(*pos, depth);
            double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            bool ok = count == expected;
            if (!ok) mismatches++;
            std::printf("  depth %d: %llu %s (%.0f ms)\n", depth, (unsigned long long)count,
                        ok ? "ok" : ("MISMATCH, expected " + std::to_string(expected)).c_str(), ms);
            std::fflush(stdout);
        }
    }
    std::printf("%d mismatch%s\n", mismatches, mismatches == 1 ? "" : "es");
    return mismatches ? 1 : 0;
}

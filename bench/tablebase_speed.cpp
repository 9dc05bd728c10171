// Tablebase speed, one thread: generation time of every table up to N men
// (process CPU time and wall time), and the probe rate of positions whose
// blocks are in the cache, for plain and compressed files.
//
//   tablebase_speed [--men N] [--dir DIR] [--runs R]
//
// Without --dir the tables are generated into a fresh directory under /tmp
// and removed afterwards; with it, tables already there are read instead.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/notation.h"
#include "egtb/block_cache.h"
#include "egtb/block_format.h"
#include "egtb/catalogue.h"
#include "egtb/table_entries.h"
#include "egtb/table_store.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_values.h"
#include "egtb/tablebases.h"
#include "search/position.h"

namespace {

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Positions of the generated tables, as FEN, both sides to move.
std::vector<std::unique_ptr<Position>> samplePositions(int men, size_t count) {
    std::vector<std::unique_ptr<Position>> positions;
    std::mt19937 rng(7);
    std::vector<int> tables;
    for (int t = 1; t < TABLE_COUNT; t++)
        if (tableMen(t) <= men) tables.push_back(t);
    while (positions.size() < count) {
        const int t = tables[rng() % tables.size()];
        const TableLayout& layout = tableLayout(t);
        int sq[TB_MAX_MEN];
        Bitboard used = 0;
        for (int m = 0; m < layout.men; m++) {
            sq[m] = layout.manType[m] == PAWN ? 8 + int(rng() % 48) : int(rng() % 64);
            used |= Bitboard(1) << sq[m];
        }
        if (popCount(used) != layout.men) continue;
        const std::string fen = entryFen(t, sq, int(rng() % 2));
        auto pos = std::make_unique<Position>();
        if (setBoardFromFen(*pos, fen.c_str()) == 0) positions.push_back(std::move(pos));
    }
    return positions;
}

// Median nanoseconds per probe over `runs` passes, the cache already warm.
double probeNanoseconds(const std::vector<std::unique_ptr<Position>>& positions, int runs, long& found) {
    for (auto& pos : positions) probeTablebaseValue(*pos, pos->sideToMove ^ 1);  // fill the cache
    std::vector<double> results;
    found = 0;
    for (int run = 0; run < runs; run++) {
        long hits = 0;
        const double start = wallSeconds();
        for (int repeat = 0; repeat < 10; repeat++)
            for (auto& pos : positions) hits += probeTablebaseValue(*pos, pos->sideToMove ^ 1) != TB_NOT_AVAILABLE;
        results.push_back((wallSeconds() - start) * 1e9 / double(10 * positions.size()));
        found = hits / 10;
    }
    std::sort(results.begin(), results.end());
    return results[results.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int men = 4, runs = 5;
    std::string dir;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--men") && i + 1 < argc) men = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) dir = argv[++i];
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: tablebase_speed [--men 3|4|5] [--dir DIR] [--runs R]\n");
            return 2;
        }
    }
    const bool temporary = dir.empty();
    if (temporary) {
        char templ[] = "/tmp/tarno-tbbench-XXXXXX";
        if (!mkdtemp(templ)) return 2;
        dir = templ;
    }
    initZobristKeys();
    initBoardTables();

    GeneratorOptions options;
    options.directory = dir;
    TableStore store(options);
    const double cpu0 = cpuSeconds(), wall0 = wallSeconds();
    int generated = 0;
    for (int t = 1; t < TABLE_COUNT; t++) {
        if (tableMen(t) > men) continue;
        std::string error;
        const double before = cpuSeconds();
        if (!store.ensure(t, error)) {
            std::fprintf(stderr, "tablebase_speed: %s: %s\n", tableCatalogue[t].name, error.c_str());
            return 1;
        }
        if (store.lastReport().seconds > 0 && tableMen(t) >= 4)
            std::printf("  %-6s %6.2f s cpu\n", tableCatalogue[t].name, cpuSeconds() - before);
        generated += store.lastReport().seconds > 0;
        store.releaseAbove(4);
    }
    std::printf("generation: %d tables up to %d men, %.2f s cpu, %.2f s wall\n", generated, men, cpuSeconds() - cpu0,
                wallSeconds() - wall0);

    // Compressed copies of every file, in a second directory.
    const std::string packed = dir + "/compressed";
    std::filesystem::create_directories(packed);
    for (int t = 1; t < TABLE_COUNT; t++) {
        if (tableMen(t) > std::min(men, 4)) continue;
        for (int side = 0; side < 2; side++) {
            std::string name = std::string(tableCatalogue[t].name) + (side ? ".nbb" : ".nbw");
            if (!std::filesystem::exists(dir + "/" + name)) continue;
            FILE* f = std::fopen((dir + "/" + name).c_str(), "rb");
            std::vector<uint8_t> bytes(std::filesystem::file_size(dir + "/" + name));
            size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
            std::string error;
            if (got != bytes.size() || !writeEmdFile(packed + "/" + name + ".emd", bytes.data(), bytes.size(), 12, error))
                return 1;
        }
    }

    const auto positions = samplePositions(std::min(men, 4), 2000);
    std::vector<uint8_t> cache(64u << 20);
    for (const std::string& where : {dir, packed}) {
        initTablebases(where.c_str(), 1, false);
        setTablebaseCache(cache.data(), cache.size());
        long found = 0;
        double ns = probeNanoseconds(positions, runs, found);
        std::printf("probe (%s files, cache hits): median %.0f ns per probe, %.2f M probes/s, %ld of %zu found\n",
                    where == dir ? "plain" : "compressed", ns, 1e3 / ns, found, positions.size());
        releaseTablebases();
    }
    if (temporary) std::filesystem::remove_all(dir);
    return 0;
}

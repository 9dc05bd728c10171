// The generator: known longest mates, every value agreeing with the best
// move by the engine's own move generator, files in both formats, and the
// tables a table depends on.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/block_format.h"
#include "egtb/catalogue.h"
#include "egtb/material_keys.h"
#include "egtb/table_entries.h"
#include "egtb/table_store.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_fixture.h"
#include "egtb/tablebase_values.h"
#include "egtb/tablebases.h"
#include "support/test_support.h"

namespace {

// The value a position must have given the values after each legal move.
int valueFromChildren(Position& pos) {
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    int best = 0;
    bool any = false, draw = false, win = false;
    int worst = 0;  // the slowest loss
    for (Move* m = moves; m < end; m++) {
        if (!makeMove(pos, *m, false)) continue;
        any = true;
        int child = popCount(occupied(pos)) == 2 ? 0 : probeTablebaseValue(pos, pos.sideToMove ^ 1);
        unmakeMove(pos);
        EXPECT_NE(child, TB_NOT_AVAILABLE);
        if (child < 0) {  // the opponent is mated after N moves: we mate in N + 1
            int v = TB_NOT_AVAILABLE - (child + 32766 + 1);
            best = win ? std::max(best, v) : v;
            win = true;
        } else if (child == 0) {
            draw = true;
        } else {  // the opponent mates in N: we are mated after N moves
            worst = std::max(worst, TB_NOT_AVAILABLE - child);
        }
    }
    if (!any) return isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1) ? -32766 : 0;
    if (win) return best;
    if (draw) return 0;
    return -32766 + worst;
}

struct ThreeMen {
    std::vector<uint8_t> cache = std::vector<uint8_t>(256 * 8284);
    ThreeMen() {
        initTablebases(threeManTables().c_str(), 1, false);
        setTablebaseCache(cache.data(), cache.size());
    }
    ~ThreeMen() { releaseTablebases(); }
};

}  // namespace

TEST(Generator, KnownLongestMates) {
    initEngineTables();
    GeneratorOptions options;
    options.writeFiles = false;
    TableStore store(options);
    std::string error;
    const std::pair<const char*, int> longest[] = {{"kqk", 10}, {"krk", 16}, {"kpk", 28}};
    for (auto [name, moves] : longest) {
        ASSERT_TRUE(store.ensure(findTable(name), error)) << error;
        // The side to move is mated after that many moves of its own.
        EXPECT_EQ(store.lastReport().longestPlies, 2 * moves) << name;
    }
    TableStore fresh(options);
    ASSERT_TRUE(fresh.ensure(findTable("knk"), error));
    EXPECT_EQ(fresh.lastReport().wins[0] + fresh.lastReport().losses[1], 0u);  // a knight cannot mate
    EXPECT_GT(fresh.lastReport().draws[0], 20000u);
}

TEST(Generator, EveryValueFollowsFromTheBestMove) {
    ThreeMen tables;
    for (const char* name : {"kpk", "krk", "kqk"}) {
        const int t = findTable(name);
        int checked = 0;
        for (int side = 0; side < 2; side++)
            forEachLegalEntry(t, side, [&](uint32_t index, const int* sq) {
                if (index % 5 != 0) return;  // a sample keeps the test quick
                auto pos = positionFromFen(entryFen(t, sq, side));
                const int stored = probeTablebaseValue(*pos, side ^ 1);
                ASSERT_EQ(stored, valueFromChildren(*pos)) << entryFen(t, sq, side);
                checked++;
            });
        EXPECT_GT(checked, 8000) << name;
    }
}

TEST(Generator, WritesCompressedFilesWithTheSameContents) {
    initEngineTables();
    GeneratorOptions options;
    options.directory = scratchDirectory();
    options.compress = true;
    options.level = 3;
    TableStore store(options);
    std::string error;
    ASSERT_TRUE(store.ensure(findTable("krk"), error)) << error;
    for (const char* side : {"nbw", "nbb"}) {
        std::vector<uint8_t> plain = readFileBytes(threeManTables() + "/krk." + side);
        std::vector<uint8_t> packed = readFileBytes(options.directory + "/krk." + side + ".emd");
        EXPECT_LT(packed.size(), plain.size() / 2);
    }
    // Another run reads them back instead of generating again.
    TableStore again(options);
    ASSERT_TRUE(again.ensure(findTable("krk"), error)) << error;
    EXPECT_EQ(again.lastReport().seconds, 0.0);
    EXPECT_EQ(again.find(findTable("krk"))->data[0], readFileBytes(threeManTables() + "/krk.nbw"));
}

TEST(Generator, DependenciesAreTheCapturesAndPromotions) {
    auto names = [](const char* table) {
        std::vector<std::string> result;
        for (int t : tableDependencies(findTable(table))) result.push_back(tableCatalogue[t].name);
        std::sort(result.begin(), result.end());
        return result;
    };
    EXPECT_EQ(names("kqk"), std::vector<std::string>{});
    EXPECT_EQ(names("kpk"), (std::vector<std::string>{"kbk", "knk", "kqk", "krk"}));
    const std::vector<std::string> krpkr = names("krpkr");
    for (const char* expected : {"kqrkr", "krrkr", "krbkr", "krnkr", "krkr", "krpk", "krkp", "kqrk", "krrk", "krbk",
                                 "krnk"})
        EXPECT_NE(std::find(krpkr.begin(), krpkr.end(), expected), krpkr.end()) << expected;
    EXPECT_EQ(krpkr.size(), 11u);
}

TEST(Generator, DamagedInputTablesStopTheRun) {
    initEngineTables();
    const std::string dir = scratchDirectory();
    // A KQK file of the wrong size where KQQK's captures lead.
    writeFileBytes(dir + "/kqk.nbw", std::vector<uint8_t>(100, 0));
    writeFileBytes(dir + "/kqk.nbb", std::vector<uint8_t>(100, 0));
    GeneratorOptions options;
    options.directory = dir;
    TableStore store(options);
    std::string error;
    EXPECT_FALSE(store.ensure(findTable("kqqk"), error));
    EXPECT_NE(error.find("wrong size"), std::string::npos) << error;
}

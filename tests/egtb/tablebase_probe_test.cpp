// The probe from a position: material to table, colours exchanged, the
// en-passant right, the score scale, and no allocation on the way.
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "egtb/block_cache.h"
#include "egtb/block_format.h"
#include "egtb/catalogue.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_fixture.h"
#include "egtb/tablebase_values.h"
#include "egtb/tablebases.h"
#include "support/test_support.h"

// Every allocation of this test program is counted, so that a probe can be
// shown to make none. The address sanitizer brings its own allocator, which
// must not be replaced; under it the count is not taken.
namespace {
std::atomic<long> allocations{0};
}
#ifndef __SANITIZE_ADDRESS__
#define COUNTING_ALLOCATIONS 1
void* operator new(std::size_t size) {
    allocations++;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

struct Tables {
    std::vector<uint8_t> cache;
    explicit Tables(const std::string& dirs, size_t blocks = 64) : cache(blocks * CACHE_BLOCK_BYTES) {
        initTablebases(dirs.c_str(), 1, false);
        setTablebaseCache(cache.data(), cache.size());
    }
    ~Tables() { releaseTablebases(); }
};

int valueOf(const char* fen) {
    auto pos = positionFromFen(fen);
    return probeTablebaseValue(*pos, pos->sideToMove ^ 1);
}

}  // namespace

TEST(PositionProbe, ColoursExchangedReadTheSameTables) {
    Tables tables(threeManTables());
    // KRK with White's rook and with Black's, each side to move.
    const int whiteToMove = valueOf("8/8/8/8/8/2k5/1R6/K7 w - - 0 1");
    EXPECT_EQ(whiteToMove, valueFromPlies(31));
    EXPECT_EQ(valueOf("k7/1r6/2K5/8/8/8/8/8 b - - 0 1"), whiteToMove);
    EXPECT_EQ(valueOf("8/8/8/8/8/2k5/1R6/K7 b - - 0 1"), valueOf("k7/1r6/2K5/8/8/8/8/8 w - - 0 1"));
    // A black pawn runs down the board as a white one runs up.
    EXPECT_EQ(valueOf("8/6p1/8/8/8/8/k7/7K b - - 0 1"), valueOf("7k/K7/8/8/8/8/6P1/8 w - - 0 1"));
}

TEST(PositionProbe, OnlyMaterialsWithATable) {
    Tables tables(threeManTables());
    EXPECT_EQ(valueOf("8/8/8/3k4/8/8/8/K7 w - - 0 1"), TB_NOT_AVAILABLE);              // bare kings
    EXPECT_EQ(valueOf("8/8/8/3k4/8/8/1QQ5/K7 w - - 0 1"), TB_NOT_AVAILABLE);           // KQQK not here
    EXPECT_EQ(valueOf("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1"), TB_NOT_AVAILABLE);
    EXPECT_EQ(valueOf("8/8/8/7k/8/8/QQQQ4/K7 w - - 0 1"), TB_NOT_AVAILABLE);          // four of a kind
    EXPECT_EQ(valueOf("8/8/8/3k4/8/8/8/K6N w - - 0 1"), 0);                           // KNK is a draw
}

TEST(PositionProbe, EnPassantRightsAreLeftToTheSearch) {
    // A KPKP file where every entry reads "mate in 1".
    const std::string dir = scratchDirectory();
    const uint32_t entries = tableCatalogue[findTable("kpkp")].expected[0];
    writeFileBytes(dir + "/kpkp.nbw", std::vector<uint8_t>(entries, 126));
    Tables tables(dir);
    // After e7-e5 a pawn on d5 can take in passing.
    EXPECT_EQ(valueOf("4k3/8/8/3Pp3/8/8/8/4K3 w - e6 0 1"), TB_NOT_AVAILABLE);
    EXPECT_EQ(valueOf("4k3/8/8/3Pp3/8/8/8/4K3 w - - 0 1"), 32766);
    // Black to move reads the same symmetric file.
    EXPECT_EQ(valueOf("4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1"), TB_NOT_AVAILABLE);
    EXPECT_EQ(valueOf("4k3/8/8/8/3pP3/8/8/4K3 b - - 0 1"), 32766);
}

TEST(PositionProbe, ScoresAreMateDistancesFromTheProbedNode) {
    Tables tables(threeManTables());
    auto pos = positionFromFen("8/8/8/5k2/8/8/1Q6/K7 w - - 0 1");  // mate in 10
    int score = 0;
    ASSERT_TRUE(probeTablebase(*pos, BLACK, score));
    EXPECT_EQ(score, 10000 - 20);
    pos = positionFromFen("7k/8/6K1/8/8/8/8/1Q6 b - - 0 1");  // Black to move, not yet mated
    ASSERT_TRUE(probeTablebase(*pos, WHITE, score));
    EXPECT_LT(score, -9700);
    EXPECT_EQ((score + 10000) % 2, 1);  // mated at an odd ply counted from the root
    pos = positionFromFen("8/8/8/3k4/8/8/8/K6N w - - 0 1");
    ASSERT_TRUE(probeTablebase(*pos, BLACK, score));
    EXPECT_EQ(score, 0);
    pos = positionFromFen("8/8/8/3k4/8/8/1QQ5/K7 w - - 0 1");
    score = 12345;
    EXPECT_FALSE(probeTablebase(*pos, BLACK, score));
    EXPECT_EQ(score, 12345);
}

TEST(PositionProbe, ProbesAllocateNothing) {
#ifndef COUNTING_ALLOCATIONS
    GTEST_SKIP() << "allocations are not counted under the address sanitizer";
#endif
    // Compressed and plain files, a cache small enough to keep replacing
    // blocks, so that misses, reads and expansions all happen.
    const std::string dir = scratchDirectory();
    for (const char* file : {"kqk.nbw", "kpk.nbb"}) {
        std::vector<uint8_t> bytes = readFileBytes(threeManTables() + "/" + file);
        std::string error;
        ASSERT_TRUE(writeEmdFile(dir + "/" + file + ".emd", bytes.data(), bytes.size(), 3, error));
    }
    Tables tables(dir + ";" + threeManTables(), 3);
    ASSERT_EQ(compressedTableCount(), 2);
    std::vector<std::unique_ptr<Position>> positions;
    for (const char* fen : {"8/8/8/5k2/8/8/1Q6/K7 w - - 0 1", "8/8/8/8/8/2k5/1R6/K7 b - - 0 1",
                            "8/8/8/1k6/8/8/K5P1/8 w - - 0 1", "1k6/8/8/8/8/8/6P1/K7 b - - 0 1",
                            "8/2k5/8/8/8/8/1R6/K7 w - - 0 1", "8/8/3k4/8/8/8/5B2/K7 b - - 0 1"})
        positions.push_back(positionFromFen(fen));
    const long before = allocations.load();
    long found = 0;
    for (int round = 0; round < 200; round++)
        for (auto& pos : positions) found += probeTablebaseValue(*pos, pos->sideToMove ^ 1) != TB_NOT_AVAILABLE;
    EXPECT_EQ(allocations.load(), before);
    EXPECT_EQ(found, 200 * long(positions.size()));
}

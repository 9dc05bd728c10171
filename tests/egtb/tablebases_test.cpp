// Finding and registering table files, and reading values through the
// block cache: the directory list, file names, damaged files and the
// messages they give.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
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

namespace {

// A cache of `blocks` blocks, released with the registrations.
struct Registry {
    std::vector<uint8_t> cache;
    explicit Registry(size_t blocks = 64) : cache(blocks * CACHE_BLOCK_BYTES) {}
    int init(const std::string& paths, bool fatal = false) {
        int men = initTablebases(paths.c_str(), 2, fatal);
        setTablebaseCache(cache.data(), cache.size());
        return men;
    }
    ~Registry() { releaseTablebases(); }
};

int valueOf(const char* fen) {
    auto pos = positionFromFen(fen);
    return probeTablebaseValue(*pos, pos->sideToMove ^ 1);
}

std::string path(const std::string& dir, const char* file) { return dir + "/" + file; }

// Entry of a KQK position in the White-to-move file (squares as names).
uint32_t kqkIndex(const char* wk, const char* q, const char* bk) {
    int first[LIST_SLOTS] = {}, second[LIST_SLOTS] = {};
    auto tb = [](const char* s) { return flipRanks(engineSquare(s)); };
    first[KING_SLOT] = tb(wk);
    first[listSlot(5, 0)] = tb(q);
    second[KING_SLOT] = tb(bk);
    return tableCatalogue[findTable("kqk")].index[0](first, second, TB_NO_SQUARE, false);
}

const char* KQK_MATE_IN_ONE = "7k/8/6K1/8/8/8/8/1Q6 w - - 0 1";  // Qb1-b8 mate
const char* KQK_WON = "8/8/8/5k2/8/8/1Q6/K7 w - - 0 1";          // mate in 10

std::string captureRegistration(const std::string& paths, int& men) {
    testing::internal::CaptureStdout();
    men = initTablebases(paths.c_str(), 1, false);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Tablebases, DirectoryListsWithoutTablesGiveNothing) {
    Registry r;
    const std::string empty = scratchDirectory();
    for (const std::string& list : {std::string(""), std::string(";"), std::string(",,;"), empty,
                                    std::string("/no/such/directory"), empty + ";/no/such;" + empty}) {
        int men = -1;
        std::string out = captureRegistration(list, men);
        EXPECT_EQ(men, 0) << list;
        EXPECT_EQ(out, "") << list;
    }
    setTablebaseCache(r.cache.data(), r.cache.size());
    EXPECT_EQ(valueOf(KQK_WON), TB_NOT_AVAILABLE);
}

TEST(Tablebases, EmptyAndMissingEntriesAreSkipped) {
    Registry r;
    EXPECT_EQ(r.init(";;/no/such/dir,," + threeManTables() + ";"), 3);
    EXPECT_EQ(valueOf(KQK_WON), valueFromPlies(19));
    EXPECT_EQ(valueOf(KQK_MATE_IN_ONE), valueFromPlies(1));
    // A directory or a pipe under a table's name is no table (and opening
    // the pipe must not wait for a writer).
    const std::string odd = scratchDirectory();
    ASSERT_EQ(mkdir(path(odd, "kqk.nbw").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(path(odd, "krk.nbw").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(path(odd, "kpk.nbw.emd").c_str(), 0600), 0);
    int men = -1;
    EXPECT_EQ(captureRegistration(odd, men), "");
    EXPECT_EQ(men, 0);
    // A directory that cannot be read is as good as missing.
    if (geteuid() != 0) {
        const std::string locked = scratchDirectory();
        copyFile(path(threeManTables(), "kqk.nbw"), path(locked, "kqk.nbw"));
        chmod(locked.c_str(), 0);
        EXPECT_EQ(r.init(locked), 0);
        chmod(locked.c_str(), 0700);
    }
}

TEST(Tablebases, TheFirstDirectoryHoldingAFileWins) {
    Registry r;
    // Every entry a draw, in the first directory: only White to move.
    const std::string first = scratchDirectory();
    const size_t entries = tableCatalogue[findTable("kqk")].expected[0];
    writeFileBytes(path(first, "kqk.nbw"), std::vector<uint8_t>(entries, 0));
    EXPECT_EQ(r.init(first + ";" + threeManTables()), 3);
    EXPECT_EQ(valueOf(KQK_WON), 0);
    // Black to move comes from the second directory.
    EXPECT_LT(valueOf("8/8/8/5k2/8/8/1Q6/K7 b - - 0 1"), 0);
    EXPECT_EQ(r.init(threeManTables() + "," + first), 3);
    EXPECT_EQ(valueOf(KQK_WON), valueFromPlies(19));
}

TEST(Tablebases, CompressedFilesUnderAllThreeNames) {
    const std::string dir = scratchDirectory();
    const std::vector<uint8_t> white = readFileBytes(path(threeManTables(), "kqk.nbw"));
    const std::vector<uint8_t> black = readFileBytes(path(threeManTables(), "kqk.nbb"));
    std::string error;
    const char* fens[] = {KQK_WON, "8/8/8/5k2/8/8/1Q6/K7 b - - 0 1", "8/8/8/8/8/8/2k5/Kq6 w - - 0 1"};
    std::vector<int> expected;
    {
        Registry plain;
        plain.init(threeManTables());
        for (const char* fen : fens) expected.push_back(valueOf(fen));
    }
    EXPECT_EQ(expected[2], valueFromPlies(0));  // checkmated, colours exchanged
    for (const char* names : {"kqk.nbw.emd kqk.nbb.emd", "kqk_nbw.emd kqk_nbb.emd", "kqknbw.emd kqknbb.emd"}) {
        const std::string sub = scratchDirectory();
        char w[32], b[32];
        std::sscanf(names, "%31s %31s", w, b);
        ASSERT_TRUE(writeEmdFile(path(sub, w), white.data(), white.size(), 3, error)) << error;
        ASSERT_TRUE(writeEmdFile(path(sub, b), black.data(), black.size(), 3, error)) << error;
        Registry r;
        EXPECT_EQ(r.init(sub), 3) << names;
        EXPECT_EQ(compressedTableCount(), 2) << names;
        for (size_t i = 0; i < expected.size(); i++) EXPECT_EQ(valueOf(fens[i]), expected[i]) << names << fens[i];
    }
}

TEST(Tablebases, DamagedFilesAreReportedAndLeftOut) {
    const std::string dir = scratchDirectory();
    std::vector<uint8_t> kqk = readFileBytes(path(threeManTables(), "kqk.nbw"));
    kqk.pop_back();
    writeFileBytes(path(dir, "kqk.nbw"), kqk);
    copyFile(path(threeManTables(), "krk.nbw"), path(dir, "krk.nbw"));
    writeFileBytes(path(dir, "kbk.nbw.emd"), std::vector<uint8_t>(300, 0x55));  // garbage
    // A header claiming 4096-byte blocks.
    std::string error;
    std::vector<uint8_t> knk(3 * TB_BLOCK_SIZE + 100, 0);
    ASSERT_TRUE(writeEmdFile(path(dir, "knk.nbw.emd"), knk.data(), knk.size(), 3, error));
    std::vector<uint8_t> knkCompressed = readFileBytes(path(dir, "knk.nbw.emd"));
    knkCompressed[9] = 0x10;
    writeFileBytes(path(dir, "knk.nbw.emd"), knkCompressed);
    // A compressed file of the wrong length.
    std::vector<uint8_t> kpk = readFileBytes(path(threeManTables(), "kpk.nbw"));
    kpk.resize(kpk.size() - TB_BLOCK_SIZE);
    ASSERT_TRUE(writeEmdFile(path(dir, "kpk.nbw.emd"), kpk.data(), kpk.size(), 3, error));

    Registry r;
    int men = -1;
    std::string out = captureRegistration(dir, men);
    setTablebaseCache(r.cache.data(), r.cache.size());
    EXPECT_EQ(men, 3);
    EXPECT_NE(out.find("*** " + path(dir, "kpk.nbw.emd") + " corrupted\n"), std::string::npos) << out;
    EXPECT_NE(out.find("*** " + path(dir, "knk.nbw.emd") + ": Unsupported block size 4096\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("*** Unable to read " + path(dir, "kbk.nbw.emd") + " - file broken\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("*** " + path(dir, "kqk.nbw") + " corrupted\n"), std::string::npos) << out;
    EXPECT_FALSE(tableSideRegistered(findTable("kqk"), 0));
    EXPECT_TRUE(tableSideRegistered(findTable("krk"), 0));
    EXPECT_EQ(valueOf(KQK_WON), TB_NOT_AVAILABLE);
    EXPECT_EQ(valueOf("8/8/8/8/8/2k5/1R6/K7 w - - 0 1"), valueFromPlies(31));  // KRK mate in 16
}

TEST(TablebasesDeathTest, DamagedFilesEndTheProgramAtStartUp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string dir = scratchDirectory();
    std::vector<uint8_t> kqk = readFileBytes(path(threeManTables(), "kqk.nbw"));
    kqk.push_back(0);
    writeFileBytes(path(dir, "kqk.nbw"), kqk);
    EXPECT_EXIT(initTablebases(dir.c_str(), 1, true), testing::ExitedWithCode(1), "");
    unlink(path(dir, "kqk.nbw").c_str());
    writeFileBytes(path(dir, "kqk.nbb.emd"), std::vector<uint8_t>(64, 1));
    EXPECT_EXIT(initTablebases(dir.c_str(), 1, true), testing::ExitedWithCode(1), "");
}

TEST(Tablebases, PathsTooLongForTheBufferAreSkipped) {
    Registry r;
    // A directory whose file paths do not fit in 256 characters.
    std::string deep = scratchDirectory() + "/" + std::string(240, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    copyFile(path(threeManTables(), "kqk.nbw"), path(deep, "kqk.nbw"));
    int men = -1;
    EXPECT_EQ(captureRegistration(deep, men), "");
    EXPECT_EQ(men, 0);
    // A very long list entry of no directory at all.
    EXPECT_EQ(r.init(std::string(5000, 'x') + ";" + threeManTables()), 3);
}

TEST(Tablebases, StoredBytesMapToValues) {
    const std::string dir = scratchDirectory();
    std::vector<uint8_t> white = readFileBytes(path(threeManTables(), "kqk.nbw"));
    const uint32_t won = kqkIndex("a1", "b2", "f5");
    const uint32_t mate = kqkIndex("g6", "b1", "h8");
    ASSERT_NE(won, NO_INDEX);
    ASSERT_NE(mate, NO_INDEX);
    white[won] = 127;
    white[mate] = 0x80;  // -128
    writeFileBytes(path(dir, "kqk.nbw"), white);
    Registry r;
    ASSERT_EQ(r.init(dir), 3);
    EXPECT_EQ(valueOf(KQK_WON), TB_NOT_AVAILABLE);
    EXPECT_EQ(valueOf(KQK_MATE_IN_ONE), 32640);
    EXPECT_EQ(probeTableValue(findTable("kqk"), 0, mate), 32640);
    EXPECT_EQ(probeTableValue(findTable("kqk"), 0, 0xFFFFFFF0u), TB_NOT_AVAILABLE);
}

TEST(Tablebases, ProbesNeedACache) {
    Registry r;
    initTablebases(threeManTables().c_str(), 1, false);
    EXPECT_FALSE(setTablebaseCache(nullptr, 0));
    EXPECT_EQ(valueOf(KQK_WON), TB_NOT_AVAILABLE);
    EXPECT_FALSE(setTablebaseCache(r.cache.data(), 55));
    EXPECT_FALSE(setTablebaseCache(r.cache.data(), CACHE_BLOCK_BYTES - 1));
    EXPECT_EQ(valueOf(KQK_WON), TB_NOT_AVAILABLE);
    EXPECT_TRUE(setTablebaseCache(r.cache.data(), CACHE_BLOCK_BYTES));
    EXPECT_EQ(valueOf(KQK_WON), valueFromPlies(19));
}

TEST(Tablebases, AnUnreadableBlockDropsTheTableSide) {
    const std::string dir = scratchDirectory();
    // KPK compressed, its second block damaged.
    std::vector<uint8_t> white = readFileBytes(path(threeManTables(), "kpk.nbw"));
    std::string error;
    ASSERT_TRUE(writeEmdFile(path(dir, "kpk.nbw.emd"), white.data(), white.size(), 3, error));
    copyFile(path(threeManTables(), "kpk.nbb"), path(dir, "kpk.nbb"));
    std::vector<uint8_t> bytes = readFileBytes(path(dir, "kpk.nbw.emd"));
    const size_t blocks = (white.size() + TB_BLOCK_SIZE - 1) / TB_BLOCK_SIZE;
    const size_t secondBlock = EMD_HEADER_BYTES + 8 * (blocks + 1);
    size_t start = 0;
    for (int i = 0; i < 8; i++) start |= size_t(bytes[EMD_HEADER_BYTES + 8 + i]) << (8 * i);
    ASSERT_GT(start, secondBlock - 1);
    bytes[start + 10] ^= 0xff;
    writeFileBytes(path(dir, "kpk.nbw.emd"), bytes);

    // Entries of positions in the first block and in the damaged second one.
    uint32_t first = 0, second = TB_BLOCK_SIZE;
    while (white[first] == uint8_t(TB_BYTE_NOT_AVAILABLE)) first++;
    while (white[second] == uint8_t(TB_BYTE_NOT_AVAILABLE)) second++;
    ASSERT_LT(second, 2 * TB_BLOCK_SIZE);

    Registry r;
    ASSERT_EQ(r.init(dir), 3);
    const int kpk = findTable("kpk");
    EXPECT_EQ(probeTableValue(kpk, 0, first), valueFromByte(int8_t(white[first])));
    EXPECT_EQ(probeTableValue(kpk, 0, second), TB_NOT_AVAILABLE);
    EXPECT_FALSE(tableSideRegistered(kpk, 0));
    EXPECT_EQ(probeTableValue(kpk, 0, first), TB_NOT_AVAILABLE);  // dropped, even where readable
    EXPECT_EQ(valueOf("8/8/8/1k6/8/8/K5P1/8 w - - 0 1"), TB_NOT_AVAILABLE);
    EXPECT_NE(valueOf("8/8/8/1k6/8/8/K5P1/8 b - - 0 1"), TB_NOT_AVAILABLE);  // Black to move still there
}

TEST(Tablebases, AFileThatDisappearsIsDropped) {
    const std::string dir = scratchDirectory();
    copyFile(path(threeManTables(), "krk.nbw"), path(dir, "krk.nbw"));
    Registry r;
    ASSERT_EQ(r.init(dir), 3);
    unlink(path(dir, "krk.nbw").c_str());
    EXPECT_EQ(valueOf("8/8/8/8/8/2k5/1R6/K7 w - - 0 1"), TB_NOT_AVAILABLE);
    EXPECT_FALSE(tableSideRegistered(findTable("krk"), 0));
}

TEST(Tablebases, LargestTableSizeIsReported) {
    const std::string dir = scratchDirectory();
    copyFile(path(threeManTables(), "kqk.nbw"), path(dir, "kqk.nbw"));
    Registry r;
    EXPECT_EQ(r.init(dir), 3);
    // A four-man and a five-man file of the right sizes (contents unused).
    writeFileBytes(path(dir, "krkn.nbw"), std::vector<uint8_t>(tableCatalogue[findTable("krkn")].expected[0], 0));
    EXPECT_EQ(r.init(dir), 4);
    // Five men: a compressed file whose blocks all hold the same zeros.
    const int table = findTable("krrkr");
    const uint32_t entries = tableCatalogue[table].expected[0];
    const std::string small = dir + "/one.emd";
    std::vector<uint8_t> zeros(TB_BLOCK_SIZE, 0);
    std::string error;
    ASSERT_TRUE(writeEmdFile(small, zeros.data(), zeros.size(), 1, error));
    std::vector<uint8_t> one = readFileBytes(small);
    std::vector<uint8_t> frame(one.begin() + EMD_HEADER_BYTES + 16, one.end());
    const uint64_t blocks = (entries + TB_BLOCK_SIZE - 1) / TB_BLOCK_SIZE;
    std::vector<uint8_t> file(one.begin(), one.begin() + EMD_HEADER_BYTES);
    for (int i = 0; i < 4; i++) file[12 + i] = uint8_t(blocks >> (8 * i));
    const uint32_t last = uint32_t(entries - (blocks - 1) * TB_BLOCK_SIZE);
    for (int i = 0; i < 4; i++) file[16 + i] = uint8_t(last >> (8 * i));
    ASSERT_EQ(last, TB_BLOCK_SIZE);  // so that one frame serves every block
    uint64_t offset = EMD_HEADER_BYTES + 8 * (blocks + 1);
    for (uint64_t b = 0; b <= blocks; b++, offset += frame.size())
        for (int i = 0; i < 8; i++) file.push_back(uint8_t(offset >> (8 * i)));
    for (uint64_t b = 0; b < blocks; b++) file.insert(file.end(), frame.begin(), frame.end());
    writeFileBytes(path(dir, "krrkr.nbb.emd"), file);
    unlink(small.c_str());
    EXPECT_EQ(r.init(dir), 5);
    EXPECT_EQ(valueOf("8/8/8/8/2k5/8/1RR2r2/K7 b - - 0 1"), 0);  // read through the cache: all zeros
}

TEST(Tablebases, ManyThreadsProbeThroughASmallCache) {
    Registry r(3);  // far fewer blocks than the tables have
    ASSERT_EQ(r.init(threeManTables()), 3);
    const char* fens[] = {KQK_WON, KQK_MATE_IN_ONE, "8/8/8/8/8/2k5/1R6/K7 w - - 0 1", "8/8/8/1k6/8/8/K5P1/8 w - - 0 1",
                          "8/8/8/1k6/8/8/K5P1/8 b - - 0 1", "k7/8/8/8/8/8/6p1/4K3 b - - 0 1",
                          "8/8/3k4/8/8/8/5N2/K7 w - - 0 1"};
    std::vector<int> expected;
    for (const char* fen : fens) expected.push_back(valueOf(fen));
    for (int v : expected) EXPECT_NE(v, TB_NOT_AVAILABLE);
    std::vector<std::unique_ptr<Position>> positions;
    for (const char* fen : fens) positions.push_back(positionFromFen(fen));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3000; i++) {
                size_t k = size_t(i * 3 + t) % positions.size();
                const Position& pos = *positions[k];
                if (probeTablebaseValue(pos, pos.sideToMove ^ 1) != expected[k]) wrong++;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Reading Tarno.ini: the key rules, the hash section, odd and broken lines,
// and what the hash tables look like afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "egtb/tablebase_settings.h"
#include "eval/pawn_table.h"
#include "search/search_shared.h"
#include "search/transposition.h"
#include "shell/commands.h"
#include "shell/config.h"
#include "shell/shell_state.h"
#include "support/test_support.h"

namespace {

// Runs each test in its own empty working directory, with the settings at
// their defaults.
class ConfigFile : public ::testing::Test {
protected:
    std::filesystem::path oldDir, dir;

    void SetUp() override {
        oldDir = std::filesystem::current_path();
        char templ[] = "/tmp/tarno-config-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        std::filesystem::current_path(dir);
        gShell.resignScore = -1000;
        gShell.threadCount = 1;
        gShell.transpositionTableMB = 16;
        gShell.pawnTableMB = 8;
        gTablebases.count = 0;
        gTablebases.path[0] = '\0';
    }
    void TearDown() override {
        std::filesystem::current_path(oldDir);
        std::filesystem::remove_all(dir);
    }
    void write(const std::string& text) { std::ofstream(dir / "Tarno.ini", std::ios::binary) << text; }
};

TEST_F(ConfigFile, MissingFileKeepsEveryDefault) {
    readStartupSettings();
    setupHashTables(true);
    setupTablebases(nullptr);
    EXPECT_EQ(gShell.resignScore, -1000);
    EXPECT_EQ(gShell.threadCount, 1u);
    EXPECT_EQ(gTransposition.bytes, 16u << 20);
    EXPECT_EQ(gTransposition.bucketMask, (16u << 20) / 64 - 1);
    // 8 MB hold 349525 entries; the largest power of two below is 2^18.
    EXPECT_EQ(gPawnTable.count, 1u << 18);
    EXPECT_EQ(gPawnTable.mask, (1u << 18) - 1);
    EXPECT_STREQ(gTablebases.path, "");
    EXPECT_EQ(gTablebases.cacheBytes, 0u);
}

TEST_F(ConfigFile, HashSectionSetsBothTables) {
    write("[Hash Table Section]\ntransposition_table=64\npawn_table=4\n");
    setupHashTables(true);
    EXPECT_EQ(gTransposition.bytes, 67108864u);
    EXPECT_EQ(gPawnTable.count, 131072u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(gTransposition.buckets) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(gPawnTable.entries) % 32, 0u);
    // Without the file the megabyte settings apply.
    setupHashTables(false);
    EXPECT_EQ(gTransposition.bytes, 16u << 20);
}

TEST_F(ConfigFile, HashKeysOnlyCountAfterTheExactSectionLine) {
    write("transposition_table=64\n[Hash Table Section]\npawn_table=2\n");
    setupHashTables(true);
    EXPECT_EQ(gTransposition.bytes, 16u << 20) << "a key before the section has no effect";
    EXPECT_EQ(gPawnTable.count, 65536u);

    write("[Hash Table Section] \ntransposition_table=64\npawn_table=2\n");
    setupHashTables(true);
    EXPECT_EQ(gTransposition.bytes, 16u << 20) << "a section line with a trailing space is no section";
    EXPECT_EQ(gPawnTable.count, 1u << 18);

    // Windows line ends: the carriage return is not part of the line.
    write("[Hash Table Section]\r\ntransposition_table = 32\r\n");
    setupHashTables(true);
    EXPECT_EQ(gTransposition.bytes, 32u << 20);
}

TEST_F(ConfigFile, HashValuesAfterSpacesAndEqualSigns) {
    // A later line overrides an earlier one; any run of "=" and spaces
    // separates key and value; no separator at all means no value.
    write("[Hash Table Section]\ntransposition_table 8\ntransposition_table = == 32 MB\npawn_table2\n");
    setupHashTables(true);
    EXPECT_EQ(gTransposition.bytes, 32u << 20);
    EXPECT_EQ(gPawnTable.count, 1u << 18);
    // A value that is no number, or negative, gives the default.
    write("[Hash Table Section]\ntransposition_table=lots\npawn_table=-4\n");
    setupHashTables(true);
    EXPECT_EQ(gTransposition.bytes, 16u << 20);
    EXPECT_EQ(gPawnTable.count, 1u << 18);
}

TEST_F(ConfigFile, ResignScoreAndThreadCount) {
    write("\n# engine settings\nresign_score = -500\n\nn_cpus=2\nn_cpus=7\nresign_score=-200\n");
    readStartupSettings();
    EXPECT_EQ(gShell.resignScore, -500) << "the first line with the key counts";
    EXPECT_EQ(gShell.threadCount, 2u);
}

TEST_F(ConfigFile, NonNumericStartupValues) {
    write("resign_score=never\nn_cpus=all\n");
    readStartupSettings();
    EXPECT_EQ(gShell.resignScore, 0);
    EXPECT_EQ(gShell.threadCount, 1u) << "at least one thread searches";
    write("n_cpus=100000\n");
    readStartupSettings();
    EXPECT_EQ(gShell.threadCount, MAX_THREAD_COUNT);
}

TEST_F(ConfigFile, OverlongLinesNeitherOverrunNorSplit) {
    // A key far beyond the line limit is not seen, and the tail of a long
    // line never turns into a line of its own.
    std::string padding(5000, 'x');
    write(padding + "resign_score=-300\nn_cpus=3" + padding + "\n[Hash Table Section]\n" + padding +
          "transposition_table=64\npawn_table=2" + std::string(300, ' ') + "\n" + "tbpath=" + std::string(3000, 'p') +
          "\n");
    readStartupSettings();
    EXPECT_EQ(gShell.resignScore, -1000);
    EXPECT_EQ(gShell.threadCount, 3u);
    setupHashTables(true);
    EXPECT_EQ(gTransposition.bytes, 16u << 20);
    EXPECT_EQ(gPawnTable.count, 65536u);
    setupTablebases(nullptr);
    EXPECT_EQ(std::strlen(gTablebases.path), 1023u - 7u) << "the line was cut at 1023 characters";
}

TEST_F(ConfigFile, TablebasePathAndCache) {
    write("tbcache = 32\ntbpath= /data/egtb/nalimov\n");
    setupTablebases(nullptr);
    EXPECT_STREQ(gTablebases.path, "/data/egtb/nalimov");
    EXPECT_EQ(gTablebases.cacheBytes, 32u << 20);
    EXPECT_EQ(gTablebases.count, 0) << "no tablebase files there";
    // A path given by command takes the place of the file's.
    setupTablebases("/elsewhere");
    EXPECT_STREQ(gTablebases.path, "/elsewhere");
    char line[64];
    formatTablebaseCacheLine(32u << 20, line, sizeof line);
    EXPECT_STREQ(line, "EGTB cache memory = 32M bytes.\n");
    formatTablebaseCacheLine(512u << 10, line, sizeof line);
    EXPECT_STREQ(line, "EGTB cache memory = 512K bytes.\n");
}

namespace {

// The anonymous memory this process holds, in kB (RssAnon of its status).
long residentAnonymousKB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("RssAnon:", 0) == 0) return std::atol(line.c_str() + 8);
    return -1;
}

}  // namespace

TEST_F(ConfigFile, TablebaseCacheIsResidentFromTheSetUp) {
    // A cache whose pages came in only as blocks were read grew the engine
    // by most of its size over a long session. 40 MB: above the size from
    // which the allocator maps fresh pages, so none were touched before.
    write("tbcache = 40\ntbpath = " + threeManTables() + "\n");
    const long before = residentAnonymousKB();
    ASSERT_GT(before, 0);
    testing::internal::CaptureStdout();
    setupTablebases(nullptr);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(gTablebases.cacheBytes, 40u << 20);
    EXPECT_GE(residentAnonymousKB() - before, 39L << 10);
}

TEST_F(ConfigFile, TooLargeHashKeepsTheRunningTables) {
    setupHashTables(false);
    HashBucket* buckets = gTransposition.buckets;
    PawnEntry* entries = gPawnTable.entries;
    testing::internal::CaptureStdout();
    // Far more than any machine has (and beyond 32-bit megabyte arithmetic).
    EXPECT_FALSE(resizeHashTables(int64_t(1) << 30, 8));
    EXPECT_FALSE(resizeHashTables(16, int64_t(1) << 30));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Not enough Memory for Depth Preferred Table\nNot enough Memory for Pawn Table\n");
    EXPECT_EQ(gTransposition.buckets, buckets);
    EXPECT_EQ(gPawnTable.entries, entries);
    EXPECT_EQ(gShell.transpositionTableMB, 16);
    EXPECT_EQ(gShell.pawnTableMB, 8);

    EXPECT_TRUE(resizeHashTables(32, 16));
    EXPECT_EQ(gTransposition.bytes, 33554432u);
    EXPECT_EQ(gShell.transpositionTableMB, 32);
    gShell.transpositionTableMB = 16;
    gShell.pawnTableMB = 8;
}

TEST_F(ConfigFile, HashCommandChecksItsArguments) {
    setupHashTables(false);
    testing::internal::CaptureStdout();
    commandHash(2, "32", "");
    commandHash(3, "0", "4");
    commandHash(3, "many", "4");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Usage Hash <tt> <p>\nUsage Hash <tt> <p>\nUsage Hash <tt> <p>\n");
    EXPECT_EQ(gTransposition.bytes, 16u << 20);
}

TEST_F(ConfigFile, HashInfoListing) {
    setupHashTables(false);
    testing::internal::CaptureStdout();
    showHashInfo();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "\nHash Table Info\n\nTransposition Table\tPawn Table\n" + std::string(71, '-') +
                       "\n16777216 Bytes\t\t6291456 Bytes\t\n\nTotal: 23068672 Bytes\n");
}

TEST(WordValue, ReadsTheLeadingDigitsOnly) {
    EXPECT_EQ(wordValue("42"), 42);
    EXPECT_EQ(wordValue("5:30"), 5);
    EXPECT_EQ(wordValue("-17x"), -17);
    EXPECT_EQ(wordValue("+8"), 8);
    EXPECT_EQ(wordValue("  9"), 9);
    EXPECT_EQ(wordValue("x9"), 0);
    EXPECT_EQ(wordValue(""), 0);
    EXPECT_EQ(wordValue("99999999999999999999"), 2147483647);
    EXPECT_EQ(wordValue("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace

// The Syzygy tables through the prober: table names, the look at each file,
// folder lists with junk in them, damaged files left out by the trial run,
// verdicts on reference positions and their mirror images, nothing allocated
// or mapped once the tables are set up, several threads probing at once,
// and setting the tables up again and again.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "board/makemove.h"
#include "board/movegen.h"
#include "egtb/syzygy.h"
#include "egtb/syzygy_files.h"
#include "egtb/syzygy_probe.h"
#include "egtb/tablebase_fixture.h"
#include "support/test_support.h"

// Calls to malloc are counted while `countingMallocs` is set, so that a probe
// can be shown to make none, inside the prober too. The sanitizers bring
// their own allocators, which must not be replaced.
namespace {
std::atomic<bool> countingMallocs{false};
std::atomic<long> mallocs{0};
}  // namespace
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define COUNTING_MALLOCS 1
extern "C" void* __libc_malloc(size_t size);
extern "C" void* malloc(size_t size) {
    if (countingMallocs.load(std::memory_order_relaxed)) mallocs++;
    return __libc_malloc(size);
}
#endif

namespace {

const std::string tableDir() { return testDataPath("syzygy"); }

std::vector<std::string> messages;
void collect(const char* line) { messages.push_back(line); }

bool said(const std::string& what) {
    return std::any_of(messages.begin(), messages.end(),
                       [&](const std::string& m) { return m.find(what) != std::string::npos; });
}

std::string allMessages() {
    std::string text;
    for (const std::string& m : messages) text += m + "\n";
    return text;
}

// A folder holding the test tables, with `damage` applied to some of them.
std::string tableCopy() {
    const std::string dir = scratchDirectory();
    for (const auto& entry : std::filesystem::directory_iterator(tableDir()))
        copyFile(entry.path().string(), dir + "/" + entry.path().filename().string());
    return dir;
}

// The first `bytes` bytes of a file (a file cut short).
void cutFile(const std::string& path, size_t bytes) {
    std::vector<uint8_t> data = readFileBytes(path);
    data.resize(bytes);
    writeFileBytes(path, data);
}

// The file's own header, then garbage of the same length as the rest.
void garbleAfterHeader(const std::string& path, size_t keep) {
    std::vector<uint8_t> data = readFileBytes(path);
    uint32_t x = 12345;
    for (size_t i = keep; i < data.size(); i++) {
        x = x * 1103515245 + 12345;
        data[i] = uint8_t(x >> 16);
    }
    writeFileBytes(path, data);
}

// Table files the process has mapped now.
std::set<std::string> mappedTables() {
    std::set<std::string> files;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const size_t slash = line.find('/');
        if (slash == std::string::npos) continue;
        const std::string path = line.substr(slash);
        if (path.find(".rtbw") != std::string::npos || path.find(".rtbz") != std::string::npos) files.insert(path);
    }
    return files;
}

// The positions one move from each reference position, and with
// `withReferences` the reference positions too.
std::vector<std::unique_ptr<Position>> referencesAndTheirMoves(bool withReferences) {
    std::vector<std::unique_ptr<Position>> positions;
    for (const SyzygyReference& r : readSyzygyReferences(testDataPath("endgames/wdl-dtz-ci.epd"))) {
        auto pos = positionFromFen(r.fen);
        Move moves[MAX_MOVES];
        Move* end = generateAllMoves(*pos, moves);
        for (Move* m = moves; m < end; m++) {
            pos->historyCount = 1;
            if (!makeMove(*pos, *m, false)) continue;
            positions.push_back(std::make_unique<Position>(*pos));
            unmakeMove(*pos);
        }
        if (withReferences) positions.push_back(std::move(pos));
    }
    return positions;
}

struct SyzygyFixture : ::testing::Test {
    void SetUp() override {
        initEngineTables();
        messages.clear();
    }
    void TearDown() override { releaseSyzygy(); }
};

}  // namespace

TEST(SyzygyNames, MaterialsInTableOrderOnly) {
    SyzygyTable t;
    ASSERT_TRUE(parseSyzygyName("KQvKR", t));
    EXPECT_EQ(t.men, 4);
    EXPECT_EQ(t.counts[WHITE][QUEEN], 1);
    EXPECT_EQ(t.counts[BLACK][ROOK], 1);
    EXPECT_EQ(t.counts[BLACK][KING], 1);
    ASSERT_TRUE(parseSyzygyName("KRPvKP", t));
    EXPECT_EQ(t.counts[WHITE][PAWN], 1);
    EXPECT_EQ(t.counts[BLACK][PAWN], 1);
    EXPECT_TRUE(parseSyzygyName("KQQQQQvK", t));  // seven men
    EXPECT_TRUE(parseSyzygyName("KvKBN", t));
    for (const char* bad : {"", "KvK", "KPRvK", "KQvkR", "KQKR", "KQvKRvK", "KXvK", "QKvK", "KQQQQQQvK", "KQvKR.rtbw"})
        EXPECT_FALSE(parseSyzygyName(bad, t)) << bad;
}

TEST(SyzygyFiles, SizeHeaderAndKindAreLookedAt) {
    const std::string dir = scratchDirectory();
    copyFile(tableDir() + "/KQvK.rtbw", dir + "/KQvK.rtbw");
    copyFile(tableDir() + "/KQvK.rtbz", dir + "/KQvK.rtbz");
    EXPECT_EQ(syzygyFileFault(dir + "/KQvK.rtbw", false), nullptr);
    EXPECT_EQ(syzygyFileFault(dir + "/KQvK.rtbz", true), nullptr);
    // A WDL file where a DTZ file belongs, and the other way round.
    EXPECT_NE(syzygyFileFault(dir + "/KQvK.rtbw", true), nullptr);
    EXPECT_NE(syzygyFileFault(dir + "/KQvK.rtbz", false), nullptr);

    std::ofstream(dir + "/empty.rtbw").close();
    EXPECT_STREQ(syzygyFileFault(dir + "/empty.rtbw", false), "the file is empty");
    copyFile(tableDir() + "/KQvKR.rtbw", dir + "/cut.rtbw");
    cutFile(dir + "/cut.rtbw", 1000);
    EXPECT_NE(std::string(syzygyFileFault(dir + "/cut.rtbw", false)).find("size"), std::string::npos);
    std::vector<uint8_t> text(64 * 3 + 16, 'x');
    writeFileBytes(dir + "/text.rtbw", text);
    EXPECT_NE(std::string(syzygyFileFault(dir + "/text.rtbw", false)).find("header"), std::string::npos);
    std::filesystem::create_directory(dir + "/folder.rtbw");
    EXPECT_NE(syzygyFileFault(dir + "/folder.rtbw", false), nullptr);
    EXPECT_NE(syzygyFileFault(dir + "/missing.rtbw", false), nullptr);
}

TEST_F(SyzygyFixture, FolderListsWithJunk) {
    const std::string first = scratchDirectory(), second = scratchDirectory();
    copyFile(tableDir() + "/KQvK.rtbw", first + "/KQvK.rtbw");
    copyFile(tableDir() + "/KQvK.rtbz", first + "/KQvK.rtbz");
    writeFileBytes(first + "/KRvK.rtbw", std::vector<uint8_t>(80, 0));  // garbage
    copyFile(tableDir() + "/KQvK.rtbw", second + "/KQvK.rtbw");        // hidden by the first
    copyFile(tableDir() + "/KRvK.rtbw", second + "/KRvK.rtbw");        // replaces the garbage
    copyFile(tableDir() + "/KRvK.rtbz", second + "/KRvK.rtbz");
    copyFile(tableDir() + "/KBvK.rtbz", second + "/KBvK.rtbz");        // no WDL beside it
    writeFileBytes(second + "/notes.txt", {'h', 'i'});
    const std::string plainFile = second + "/notes.txt";

    const std::string list = " /no/such/folder , ;" + first + ":" + plainFile + ";<empty>;" + second + "/ ";
    std::vector<SyzygyTable> tables = findSyzygyTables(list.c_str(), collect);
    ASSERT_EQ(tables.size(), 2u) << allMessages();
    EXPECT_EQ(tables[0].name, "KQvK");
    EXPECT_EQ(tables[0].wdlPath, first + "/KQvK.rtbw");
    EXPECT_EQ(tables[0].dtzPath, first + "/KQvK.rtbz");
    EXPECT_EQ(tables[1].name, "KRvK");
    EXPECT_EQ(tables[1].wdlPath, second + "/KRvK.rtbw");
    EXPECT_TRUE(said("skipping '/no/such/folder'")) << allMessages();
    EXPECT_TRUE(said("skipping '" + plainFile + "'")) << allMessages();
    EXPECT_TRUE(said("leaving out " + first + "/KRvK.rtbw")) << allMessages();
    EXPECT_TRUE(said("leaving out " + second + "/KBvK.rtbz: its WDL table is missing")) << allMessages();
    EXPECT_EQ(messages.size(), 4u) << allMessages();
    // An interface that starts xboard engines takes these words in an
    // engine's first lines for a failed start.
    for (const char* phrase : {"not found", "No such file", "Permission denied"}) EXPECT_FALSE(said(phrase));

    // Nothing usable at all.
    messages.clear();
    EXPECT_TRUE(findSyzygyTables(",,;<empty>", collect).empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(setUpSyzygy("/no/such/folder", collect));
    EXPECT_EQ(syzygyLargestMen(), 0);
    EXPECT_TRUE(said("no tables in use")) << allMessages();

    // With tables in use, a list without any (an interface's default folder)
    // leaves them; an empty list drops them.
    ASSERT_TRUE(setUpSyzygy(first.c_str(), collect));
    messages.clear();
    EXPECT_FALSE(setUpSyzygy("/no/such/folder", collect));
    EXPECT_EQ(syzygyLargestMen(), 3);
    EXPECT_TRUE(said("no usable tables there; the tables in use stay")) << allMessages();
    EXPECT_TRUE(said("Syzygy: 1 WDL and 1 DTZ tables in use, up to 3 men")) << allMessages();
    EXPECT_TRUE(setUpSyzygy(" <empty> ", collect));
    EXPECT_EQ(syzygyLargestMen(), 0);
}

TEST_F(SyzygyFixture, DamagedFilesAreLeftOutAndTheRestServe) {
    const std::string dir = tableCopy();
    // Cut at a whole number of blocks (the size looks right), and sound
    // headers over garbage: only the trial run of the prober shows these.
    garbleAfterHeader(dir + "/KQvKQ.rtbw", 4);
    cutFile(dir + "/KRvKB.rtbw", 64 * 20 + 16);
    cutFile(dir + "/KQvKR.rtbz", 64 * 1000 + 16);
    garbleAfterHeader(dir + "/KRvKR.rtbz", 64);
    const std::string tmp = scratchDirectory();
    setenv("TMPDIR", tmp.c_str(), 1);

    EXPECT_TRUE(setUpSyzygy(dir.c_str(), collect)) << allMessages();
    EXPECT_EQ(syzygyLargestMen(), 4);
    for (const char* file : {"KQvKQ.rtbw", "KRvKB.rtbw", "KQvKR.rtbz", "KRvKR.rtbz"})
        EXPECT_TRUE(said("leaving out " + dir + "/" + file + ": damaged")) << file << "\n" << allMessages();
    // Without its WDL file a table goes altogether.
    EXPECT_TRUE(said("Syzygy: 14 WDL and 12 DTZ tables in use, up to 4 men")) << allMessages();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp), {}), 1);  // the links

    int wdl, dtz;
    EXPECT_FALSE(probeSyzygyWdl(*positionFromFen("8/8/8/3k4/8/q7/8/1Q4K1 w - - 0 1"), wdl));  // KQvKQ
    ASSERT_TRUE(probeSyzygyPosition(*positionFromFen("8/8/8/5k2/8/8/1Q6/K7 w - - 0 1"), wdl, dtz));
    EXPECT_EQ(wdl, 2);
    // KQvKR keeps its WDL file: its root moves are judged from that alone.
    auto lost = positionFromFen("6q1/8/6K1/4R3/1k6/8/8/8 w - - 0 1");
    ASSERT_TRUE(probeSyzygyWdl(*lost, wdl));
    EXPECT_EQ(wdl, -2);
    SyzygyMoveResult results[SYZYGY_MAX_MOVES];
    EXPECT_EQ(probeSyzygyRoot(*lost, 0, results), -1);
    const int n = probeSyzygyRootByWdl(*lost, 0, true, results);
    ASSERT_GT(n, 0);
    for (int i = 0; i < n; i++) EXPECT_EQ(results[i].wdl, -2);

    releaseSyzygy();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp), {}), 0);
    EXPECT_TRUE(mappedTables().empty());
    unsetenv("TMPDIR");
}

TEST_F(SyzygyFixture, ReferencePositionsAndTheirMirrorImages) {
    ASSERT_TRUE(setUpSyzygy(tableDir().c_str(), collect)) << allMessages();
    ASSERT_EQ(syzygyLargestMen(), 4);
    const auto references = readSyzygyReferences(testDataPath("endgames/wdl-dtz-ci.epd"));
    ASSERT_EQ(references.size(), 71u);
    auto mirror = std::make_unique<Position>();
    for (const SyzygyReference& r : references) {
        auto pos = positionFromFen(r.fen);
        int wdl = 9, dtz = 9;
        ASSERT_TRUE(probeSyzygyPosition(*pos, wdl, dtz)) << r.fen;
        EXPECT_EQ(wdl, r.wdl) << r.fen;
        EXPECT_EQ(dtz, r.dtz) << r.fen;
        // The same position with colours exchanged, the board turned over.
        mirrorPosition(*pos, *mirror);
        ASSERT_TRUE(probeSyzygyPosition(*mirror, wdl, dtz)) << r.fen;
        EXPECT_EQ(wdl, r.wdl) << r.fen << " mirrored";
        EXPECT_EQ(dtz, r.dtz) << r.fen << " mirrored";
        // Where the fifty-move count is 0 the WDL probe of the search agrees.
        int searchWdl = 9;
        ASSERT_TRUE(probeSyzygyWdl(*pos, searchWdl));
        EXPECT_EQ(searchWdl, r.wdl) << r.fen;
    }
}

TEST_F(SyzygyFixture, NothingAllocatedOrMappedOnceSetUp) {
    ASSERT_TRUE(setUpSyzygy(tableDir().c_str(), collect));
    ASSERT_EQ(syzygyLargestMen(), 4);
    // Every WDL file is set up, and every DTZ file but those of the minor
    // piece endings that hold no win the prober would look up.
    const std::set<std::string> mapped = mappedTables();
    std::set<std::string> unmapped;
    for (const auto& entry : std::filesystem::directory_iterator(tableDir())) {
        const std::string name = entry.path().filename().string();
        if (!std::any_of(mapped.begin(), mapped.end(),
                         [&](const std::string& path) { return path.ends_with("/" + name); }))
            unmapped.insert(name);
    }
    EXPECT_EQ(unmapped, (std::set<std::string>{"KBvK.rtbz", "KNvK.rtbz", "KBvKB.rtbz", "KNvKN.rtbz", "KBvKN.rtbz",
                                               "KNNvK.rtbz"}));

    // Every reference position, and every position one move from it.
    std::vector<std::unique_ptr<Position>> positions = referencesAndTheirMoves(true);
    SyzygyMoveResult results[SYZYGY_MAX_MOVES];
    long answered = 0;
    mallocs = 0;
    countingMallocs = true;
    for (const auto& pos : positions) {
        int wdl, dtz;
        answered += probeSyzygyWdl(*pos, wdl);
        answered += probeSyzygyPosition(*pos, wdl, dtz);
        answered += probeSyzygyRoot(*pos, 0, results) >= 0;
    }
    countingMallocs = false;
    EXPECT_EQ(answered, 3 * long(positions.size()));
    EXPECT_EQ(mappedTables(), mapped);
#ifdef COUNTING_MALLOCS
    EXPECT_EQ(mallocs.load(), 0);
#endif
}

TEST_F(SyzygyFixture, SeveralThreadsProbeAtOnce) {
    ASSERT_TRUE(setUpSyzygy(tableDir().c_str(), collect));
    ASSERT_EQ(syzygyLargestMen(), 4);
    // Random positions of every table: their verdicts from one thread, then
    // from four at once, each starting elsewhere in the list.
    std::vector<std::unique_ptr<Position>> positions = referencesAndTheirMoves(false);
    std::vector<int> expected(positions.size());
    for (size_t i = 0; i < positions.size(); i++)
        if (!probeSyzygyWdl(*positions[i], expected[i])) expected[i] = 99;

    std::atomic<long> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; round++) {
                for (size_t k = 0; k < positions.size(); k++) {
                    const size_t i = (k + size_t(t) * positions.size() / 4) % positions.size();
                    int wdl;
                    if (!probeSyzygyWdl(*positions[i], wdl)) wdl = 99;
                    if (wdl != expected[i]) wrong++;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(SyzygyFixture, SetUpAgainAndAgain) {
    const std::string tmp = scratchDirectory();
    setenv("TMPDIR", tmp.c_str(), 1);
    // KQvKR without a capture on the board: the prober needs its table.
    auto pos = positionFromFen("8/8/8/3k4/8/r7/8/1Q4K1 w - - 0 1");
    for (int round = 0; round < 5; round++) {
        messages.clear();
        EXPECT_TRUE(setUpSyzygy(tableDir().c_str(), collect)) << allMessages();
    EXPECT_EQ(syzygyLargestMen(), 4);
        int wdl;
        ASSERT_TRUE(probeSyzygyWdl(*pos, wdl));
        EXPECT_EQ(wdl, 2);
        // A folder with only three-man tables in between.
        const std::string small = scratchDirectory();
        for (const char* f : {"KQvK.rtbw", "KQvK.rtbz", "KRvK.rtbw"}) copyFile(tableDir() + "/" + f, small + "/" + f);
        EXPECT_TRUE(setUpSyzygy(small.c_str(), collect)) << allMessages();
    EXPECT_EQ(syzygyLargestMen(), 3);
        EXPECT_FALSE(probeSyzygyWdl(*pos, wdl));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp), {}), 1);
    }
    releaseSyzygy();
    EXPECT_EQ(syzygyLargestMen(), 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp), {}), 0);
    unsetenv("TMPDIR");
}

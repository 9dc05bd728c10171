// Damaged and foreign books: each is reported when it is opened and then
// left alone (the engine searches instead), or read as far as it is sound;
// none makes a probe or a learning pass read outside the file's records.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "book_fixture.h"
#include "book/book_probe.h"

namespace {

class DamagedBook : public BookTest {
protected:
    std::string sound_;
    int64_t records_ = 0;
    void SetUp() override {
        BookTest::SetUp();
        build(pgnGames(3, "1.e4 e5 2.Nf3", "1-0") + pgnGames(2, "1.d4 Nf6", "1-0"));
        sound_ = readFile(BOOK_FILE_NAME);
        records_ = int64_t(bookRecords().size());
        closeBook();
    }
    // Opens the book as start-up does; returns what it printed.
    OutputOf open() { return captureOutput(openBook); }
    int64_t countOffset() const { return int64_t(sound_.size()) - 16; }

    // A disabled book answers every probe as disabled, silently (the engine
    // says "NoBook"), and teaches nothing.
    void expectTreatedAsAbsent() {
        EXPECT_TRUE(gOpeningBook.disabled);
        auto pos = positionAfter({});
        Move move = 1;
        int found = 0;
        OutputOf probed = captureOutput([&] { found = probeBook(*pos, move); });
        EXPECT_EQ(found, BOOK_DISABLED);
        EXPECT_EQ(move, 0u);
        EXPECT_EQ(probed.out, "");
        const std::string before = readFile(BOOK_FILE_NAME);
        std::vector<HistoryEntry> game(1);
        game[0].move = moveFrom(*pos, "e4");
        LearnContext context{WHITE, 0, 0, false, &game};
        captureOutput([&] { learnFromResult(context, "1-0"); });
        EXPECT_EQ(readFile(BOOK_FILE_NAME), before);
    }
};

TEST_F(DamagedBook, LongestClusterCountOutOfRange) {
    for (int32_t count : {-5, 0, int32_t(records_ + 1), INT32_MAX}) {
        writeFile(BOOK_FILE_NAME, sound_);
        patchFile(countOffset(), int32Bytes(count));
        OutputOf opened = open();
        EXPECT_EQ(opened.out, "Book created by Version: 4.1\nBook file damaged (longest cluster " +
                                  std::to_string(count) + " of " + std::to_string(records_) +
                                  " records): playing without it\n");
        expectTreatedAsAbsent();
    }
}

TEST_F(DamagedBook, IndexEntryOutsideTheRecords) {
    const int64_t recordsEnd = BOOK_INDEX_BYTES + 32 * records_;
    for (int64_t entry : {recordsEnd, int64_t(BOOK_INDEX_BYTES - 32), int64_t(BOOK_INDEX_BYTES + 5), int64_t(-7)}) {
        writeFile(BOOK_FILE_NAME, sound_);
        patchFile(4 * 1234, int32Bytes(int32_t(entry)));
        OutputOf opened = open();
        EXPECT_EQ(opened.out, "Book created by Version: 4.1\nBook file damaged (index entry outside the records): "
                              "playing without it\n")
            << entry;
        expectTreatedAsAbsent();
    }
}

TEST_F(DamagedBook, TruncatedEmptyGarbageAndFolder) {
    // Cut inside the records: the trailer is gone.
    writeFile(BOOK_FILE_NAME, sound_.substr(0, BOOK_INDEX_BYTES + 40));
    EXPECT_EQ(open().out, "Book file damaged (no version text): playing without it\n");
    expectTreatedAsAbsent();
    // Only the trailer is left.
    writeFile(BOOK_FILE_NAME, sound_.substr(sound_.size() - 16));
    EXPECT_EQ(open().out, "Book created by Version: 4.1\nBook file damaged (shorter than its index block): playing "
                          "without it\n");
    expectTreatedAsAbsent();
    // Fewer bytes than a version text.
    writeFile(BOOK_FILE_NAME, "abc");
    OutputOf opened = open();
    EXPECT_EQ(opened.err, "error reading book file!\nend of file\n");
    expectTreatedAsAbsent();
    writeFile(BOOK_FILE_NAME, "");
    EXPECT_EQ(open().out, "Seek Failed!\n");
    expectTreatedAsAbsent();
    std::string garbage(300000, 0);
    for (size_t i = 0; i < garbage.size(); i++) garbage[i] = char((i * 2654435761u) >> 13);
    writeFile(BOOK_FILE_NAME, garbage);
    EXPECT_EQ(open().out, "Book file damaged (no version text): playing without it\n");
    expectTreatedAsAbsent();
    std::remove(BOOK_FILE_NAME);
    mkdir(BOOK_FILE_NAME, 0755);
    EXPECT_EQ(open().out, "Book file missing!\n");
    EXPECT_TRUE(gOpeningBook.disabled);
}

TEST_F(DamagedBook, AnotherVersionIsStillUsed) {
    writeFile(BOOK_FILE_NAME, sound_);
    patchFile(int64_t(sound_.size()) - 3, "4.0");
    EXPECT_EQ(open().out, "Warning! Book not made by Version 4.1\nBook created by Version: 4.0\n");
    EXPECT_FALSE(gOpeningBook.disabled);
    auto pos = positionAfter({});
    Move move = 0;
    captureOutput([&] { EXPECT_EQ(probeBook(*pos, move), 2); });
}

TEST_F(DamagedBook, LineEndsAfterTheTrailerAreSkipped) {
    writeFile(BOOK_FILE_NAME, sound_ + "\r\n\n");
    EXPECT_EQ(open().out, "Book created by Version: 4.1\n");
    EXPECT_FALSE(gOpeningBook.disabled);
    EXPECT_EQ(gOpeningBook.recordCount, records_);
}

TEST_F(DamagedBook, FileCutAfterItWasOpened) {
    writeFile(BOOK_FILE_NAME, sound_);
    open();
    ASSERT_FALSE(gOpeningBook.disabled);
    ASSERT_EQ(truncate(BOOK_FILE_NAME, BOOK_INDEX_BYTES), 0);
    auto pos = positionAfter({});
    Move move = 0;
    int found = 0;
    OutputOf probed = captureOutput([&] { found = probeBook(*pos, move); });
    EXPECT_EQ(found, 0);
    EXPECT_EQ(probed.err, "Expected: 32 bytes, read: 0\nEnd of file reached.\n");
    // Learning stops at the same read with its own report.
    std::vector<HistoryEntry> game(1);
    game[0].move = moveFrom(*pos, "e4");
    LearnContext context{WHITE, 0, 0, false, &game};
    OutputOf learned = captureOutput([&] { learnFromResult(context, "1-0"); });
    EXPECT_NE(learned.err.find("Expected: 32 bytes, read: 0 on move 1\nIndex: "), std::string::npos)
        << learned.err;
    EXPECT_EQ(readFile(BOOK_FILE_NAME).size(), size_t(BOOK_INDEX_BYTES));
}

TEST_F(DamagedBook, NonsenseInsideRecords) {
    // Counts and learned values no game produces: the weights stay finite
    // and the listing prints numbers.
    writeFile(BOOK_FILE_NAME, sound_);
    std::vector<BookRecord> records = bookRecords();
    auto pos = positionAfter({});
    for (size_t i = 0; i < records.size(); i++) {
        BookRecord& record = records[i];
        if (record.key == keyOf(*pos, "e4")) record.learned = std::nanf("");
        if (record.key == keyOf(*pos, "d4")) record.wins = record.losses = record.draws = 0xFFFFFFFFu;
        unsigned char bytes[32];
        encodeRecord(record, bytes);
        patchFile(BOOK_INDEX_BYTES + 32 * int64_t(i), std::string(reinterpret_cast<char*>(bytes), 32));
    }
    open();
    Move move = 0;
    OutputOf probed = captureOutput([&] { EXPECT_EQ(probeBook(*pos, move), 2); });
    EXPECT_EQ(probed.out, "");
    EXPECT_EQ(gOpeningBook.moveText, "d4(100%) e4(0%) ");
    OutputOf listing = captureOutput([&] { showBookMoves(*pos); });
    EXPECT_NE(listing.out.find("learned:0\n"), std::string::npos);
    EXPECT_EQ(listing.out.find("nan"), std::string::npos);
}

}  // namespace

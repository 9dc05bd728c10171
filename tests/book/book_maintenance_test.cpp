// "book info" and "book test" on sound, duplicated and missing books.
#include "book_fixture.h"
#include "book/book_maintenance.h"

namespace {

class BookMaintenance : public BookTest {
protected:
    void SetUp() override {
        BookTest::SetUp();
        build(pgnGames(2, "1.e4 e5 2.Nf3 Nc6 3.Bb5 a6 4.Ba4 Nf6 5.O-O Be7 6.Re1", "1/2-1/2") +
              pgnGames(2, "1.e4 e5 2.Nf3 Nc6 3.Bb5 a6 4.Ba4 Nf6 5.O-O Be7 6.Re1", "1-0") +
              pgnGames(3, "1.e4 e5 2.Nf3 Nc6 3.Bb5 a6 4.Ba4 Nf6 5.O-O Be7 6.Re1", "0-1"));
    }
};

TEST_F(BookMaintenance, InfoGivesBytesAndRecords) {
    ASSERT_EQ(bookRecords().size(), 11u);
    OutputOf info = captureOutput(showBookInfo);
    EXPECT_EQ(info.out, "book.bin\r\n   Bytes:\t" + std::to_string(262144 + 11 * 32) + "\r\n   Positions:\t11\n");
    std::remove(BOOK_FILE_NAME);
    EXPECT_EQ(captureOutput(showBookInfo).out, "Couldn't open book file!\n");
}

TEST_F(BookMaintenance, TestFindsEveryDuplicatedKey) {
    OutputOf clean = captureOutput(testBookForDuplicates);
    std::string counter;
    for (int i = 0; i < 11; i++) counter += std::to_string(i) + std::string(i < 10 ? 1 : 2, '\b');
    EXPECT_EQ(clean.out, "Testing book.bin for duplicates...\n" + counter + "Test complete.\n");

    // Records 8 to 10 given one key: each of them is reported.
    const uint64_t key = bookRecords()[8].key;
    unsigned char bytes[8];
    for (int i = 0; i < 8; i++) bytes[i] = uint8_t(key >> (8 * i));
    for (int record : {9, 10}) patchFile(BOOK_INDEX_BYTES + 32 * record, std::string(reinterpret_cast<char*>(bytes), 8));
    OutputOf duplicated = captureOutput(testBookForDuplicates);
    EXPECT_EQ(duplicated.out, "Testing book.bin for duplicates...\n" + counter.substr(0, 16) +
                                  "8\bFound duplicate at position 8\n9\bFound duplicate at position 9\n"
                                  "10\b\bFound duplicate at position 10\nTest complete.\n");

    std::remove(BOOK_FILE_NAME);
    gBook.missCount = 0;
    OutputOf missing = captureOutput(testBookForDuplicates);
    EXPECT_EQ(missing.err, "Could not open book.bin\n");
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(gBook.missCount, 1);
}

}  // namespace

// Probing the book: which moves are candidates, how they are weighed and
// ordered, the "book moves" line, the miss count, and the console listing.
#include <cstring>

#include "book_fixture.h"
#include "book/book_probe.h"

namespace {

class BookProbe : public BookTest {
protected:
    // e4 was played in 50 games, d4 in 31, c4 in 50; after 1.e4 the book
    // knows e5 and after 1.d4 d5, each a Black win.
    void SetUp() override {
        BookTest::SetUp();
        build(pgnGames(47, "1.e4", "1-0") + pgnGames(29, "1.d4", "1-0") + pgnGames(50, "1.c4", "1-0") +
              pgnGames(3, "1.e4 e5", "0-1") + pgnGames(2, "1.d4 d5", "0-1"));
        ASSERT_FALSE(gOpeningBook.disabled);
        start_ = positionAfter({});
    }
    std::unique_ptr<Position> start_;

    struct Probe {
        int found;
        Move move;
        OutputOf output;
    };
    Probe probe(Position& pos) {
        Probe result{};
        result.output = captureOutput([&] { result.found = probeBook(pos, result.move); });
        return result;
    }
};

TEST_F(BookProbe, SharesFollowTheGamesPlayed) {
    // Only two candidates: c4 is made a bad move for this test.
    setLearned(keyOf(*start_, "c4"), -3.0f);
    closeBook();
    captureOutput(openBook);
    Probe p = probe(*start_);
    EXPECT_EQ(p.found, 2);
    EXPECT_EQ(p.move, moveFrom(*start_, "e4"));
    // The excluded move's -300 is the minimum learned value, giving the
    // others (both at 0) an equal extra: 1.003 and 1.00262.
    EXPECT_EQ(p.output.out, "");  // the engine says the list, not the probe
    EXPECT_EQ(gOpeningBook.moveText, "e4(53%) d4(46%) ");
    EXPECT_EQ(gBook.missCount, 0);
}

TEST_F(BookProbe, WeightsFromGamesAlone) {
    // With every learned value equal only the game counts order the moves;
    // e4 and c4 tie and keep their generation order.
    Move moves[MAX_MOVES];
    int count = generateLegalMoves(*start_, moves);
    const Move e4 = moveFrom(*start_, "e4"), c4 = moveFrom(*start_, "c4");
    const bool e4First = std::find(moves, moves + count, e4) < std::find(moves, moves + count, c4);
    Probe p = probe(*start_);
    EXPECT_EQ(p.found, 3);
    // 0.001 + 0.001 + 0.00062 shared out, truncated.
    EXPECT_EQ(gOpeningBook.moveText, e4First ? "e4(38%) c4(38%) d4(23%) " : "c4(38%) e4(38%) d4(23%) ");
    EXPECT_EQ(p.move, e4First ? e4 : c4);
}

TEST_F(BookProbe, LearnedValuesShiftTheWeights) {
    setLearned(keyOf(*start_, "d4"), 1.0f);  // +100: the best learned value
    Probe p = probe(*start_);
    // d4: 1 + 0.00062 + 1/500; e4 and c4: 1 + 0.001.
    EXPECT_EQ(gOpeningBook.moveText.substr(0, 8), "d4(56%) ");
    EXPECT_EQ(p.move, moveFrom(*start_, "d4"));
}

TEST_F(BookProbe, MissCountAndLeavingTheBook) {
    // Out of the book: its cluster is empty.
    auto outside = positionAfter({"h4"});
    Probe p = probe(*outside);
    EXPECT_EQ(p.found, 0);
    EXPECT_EQ(p.output.out, "cluster_index[" + std::to_string(outside->hashKey >> 48) + "] == -1\n");
    EXPECT_EQ(gBook.missCount, 1);

    // A known position whose only book move is excluded: no line, a miss.
    auto afterD4 = positionAfter({"d4"});
    setLearned(keyOf(*afterD4, "d5"), -3.5f);
    p = probe(*afterD4);
    EXPECT_EQ(p.found, 0);
    EXPECT_EQ(p.output.out, "");
    EXPECT_EQ(gBook.missCount, 2);

    // A book move found resets the count.
    gBook.missCount = 3;
    p = probe(*start_);
    EXPECT_GT(p.found, 0);
    EXPECT_EQ(gBook.missCount, 0);

    // Past three misses the book is not read at all: even a vanished file
    // goes unnoticed.
    std::remove(BOOK_FILE_NAME);
    gBook.missCount = 4;
    p = probe(*start_);
    EXPECT_EQ(p.found, BOOK_LEFT);
    EXPECT_EQ(p.output.out, "");
    EXPECT_EQ(gBook.missCount, 4);
    gBook.missCount = 0;
    p = probe(*start_);
    EXPECT_EQ(p.found, 0);
    EXPECT_EQ(p.output.out, "Error: No such file or directory\n");
    EXPECT_EQ(gBook.missCount, 1);
}

TEST_F(BookProbe, NoBookAtAll) {
    closeBook();
    std::remove(BOOK_FILE_NAME);
    OutputOf opened = captureOutput(openBook);
    EXPECT_EQ(opened.out, "Book file missing!\n");
    Probe p = probe(*start_);
    EXPECT_EQ(p.found, BOOK_DISABLED);
    EXPECT_EQ(p.output.out, "");
    EXPECT_EQ(gBook.missCount, 0);
    EXPECT_EQ(captureOutput([&] { showBookMoves(*start_); }).out, "NoBook\n");
}

TEST_F(BookProbe, ProbingLeavesThePositionAsItWas) {
    auto pos = positionAfter({"e4"});
    auto before = std::make_unique<Position>(*pos);
    Probe p = probe(*pos);
    EXPECT_EQ(p.move, moveFrom(*pos, "e5"));
    EXPECT_EQ(std::memcmp(pos->board, before->board, sizeof pos->board), 0);
    EXPECT_EQ(pos->hashKey, before->hashKey);
    EXPECT_EQ(pos->historyCount, before->historyCount);
    EXPECT_EQ(pos->castling, before->castling);
    EXPECT_EQ(pos->sideToMove, before->sideToMove);
}

TEST_F(BookProbe, ConsoleListing) {
    setLearned(keyOf(*start_, "c4"), -3.25f);
    gBook.missCount = 2;
    Move moves[MAX_MOVES];
    int count = generateLegalMoves(*start_, moves);
    // Every book move in generation order, the excluded one too.
    std::string expected, weights = "book moves: ";
    for (int i = 0; i < count; i++) {
        MoveC text(moves[i]);
        std::string san = moveToSan(text, *start_);
        if (san == "e4") expected += "Book Move: e4 won:47 lost:3 learned:0\n", weights += " e4(1.003000)";
        if (san == "d4") expected += "Book Move: d4 won:29 lost:2 learned:0\n", weights += " d4(1.002620)";
        if (san == "c4") expected += "Book Move: c4 won:50 lost:0 learned:-325\n", weights += " c4(1.001000)";
    }
    OutputOf listing = captureOutput([&] { showBookMoves(*start_); });
    EXPECT_EQ(listing.out, expected + weights + "\n");
    EXPECT_EQ(gBook.missCount, 2);

    auto outside = positionAfter({"a4"});
    listing = captureOutput([&] { showBookMoves(*outside); });
    EXPECT_EQ(listing.out, "cluster_index[" + std::to_string(outside->hashKey >> 48) + "] == -1\n");
    EXPECT_EQ(gBook.missCount, 2);

    std::remove(BOOK_FILE_NAME);
    listing = captureOutput([&] { showBookMoves(*start_); });
    EXPECT_EQ(listing.err, "Could not open book.bin\n");
    EXPECT_EQ(listing.out, "");
}

}  // namespace

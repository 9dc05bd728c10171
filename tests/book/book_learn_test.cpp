// Book learning: the value a score or a result teaches, how it is spread
// over the engine's book moves, the early-search slots, and the in-place
// rewrite of one record.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "book_fixture.h"

namespace {

TEST(LearnValue, ScoreDepthAndRatingFactor) {
    // Equal ratings: factor 0.025.
    EXPECT_EQ(learnValue(300, 65, 2000, 2000), 142);  // depth clamped to 19
    EXPECT_EQ(learnValue(-300, 19, 2000, 2000), -142);
    // Score clamped to 600, depth to 0..19.
    EXPECT_EQ(learnValue(5000, 19, 2000, 2000), 285);
    EXPECT_EQ(learnValue(300, -4, 2000, 2000), 0);
    // The engine 1000 or more above the opponent learns nothing, 1000 below
    // learns ten times as much as between equals.
    EXPECT_EQ(learnValue(300, 19, 3000, 2000), 0);
    EXPECT_EQ(learnValue(300, 19, 1000, 2000), 1425);
    EXPECT_EQ(learnValue(300, 19, 0, 5000), 1425);
    // The rating step truncates toward zero: -150 / 200 is step 0, -250
    // step -1 (factor 0.05), +250 step 1 (0.012).
    EXPECT_EQ(learnValue(100, 10, 1850, 2000), 25);
    EXPECT_EQ(learnValue(100, 10, 2000, 2250), 50);
    EXPECT_EQ(learnValue(100, 10, 2250, 2000), 12);
}

// A book where White has a choice at the first move (e4 or d4) and after
// 1.e4 e5 (Nf3 or Bc4), but after 1.e4 e5 2.Nf3 Nc6 only Bb5.
class BookLearn : public BookTest {
protected:
    void SetUp() override {
        BookTest::SetUp();
        build(pgnGames(2, "1.e4 e5 2.Nf3 Nc6 3.Bb5", "1-0") + pgnGame("1.e4 e5 2.Bc4", "1-0") +
              pgnGame("1.d4 d5", "1-0") + pgnGames(2, "1.e4 e5 2.Nf3 Nc6", "0-1"));
        ASSERT_FALSE(gOpeningBook.disabled);
        setGame({"e4", "e5", "Nf3", "Nc6", "Bb5", "a6"});
        context_ = {WHITE, 2000, 2000, false, &game_};
    }
    std::vector<HistoryEntry> game_;
    LearnContext context_;

    void setGame(const std::vector<std::string>& moves) {
        game_.clear();
        auto pos = positionAfter({});
        for (const std::string& text : moves) {
            HistoryEntry entry{};
            entry.move = moveFrom(*pos, text);
            game_.push_back(entry);
            advancePosition(*pos, entry.move);
        }
    }
    // The learned value of a move after a line of moves.
    static float learned(const std::vector<std::string>& line, const std::string& move) {
        auto pos = positionAfter(line);
        const std::optional<BookRecord> record = findRecord(bookRecords(), keyOf(*pos, move));
        EXPECT_TRUE(record) << move;
        return record ? record->learned : -999;
    }
    OutputOf learnResult(const char* result) {
        return captureOutput([&] { learnFromResult(context_, result); });
    }
};

TEST_F(BookLearn, AWinSpreadsOverTheChoicePoints) {
    EXPECT_EQ(learnResult("1-0").out, "");
    // 142 centipawns; two choice points: e4 gets half, Nf3 all of it, and
    // Bb5 (no choice, but after the last choice point) all of it too.
    EXPECT_FLOAT_EQ(learned({}, "e4"), 0.71f);
    EXPECT_FLOAT_EQ(learned({"e4", "e5"}, "Nf3"), 1.42f);
    EXPECT_FLOAT_EQ(learned({"e4", "e5", "Nf3", "Nc6"}, "Bb5"), 1.42f);
    // The opponent's moves and the moves not played stay as they were.
    EXPECT_EQ(learned({"e4"}, "e5"), 0.0f);
    EXPECT_EQ(learned({}, "d4"), 0.0f);
    EXPECT_EQ(learned({"e4", "e5"}, "Bc4"), 0.0f);
}

TEST_F(BookLearn, LaterLessonsAverageWithEarlierOnes) {
    learnResult("1-0");
    learnResult("0-1");  // -0.71 against 0.71
    EXPECT_FLOAT_EQ(learned({}, "e4"), 0.0f);
    EXPECT_FLOAT_EQ(learned({"e4", "e5"}, "Nf3"), 0.0f);
    learnResult("0-1");  // now from 0: set, not averaged
    EXPECT_FLOAT_EQ(learned({}, "e4"), -0.71f);
}

TEST_F(BookLearn, ResultsByColourAndRating) {
    context_.engineColour = BLACK;
    setGame({"e4", "e5", "Nf3", "Nc6"});
    learnResult("0-1");
    // Black's only choice point is none: e5 and Nc6 were its only book
    // moves, so I = 1 and no ply comes after a choice point.
    EXPECT_EQ(learned({"e4"}, "e5"), 0.0f);
    EXPECT_EQ(learned({}, "e4"), 0.0f);

    // A draw against an opponent 75 points stronger counts -50, one 150
    // points stronger +50, and one 40 points stronger 0.
    context_.engineColour = WHITE;
    setGame({"e4", "e5", "Nf3"});
    context_.opponentRating = 2075;
    learnResult("1/2-1/2");
    EXPECT_FLOAT_EQ(learned({"e4", "e5"}, "Nf3"), -0.23f);  // -50 x 19 x 0.025 = -23
    context_.opponentRating = 2150;
    learnResult("1/2-1/2");
    EXPECT_FLOAT_EQ(learned({"e4", "e5"}, "Nf3"), (0.23f - 0.23f) * 0.5f);

    // No colour played: a decisive result teaches nothing.
    const std::string before = readFile(BOOK_FILE_NAME);
    context_.engineColour = -1;
    learnResult("1-0");
    EXPECT_EQ(readFile(BOOK_FILE_NAME), before);
    // Anything but the three results is reported and teaches nothing.
    context_.engineColour = WHITE;
    EXPECT_EQ(learnResult("1-1").out, "Could not determine result from 1-1\n");
    EXPECT_EQ(learnResult("*").out, "Could not determine result from *\n");
    EXPECT_EQ(readFile(BOOK_FILE_NAME), before);
}

TEST_F(BookLearn, WithoutAChoiceEverythingIsHalved) {
    // A single-move book: no choice anywhere, every delta 0; a value that
    // was learned before is halved.
    build(pgnGames(2, "1.e4 e5 2.Nf3", "1-0"));
    auto start = positionAfter({});
    setLearned(keyOf(*start, "e4"), 1.0f);
    setGame({"e4", "e5", "Nf3"});
    learnResult("1-0");
    EXPECT_FLOAT_EQ(learned({}, "e4"), 0.5f);
    EXPECT_EQ(learned({"e4", "e5"}, "Nf3"), 0.0f);
}

TEST_F(BookLearn, TheEleventhSearchLearnsFromTheFirstTen) {
    auto search = [&](int missCount, int score, int depth) {
        gBook.missCount = missCount;
        captureOutput([&] { learnFromGame(context_, score, depth, 0); });
    };
    // Rising scores: the highest came after the lowest, so the best score
    // is learned, with the deepest depth it was found at.
    for (int k = 1; k <= 10; k++) search(k, 10 * k, k == 10 ? 19 : 3);
    EXPECT_EQ(gBookLearning.slotScore[10], 100);
    EXPECT_EQ(learned({}, "e4"), 0.0f) << "nothing learned before the eleventh";
    search(11, -50, 5);  // learns 100 x 19 x 0.025 = 47
    EXPECT_FLOAT_EQ(learned({"e4", "e5"}, "Nf3"), 0.47f);
    // Past the eleventh nothing more happens.
    const std::string after = readFile(BOOK_FILE_NAME);
    search(12, 300, 10);
    search(0, 300, 10);
    EXPECT_EQ(readFile(BOOK_FILE_NAME), after);
    EXPECT_EQ(gBookLearning.slotScore[10], 100);

    // Falling scores: the worst is learned, at the given depth when that is
    // deeper than the slot's.
    for (int k = 1; k <= 10; k++) search(k, 100 - 10 * k, 2);
    search(11, 0, 19);  // learns 0 x ... = 0: Nf3 halves
    EXPECT_FLOAT_EQ(learned({"e4", "e5"}, "Nf3"), 0.235f);
    for (int k = 1; k <= 10; k++) search(k, -10 * k, 19);
    search(11, 0, 1);  // -100 x 19 x 0.025 = -47
    EXPECT_FLOAT_EQ(learned({"e4", "e5"}, "Nf3"), (-0.47f + 0.235f) * 0.5f);
}

TEST_F(BookLearn, NothingIsLearnedWhenItMustNotBe) {
    const std::string before = readFile(BOOK_FILE_NAME);
    context_.setUpPosition = true;  // the game began from a set-up position
    learnResult("1-0");
    context_.setUpPosition = false;
    gBookLearning.disabled = true;
    learnResult("1-0");
    EXPECT_EQ(readFile(BOOK_FILE_NAME), before);
}

TEST_F(BookLearn, LearningLeavesTheGameAlone) {
    auto game = startPosition();
    for (const HistoryEntry& entry : game_) playGameMove(*game, entry.move);
    // The game level as it was (the side the engine plays is an atomic
    // value, so the record as a whole is not copied).
    const int plyBefore = gGame.gamePly;
    const uint32_t repetitionsBefore = gGame.repetitionCount;
    const size_t movesBefore = gGame.gameRecord.size();
    auto positionBefore = std::make_unique<Position>(*game);
    context_.gameRecord = &gGame.gameRecord;
    learnResult("1-0");
    EXPECT_EQ(std::memcmp(game->board, positionBefore->board, sizeof game->board), 0);
    EXPECT_EQ(game->hashKey, positionBefore->hashKey);
    EXPECT_EQ(game->historyCount, positionBefore->historyCount);
    EXPECT_EQ(gGame.gamePly, plyBefore);
    EXPECT_EQ(gGame.repetitionCount, repetitionsBefore);
    EXPECT_EQ(gGame.gameRecord.size(), movesBefore);
    EXPECT_FLOAT_EQ(learned({}, "e4"), 0.71f);
}

TEST_F(BookLearn, OneRecordIsRewrittenInPlace) {
    const std::string before = readFile(BOOK_FILE_NAME);
    auto start = positionAfter({});
    const uint64_t key = keyOf(*start, "d4");
    EXPECT_TRUE(updateBookRecord(*start, moveFrom(*start, "d4"), -1.5f));
    const std::string after = readFile(BOOK_FILE_NAME);
    ASSERT_EQ(after.size(), before.size());
    // Exactly the four bytes of the learned value changed.
    std::vector<BookRecord> records = bookRecords();
    size_t at = 0;
    while (records[at].key != key) at++;
    const size_t learnedOffset = size_t(BOOK_INDEX_BYTES) + 32 * at + 20;
    for (size_t i = 0; i < after.size(); i++)
        if (i < learnedOffset || i >= learnedOffset + 4) {
            ASSERT_EQ(after[i], before[i]) << "byte " << i;
        }
    EXPECT_EQ(records[at].learned, -1.5f);
    // A move without a record changes nothing.
    EXPECT_FALSE(updateBookRecord(*start, moveFrom(*start, "a3"), 2.0f));
    EXPECT_EQ(readFile(BOOK_FILE_NAME), after);
}

TEST_F(BookLearn, ABookThatCannotBeWrittenIsReportedOnce) {
    // Root may write any file; the learning runs as an ordinary user.
    chmod(".", 0777);
    chmod(BOOK_FILE_NAME, 0444);
    const std::string before = readFile(BOOK_FILE_NAME);
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("child.log", "w", stdout)) _exit(100);
        if (geteuid() == 0 && seteuid(65534) != 0) _exit(101);
        learnFromResult(context_, "1-0");
        learnFromResult(context_, "0-1");
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile("child.log"), "Could not open book.bin for writing (Permission denied): the book does not learn\n");
    EXPECT_EQ(readFile(BOOK_FILE_NAME), before);
}

}  // namespace

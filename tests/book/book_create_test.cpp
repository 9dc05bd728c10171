// Building book.bin from PGN: the file byte for byte, which moves are kept,
// the run files and the merge, and that a failed build never costs the
// user the book they had.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "book_fixture.h"

namespace {

using BookCreate = BookTest;

// Five games over three openings; every key sits in its own cluster.
const std::string smallCollection = pgnGames(2, "1.e4 e5 2.Nf3", "1-0") + pgnGames(3, "1.e4 e5 2.Nf3", "0-1") +
                                    pgnGame("1.d4 d5", "1-0") + pgnGames(2, "1.d4 d5", "0-1") +
                                    pgnGames(4, "1.c4 c5", "1/2-1/2");

// A game of knight moves back and forth: `plies` plies.
std::string knightDance(int plies) {
    static const char* moves[] = {"Nf3", "Nf6", "Ng1", "Ng8"};
    std::string text;
    for (int i = 0; i < plies; i++) text += std::string(moves[i % 4]) + " ";
    return text;
}

TEST_F(BookCreate, FileLayoutByteForByte) {
    ASSERT_EQ(build(smallCollection), 5 * 3 + 3 * 2 + 4 * 2);
    const std::string bytes = readFile(BOOK_FILE_NAME);
    const std::vector<BookRecord> records = bookRecords();
    ASSERT_EQ(int64_t(bytes.size()), BOOK_INDEX_BYTES + 32 * int64_t(records.size()) + 4 + 12);
    EXPECT_EQ(bytes.substr(bytes.size() - 12), "Version: 4.1");
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());
    // The start position's cluster holds e4, d4 and c4 before the filter.
    EXPECT_EQ(getInt32(raw + bytes.size() - 16), 3);

    for (size_t i = 1; i < records.size(); i++) EXPECT_LT(records[i - 1].key, records[i].key);
    for (size_t i = 0; i < records.size(); i++) {
        const unsigned char* record = raw + BOOK_INDEX_BYTES + 32 * i;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(record) + 20, 12), std::string(12, '\0'))
            << "learned value and reserved bytes start at zero";
    }
    // Every cluster's index entry points at its first record; the others
    // are -1.
    for (int c = 0; c < BOOK_CLUSTERS; c++) {
        int64_t first = -1;
        for (size_t i = 0; i < records.size() && first < 0; i++)
            if (clusterOf(records[i].key) == c) first = BOOK_INDEX_BYTES + 32 * int64_t(i);
        ASSERT_EQ(getInt32(raw + 4 * c), first) << "cluster " << c;
    }
    // Little-endian throughout: the first record's key, byte by byte.
    uint64_t key = 0;
    for (int i = 7; i >= 0; i--) key = key << 8 | raw[BOOK_INDEX_BYTES + i];
    EXPECT_EQ(key, records[0].key);
}

TEST_F(BookCreate, KeysComeFromTheZobristKeys) {
    build(pgnGame("1.e4", "1-0"));
    const std::vector<BookRecord> records = bookRecords();
    ASSERT_EQ(records.size(), 1u);
    // Parent's top 16 bits over the child's low 48 bits; fixed for every
    // build, so that any build reads any other's book.
    auto pos = positionAfter({});
    EXPECT_EQ(records[0].key, keyOf(*pos, "e4"));
    EXPECT_EQ(records[0].key, 0xAB52A083C5F55EABull);
    EXPECT_EQ(clusterOf(records[0].key), int(pos->hashKey >> 48));
}

TEST_F(BookCreate, CountsAreSummedAndPoorMovesDropped) {
    build(smallCollection);
    const std::vector<BookRecord> records = bookRecords();
    auto start = positionAfter({});
    // 2 wins, 3 losses: 2 > 3 / 2, kept.
    const std::optional<BookRecord> e4 = findRecord(records, keyOf(*start, "e4"));
    ASSERT_TRUE(e4);
    EXPECT_EQ(e4->wins, 2u);
    EXPECT_EQ(e4->losses, 3u);
    EXPECT_EQ(e4->draws, 0u);
    // Black's reply won the three games White lost.
    auto afterE4 = positionAfter({"e4"});
    const std::optional<BookRecord> e5 = findRecord(records, keyOf(*afterE4, "e5"));
    ASSERT_TRUE(e5);
    EXPECT_EQ(e5->wins, 3u);
    EXPECT_EQ(e5->losses, 2u);
    // 1 win, 2 losses: 1 is not above 2 / 2, dropped; only draws: dropped.
    EXPECT_FALSE(findRecord(records, keyOf(*start, "d4")));
    EXPECT_FALSE(findRecord(records, keyOf(*start, "c4")));
    auto afterD4 = positionAfter({"d4"});
    EXPECT_TRUE(findRecord(records, keyOf(*afterD4, "d5")));  // 2 wins, 1 loss
    EXPECT_EQ(records.size(), 4u);  // e4, e5, Nf3, d5
}

TEST_F(BookCreate, AGameGivesAtMostFiftyRecords) {
    EXPECT_EQ(build(pgnGame(knightDance(60), "1-0")), 50);
    EXPECT_EQ(build(pgnGame(knightDance(50), "1-0")), 50);
    EXPECT_EQ(build(pgnGame(knightDance(7), "1-0")), 7);
}

TEST_F(BookCreate, PrintedLines) {
    build(smallCollection);
    EXPECT_EQ(lastBuild_.out,
              "\nMerging 1 blocks.\nMerging book file (10000 moves/dot)\n\nFinished.\nLongest cluster: 3\n"
              "Book created by Version: 4.1\nGames parsed: 12\n");
    EXPECT_EQ(lastBuild_.err, "");
    EXPECT_FALSE(gOpeningBook.disabled);  // the new book is open
}

TEST_F(BookCreate, ExactlyOneBlockMakesOneRunFile) {
    EXPECT_EQ(build(pgnGames(2000, knightDance(50), "1-0")), 100000);
    EXPECT_NE(lastBuild_.out.find("Merging 1 blocks."), std::string::npos);
    EXPECT_EQ(std::count(lastBuild_.out.begin(), lastBuild_.out.end(), '.') - 3, 10) << "a dot per 10,000 records";
}

TEST_F(BookCreate, ManyRunsMergeToTheSameBook) {
    const std::string pgn = smallCollection + pgnGames(3, knightDance(30), "0-1") +
                            pgnGame("1.e4 c5 2.Nf3 d6 3.d4 cxd4 4.Nxd4 Nf6 5.Nc3 a6", "1-0");
    const int64_t records = build(pgn);
    const std::string oneRun = readFile(BOOK_FILE_NAME);
    EXPECT_EQ(build(pgn, 7), records);
    EXPECT_NE(lastBuild_.out.find("Merging " + std::to_string((records + 6) / 7) + " blocks."), std::string::npos);
    EXPECT_EQ(readFile(BOOK_FILE_NAME), oneRun);
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"book.bin", "games.pgn"}));
}

TEST_F(BookCreate, IllegalMoveSkipsTheRestOfTheGame) {
    EXPECT_EQ(build(pgnGame("1.e4 e5 2.Ke3 Nc6", "1-0") + pgnGame("1.d4", "1-0")), 3);
    const std::string& out = lastBuild_.out;
    EXPECT_NE(out.find("[Event \"test\"]\n[Result \"1-0\"]\n\n r n b q k b n r\n p p p p - p p p\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Illegal Move: \"Ke3\" in game: 1\n"), std::string::npos);
    EXPECT_NE(out.find("Games parsed: 2\n"), std::string::npos);
}

TEST_F(BookCreate, SetUpAndUnfinishedGamesContributeNothing) {
    EXPECT_EQ(build(pgnGame("1.e4", "1-0", "[FEN \"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\"]\n") +
                    pgnGame("1.d4", "*") + pgnGame("1.c4", "1-0")),
              1);
    EXPECT_NE(lastBuild_.out.find("Games parsed: 1\n"), std::string::npos);
}

TEST_F(BookCreate, VariationsAndCommentsDoNotReachTheBook) {
    build(pgnGame("{opening} 1.e4 (1.d4 {or} d5 (1...Nf6)) 1...e5 $1 2.Nf3", "1-0"));
    EXPECT_EQ(bookRecords().size(), 2u);  // e4 and Nf3 (Black's e5 lost)
    auto start = positionAfter({});
    EXPECT_TRUE(findRecord(bookRecords(), keyOf(*start, "e4")));
}

// The user's book survives every build that fails, and no run file is
// left behind.
class BookCreateFailure : public BookCreate {
protected:
    std::string oldBook_;
    void SetUp() override {
        BookCreate::SetUp();
        build(smallCollection);
        oldBook_ = readFile(BOOK_FILE_NAME);
        ASSERT_FALSE(oldBook_.empty());
    }
    void expectOldBookAlone(const std::vector<std::string>& alsoThere = {}) {
        EXPECT_EQ(readFile(BOOK_FILE_NAME), oldBook_);
        std::vector<std::string> expected = {"book.bin", "games.pgn"};
        expected.insert(expected.end(), alsoThere.begin(), alsoThere.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(folderContents(), expected);
    }
    // Runs a build in a child process that first calls `prepare` (limits,
    // privileges); returns the records it made and what it printed.
    int64_t buildInChild(const std::function<void()>& prepare, int blockRecords, std::string& printed) {
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            FILE* log = std::freopen("child.log", "w", stdout);
            dup2(fileno(stdout), 2);
            if (!log) _exit(100);
            prepare();
            int64_t records = createBook("games.pgn", blockRecords).records;
            std::fflush(stdout);
            _exit(records == 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        printed = readFile("child.log");
        std::remove("child.log");
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    }
};

TEST_F(BookCreateFailure, MissingPgn) {
    OutputOf output = captureOutput([] { EXPECT_EQ(createBook("missing.pgn").records, 0); });
    EXPECT_EQ(output.out, "Error opening: missing.pgn\n");
    expectOldBookAlone();
}

TEST_F(BookCreateFailure, RunFileCannotBeCreated) {
    mkdir("book.1", 0755);  // the second run file's name is taken by a folder
    EXPECT_EQ(build(smallCollection, 5), 0);
    EXPECT_EQ(lastBuild_.err, "Error: Is a directory\nFatal error, could not create sort file.\n");
    expectOldBookAlone({"book.1"});
}

TEST_F(BookCreateFailure, NothingToStore) {
    EXPECT_EQ(build(""), 0);
    EXPECT_EQ(lastBuild_.out, "\nNo moves to store: book.bin left as it was.\n");
    expectOldBookAlone();
}

TEST_F(BookCreateFailure, OverlongHeader) {
    std::string tags;
    for (int i = 0; i < 200; i++) tags += "[Annotator \"" + std::string(50, 'a') + "\"]\n";
    EXPECT_EQ(build(smallCollection + tags + "\n1.e4 1-0\n", 5), 0);
    EXPECT_NE(lastBuild_.out.find("not enough space for header\n"), std::string::npos);
    expectOldBookAlone();
}

TEST_F(BookCreateFailure, RefusedOpenFileLimit) {
    // Without the privilege to raise the hard limit (root gives it up for
    // the test), 29 run files cannot be open at once under a limit of 20.
    chmod(".", 0777);
    chmod("book.bin", 0666);
    std::string printed;
    int64_t status = buildInChild(
        [] {
            struct rlimit limit = {20, 20};
            setrlimit(RLIMIT_NOFILE, &limit);
            if (geteuid() == 0 && seteuid(65534) != 0) _exit(101);
        },
        1, printed);
    EXPECT_EQ(status, 0) << printed;
    EXPECT_NE(printed.find("could not set stdio max file handles\n"), std::string::npos) << printed;
    expectOldBookAlone();
}

TEST_F(BookCreateFailure, OpenFileLimitIsRaisedWhenAllowed) {
    std::string printed;
    writeFile("games.pgn", smallCollection + pgnGames(10, knightDance(20), "1-0"));
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("child.log", "w", stdout);
        struct rlimit limit;
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = 64;
        setrlimit(RLIMIT_NOFILE, &limit);
        int64_t records = createBook("games.pgn", 1).records;  // 229 run files
        getrlimit(RLIMIT_NOFILE, &limit);
        std::fflush(stdout);
        _exit(records == 229 && limit.rlim_cur == 256 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readFile("child.log");
    EXPECT_NE(readFile("child.log").find("Merging 229 blocks."), std::string::npos);
    std::remove("child.log");
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"book.bin", "games.pgn"}));
}

TEST_F(BookCreateFailure, BadInputNeverCrashes) {
    // A folder, binary garbage, a truncated last game: no book change from
    // the ones that give no moves, a book from the sound games otherwise.
    mkdir("folder.pgn", 0755);
    OutputOf output = captureOutput([] { EXPECT_EQ(createBook("folder.pgn").records, 0); });
    EXPECT_EQ(output.out, "Error opening: folder.pgn\n");
    std::string garbage;
    for (int i = 0; i < 100000; i++) garbage += char((i * 7919) % 251);
    EXPECT_EQ(build(garbage), 0);
    expectOldBookAlone({"folder.pgn"});
    EXPECT_EQ(build(pgnGame("1.e4 e5", "1-0") + "[Event \"cut\"]\n[Result \"1-0\"]\n\n1.d4 d5 2.c4"), 2);
}

}  // namespace

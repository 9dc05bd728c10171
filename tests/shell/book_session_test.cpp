// The opening book in whole sessions through pipes: built with "book
// create", reported on, played from at the start of a game in both
// protocols, left when it runs out, and taught by the game's result.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

// After 1.e4 Black's book has e5 (12 games) and c5 (3); after 1.e4 e5 2.Nf3
// only Nc6; after 3.Bb5 nothing. White's only first move is e4.
std::string collection() {
    auto games = [](int times, const std::string& moves, const std::string& result) {
        std::string text;
        for (int i = 0; i < times; i++)
            text += "[Event \"session\"]\n[Result \"" + result + "\"]\n\n" + moves + " " + result + "\n\n";
        return text;
    };
    return games(6, "1.e4 e5 2.Nf3 Nc6 3.Bb5", "1-0") + games(6, "1.e4 e5 2.Nf3 Nc6", "0-1") +
           games(3, "1.e4 c5", "0-1");
}

class BookSession : public ::testing::Test {
protected:
    EngineSession engine;
    void SetUp() override {
        std::ofstream(engine.workDir() + "/games.pgn") << collection();
        ASSERT_TRUE(engine.waitFor("W> "));
    }
    // Sends a line and waits for `reply` after everything printed so far.
    bool exchange(const std::string& line, const std::string& reply, int timeoutMs = 20000) {
        size_t from = engine.output().size();
        engine.sendLine(line);
        return engine.waitFor(reply, timeoutMs, from);
    }
    std::string since(size_t from) const { return engine.output().substr(from); }
};

TEST_F(BookSession, CreateReportAndList) {
    EXPECT_NE(engine.output().find("Book file missing!\n"), std::string::npos);
    size_t from = engine.output().size();
    ASSERT_TRUE(exchange("book create games.pgn", " moves stored.\r\n"));
    std::string created = since(from);
    EXPECT_EQ(created.rfind("\r\nCreating opening book (10000 moves/dot)\r\n", 0), 0u) << created;
    EXPECT_NE(created.find("Games parsed: 15\n\r\nOpening book created:\r\n\t60 moves stored.\r\n"), std::string::npos)
        << created;

    from = engine.output().size();
    ASSERT_TRUE(exchange("book info", "Positions:\t"));
    ASSERT_TRUE(engine.waitFor("\n", 2000, engine.output().find("Positions:\t", from)));
    EXPECT_NE(since(from).find("book.bin\r\n   Bytes:\t262336\r\n   Positions:\t6\n"), std::string::npos) << since(from);

    ASSERT_TRUE(exchange("book test", "Test complete.\n"));
    from = engine.output().size();
    ASSERT_TRUE(exchange("book probe", "book moves: "));
    ASSERT_TRUE(engine.waitFor(")\n", 2000, from));
    EXPECT_NE(since(from).find("Book Move: e4 won:6 lost:9 learned:0\nbook moves:  e4(1.001000)\n"), std::string::npos)
        << since(from);

    from = engine.output().size();
    ASSERT_TRUE(exchange("book", "probes the book at the current position\n"));
    EXPECT_NE(since(from).find("book usage\n\tbook create <filename> - builds an opening book from a pgn database\n"
                               "\tbook info - prints info about the current book.bin file\n"
                               "\tbook test - runs a test against the current book.bin file\n"
                               "\tbook probe - probes the book at the current position\n"),
              std::string::npos);
    // Unknown sub-commands do nothing.
    from = engine.output().size();
    ASSERT_TRUE(exchange("book frobnicate\nbook create\nbook make games.pgn\nping 3", "pong 3\n"));
    EXPECT_EQ(since(from).find("book"), std::string::npos) << since(from);
    EXPECT_EQ(since(from).find("Creating"), std::string::npos) << since(from);
}

TEST_F(BookSession, ConsoleGameFromTheBookThenLearning) {
    ASSERT_TRUE(exchange("book create games.pgn", " moves stored.\r\n"));
    ASSERT_TRUE(exchange("new\neasy\ndepth 2\ne4", "Computer's move: 1. ... "));
    ASSERT_TRUE(engine.waitFor("\n", 2000, engine.output().rfind("Computer's move")));
    std::string out = engine.output();
    EXPECT_NE(out.find("book moves: e5(80%) c5(19%) \n"), std::string::npos) << out;
    EXPECT_NE(out.find("Computer's move: 1. ... e5\n"), std::string::npos) << out;

    ASSERT_TRUE(exchange("Nf3", "Computer's move: 2. ... Nc6\n"));
    // Out of the book: the engine searches.
    size_t from = engine.output().size();
    ASSERT_TRUE(exchange("Bb5", "Computer's move: 3. ... "));
    EXPECT_EQ(since(from).find("book moves: "), std::string::npos);

    // Black won: e5, the engine's one real choice, and Nc6 after it learn
    // 300 x 19 x 0.025 = 142 centipawns.
    ASSERT_TRUE(exchange("result 0-1\nforce\ne4\nbook probe", "book moves:  "));
    ASSERT_TRUE(engine.waitFor(")\n", 2000, engine.output().rfind("book moves:  ")));
    from = engine.output().rfind("Book Move: ");
    out = engine.output();
    EXPECT_NE(out.find("Book Move: e5 won:6 lost:6 learned:142\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Book Move: c5 won:3 lost:0 learned:0\n"), std::string::npos) << out;
}

TEST_F(BookSession, XboardGameFromTheBookAsBothColours) {
    ASSERT_TRUE(exchange("book create games.pgn", " moves stored.\r\n"));
    ASSERT_TRUE(exchange("xboard\nprotover 2", "done=1\n"));
    // White: the book's only first move.
    ASSERT_TRUE(exchange("new\ndepth 2\ngo", "move "));
    ASSERT_TRUE(engine.waitFor("\n", 2000, engine.output().rfind("move ")));
    EXPECT_NE(engine.output().find("book moves: e4(100%) \n"), std::string::npos) << engine.output();
    EXPECT_NE(engine.output().find("\nmove e4\n"), std::string::npos) << engine.output();

    // Black: book moves until the book runs out, then a search.
    ASSERT_TRUE(exchange("new\ndepth 2\ne2e4", "move e5\n"));
    ASSERT_TRUE(exchange("g1f3", "move Nc6\n"));
    size_t from = engine.output().size();
    ASSERT_TRUE(exchange("f1b5", "move "));
    EXPECT_EQ(since(from).find("book moves: "), std::string::npos);
    // A result from the interface teaches the book.
    ASSERT_TRUE(exchange("result 1-0 {White wins}\nnew\nforce\ne2e4\nbook probe", "book moves:  "));
    ASSERT_TRUE(engine.waitFor(")\n", 2000, engine.output().rfind("book moves:  ")));
    EXPECT_NE(engine.output().find("Book Move: e5 won:6 lost:6 learned:-142\n"), std::string::npos)
        << engine.output();
}

TEST_F(BookSession, WithoutABookTheEngineSearches) {
    // xboard takes these words in an engine's first lines for a failed
    // start and never plays it: the start-up must not say them.
    const std::string startUp = engine.output();
    for (const char* phrase : {"not found", "No such file", "Permission denied", "can't alloc", "unknown host"})
        EXPECT_EQ(startUp.find(phrase), std::string::npos) << startUp;
    EXPECT_NE(startUp.find("Book file missing!\n"), std::string::npos) << startUp;
    ASSERT_TRUE(exchange("xboard\nprotover 2", "done=1\n"));
    ASSERT_TRUE(exchange("new\ndepth 2\ne2e4", "move "));
    EXPECT_NE(engine.output().find("NoBook\n"), std::string::npos);
}

}  // namespace

// The PGN reader on the forms real collections take and on bad input: what
// becomes a move of the game, which games are used, and that nothing makes
// it hang or read past its buffers.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "book_fixture.h"
#include "book/pgn_reader.h"

namespace {

struct ReadGame {
    std::vector<std::string> moves;
    GameResult result;
    std::string header;
};

struct ReadAll {
    std::vector<ReadGame> games;
    PgnNext last = PgnNext::end;
};

class PgnReaderTest : public BookTest {
protected:
    ReadAll readAll(const std::string& text) {
        writeFile("in.pgn", text);
        return readPath("in.pgn");
    }
    ReadAll readPath(const std::string& path) {
        ReadAll all;
        PgnReader reader;
        if (!reader.open(path.c_str())) return all;
        auto game = std::make_unique<PgnGame>();
        while ((all.last = reader.next(*game)) == PgnNext::game) {
            ReadGame read{{}, game->result, game->header};
            for (int i = 0; i < game->moveCount; i++) read.moves.push_back(game->moves[i]);
            all.games.push_back(read);
        }
        return all;
    }
    std::vector<std::string> movesOf(const std::string& movetext) {
        ReadAll all = readAll(pgnGame(movetext, "1-0"));
        EXPECT_EQ(all.games.size(), 1u) << movetext;
        return all.games.empty() ? std::vector<std::string>{} : all.games[0].moves;
    }
};

using Words = std::vector<std::string>;

TEST_F(PgnReaderTest, MoveNumbersInEveryForm) {
    EXPECT_EQ(movesOf("1.e4 e5 2. Nf3 2...Nc6 3.\nBb5 3... a6 4 Ba4"), (Words{"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4"}));
    // Moves without numbers at all, and castling written with zeros.
    EXPECT_EQ(movesOf("e4 e5 Nf3 Nf6 Bc4 Bc5 0-0 0-0"), (Words{"e4", "e5", "Nf3", "Nf6", "Bc4", "Bc5", "0-0", "0-0"}));
}

TEST_F(PgnReaderTest, SuffixesAreDroppedAndPromotionsGetTheirSign) {
    EXPECT_EQ(movesOf("Nf3?! d5!! Qxf7# O-O-O+ e8Q+ bxa1N dxc8=R!? h1=Q"),
              (Words{"Nf3", "d5", "Qxf7", "O-O-O", "e8=Q", "bxa1=N", "dxc8=R", "h1=Q"}));
}

TEST_F(PgnReaderTest, CommentsAndGlyphsAreNotMoves) {
    EXPECT_EQ(movesOf("{A comment before the first move, 1-0 (not a result)} 1.e4 $1 e5 $14 ; to the end 1-0 d4\n"
                      "2.Nf3 {spans\ntwo lines} Nc6"),
              (Words{"e4", "e5", "Nf3", "Nc6"}));
}

TEST_F(PgnReaderTest, VariationsAreNeverPlayedOnTheGame) {
    EXPECT_EQ(movesOf("1.e4 (1.d4 d5 (1...Nf6 2.c4 {a (paren} e6) 2.c4 1-0) 1...e5 (1...c5\n2.Nf3 (2.c3)) 2.Nf3"),
              (Words{"e4", "e5", "Nf3"}));
    // A stray closing parenthesis does not swallow the game.
    EXPECT_EQ(movesOf("1.e4 ) e5"), (Words{"e4", "e5"}));
}

TEST_F(PgnReaderTest, OnlyTheFirstFiftyPliesAreKept) {
    std::string text;
    for (int i = 1; i <= 40; i++) text += std::to_string(i) + ".Nf3 Nf6 ";
    Words moves = movesOf(text);
    EXPECT_EQ(moves.size(), size_t(PGN_MAX_PLIES));
}

TEST_F(PgnReaderTest, ResultTagsDecideTheCounts) {
    ReadAll all = readAll(pgnGame("1.e4", "1-0") + pgnGame("1.e4", "0-1") + pgnGame("1.e4", "1/2-1/2") +
                          "[Event \"no result tag\"]\n\n1.e4 1-0\n\n" + "[Result \"?\"]\n\n1.e4 1-0\n\n");
    ASSERT_EQ(all.games.size(), 5u);
    EXPECT_EQ(all.games[0].result, GameResult::whiteWin);
    EXPECT_EQ(all.games[1].result, GameResult::blackWin);
    EXPECT_EQ(all.games[2].result, GameResult::draw);
    // A game without a result tag is not given the previous game's result.
    EXPECT_EQ(all.games[3].result, GameResult::none);
    EXPECT_EQ(all.games[4].result, GameResult::none);
    EXPECT_EQ(all.games[0].header, "[Event \"test\"]\n[Result \"1-0\"]\n");
}

TEST_F(PgnReaderTest, SetUpAndUnfinishedGamesAreSkippedToTheirOwnEnd) {
    ReadAll all = readAll(pgnGame("1.e4 e5", "1-0", "[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n") +
                          pgnGame("1.d4 d5", "0-1") + pgnGame("1.c4 c5", "*") + pgnGame("1.Nf3", "1/2-1/2") +
                          // A tag whose name merely contains the letters is no FEN tag.
                          pgnGame("1.b3", "1-0", "[White \"Fenwick\"]\n"));
    ASSERT_EQ(all.games.size(), 3u);
    EXPECT_EQ(all.games[0].moves, (Words{"d4", "d5"}));
    EXPECT_EQ(all.games[1].moves, (Words{"Nf3"}));
    EXPECT_EQ(all.games[2].moves, (Words{"b3"}));
}

TEST_F(PgnReaderTest, GamesCutShortGiveNothing) {
    // Cut by the next game's tags: the next game keeps all its tags.
    ReadAll all = readAll("[Event \"a\"]\n\n1.e4 e5 2.Nf3\n[Event \"b\"]\n[Result \"0-1\"]\n\n1.d4 0-1\n\n"
                          "[Event \"c\"]\n[Result \"1-0\"]\n\n1.c4 c5 2.Nc3");
    ASSERT_EQ(all.games.size(), 1u);
    EXPECT_EQ(all.games[0].moves, (Words{"d4"}));
    EXPECT_EQ(all.games[0].result, GameResult::blackWin);
    // An unclosed comment runs into the next game's tags and ends its game.
    all = readAll("[Event \"a\"]\n[Result \"1-0\"]\n\n1.e4 {never closed 1-0\n\n" + pgnGame("1.d4", "0-1"));
    ASSERT_EQ(all.games.size(), 1u);
    EXPECT_EQ(all.games[0].moves, (Words{"d4"}));
}

TEST_F(PgnReaderTest, FileQuirks) {
    // Byte-order mark, CR LF line ends, Latin-1 in tags, no blank line
    // between tags and moves, several blank lines between games.
    std::string text = "\xEF\xBB\xBF[Event \"Caf\xE9\"]\r\n[Result \"1-0\"]\r\n\r\n1.e4 e5\r\n2.Nf3 1-0\r\n\r\n\r\n\r\n"
                       "[Event \"x\"]\n[Result \"0-1\"]\n1.d4 d5 0-1\n";
    ReadAll all = readAll(text);
    ASSERT_EQ(all.games.size(), 2u);
    EXPECT_EQ(all.games[0].moves, (Words{"e4", "e5", "Nf3"}));
    EXPECT_EQ(all.games[0].header, "[Event \"Caf\xE9\"]\n[Result \"1-0\"]\n");
    EXPECT_EQ(all.games[1].moves, (Words{"d4", "d5"}));
}

TEST_F(PgnReaderTest, LongLinesAndLongWords) {
    std::string comment = "{" + std::string(5000, 'x') + "}";
    EXPECT_EQ(movesOf(comment + " 1.e4 " + std::string(3000, ' ') + "e5 2.Nf3"), (Words{"e4", "e5", "Nf3"}));
    // Words are cut at 15 characters.
    Words moves = movesOf("1.e4 Nf3abcdefghijklmnopqrstuvwxyz");
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1], "Nf3abcdefghijkl");
}

TEST_F(PgnReaderTest, EmptyMissingAndFolderInputs) {
    ReadAll all = readAll("");
    EXPECT_TRUE(all.games.empty());
    OutputOf missing = captureOutput([&] { all = readPath("no-such.pgn"); });
    EXPECT_EQ(missing.out, "Error opening: no-such.pgn\n");
    mkdir("folder.pgn", 0755);
    OutputOf folder = captureOutput([&] { all = readPath("folder.pgn"); });
    EXPECT_EQ(folder.out, "Error opening: folder.pgn\n");
}

TEST_F(PgnReaderTest, GarbageEndsWithoutGames) {
    std::string garbage;
    uint32_t state = 12345;
    for (int i = 0; i < 200000; i++) {
        state = state * 1103515245 + 12345;
        garbage += char(state >> 16);
    }
    ReadAll all = readAll(garbage);
    EXPECT_EQ(all.last, PgnNext::end);
    // Garbage with result tokens in it: games of unreadable words, but the
    // reader comes to its end.
    all = readAll("[Result \"1-0\"]\n\n" + garbage.substr(0, 5000) + " 1-0\n" + garbage.substr(5000, 5000));
    EXPECT_EQ(all.last, PgnNext::end);
}

TEST_F(PgnReaderTest, OverlongHeaderStopsTheReader) {
    std::string tags;
    for (int i = 0; i < 200; i++) tags += "[Annotator \"" + std::string(50, 'a') + "\"]\n";
    ReadAll all = readAll(tags + "\n1.e4 1-0\n");
    EXPECT_EQ(all.last, PgnNext::headerTooLong);
    EXPECT_TRUE(all.games.empty());
}

}  // namespace

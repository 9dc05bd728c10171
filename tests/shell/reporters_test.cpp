// The principal-variation line in its console, xboard and UCI forms: what
// the search reports, as each protocol's reporter says it.
#include "shell/reporters.h"

#include <cstdio>
#include <regex>

#include "search/search_fixture.h"
#include "shell/shell_state.h"

namespace {

class OutputTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        pos = setUp("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        gSearch.iterationDepth = 7;
        pos->stats.nodes = 300000;
        setReporter(consoleReporter);
    }
    // Fills pv[1] with the given moves (from, to pairs), played from the root.
    PVRow& line(std::initializer_list<std::pair<int, int>> moves) {
        PVRow& row = pos->pv[1];
        int i = 1;
        for (auto [from, to] : moves) {
            row.moves[i++] = findMove(*pos, from, to);
            makeMove(*pos, row.moves[i - 1], false);
        }
        row.end = uint8_t(i);
        while (pos->historyCount > 1) unmakeMove(*pos);
        return row;
    }
    // The line printed 1.5 s into the search. On a loaded machine a few
    // milliseconds may pass before the clock is read: those are folded
    // back into the 1.5 s the expected lines show.
    std::string print(PVRow& row, int score, const char* mark = "") {
        testing::internal::CaptureStdout();
        gLimits.startTime = timeNow() - 1500;
        reportVariation(*pos, row, score, mark);
        std::string out = testing::internal::GetCapturedStdout();
        out = std::regex_replace(out, std::regex("^( 7    )1\\.5[0-9]"), "$011.50");
        return std::regex_replace(out, std::regex("^(7 -?[0-9]+ )15[0-9] "), "$01150 ");
    }
    std::unique_ptr<Position> pos;
};

TEST_F(OutputTest, ConsoleAndXboardForms) {
    PVRow& row = line({{E2, E4}, {E7, E5}});
    EXPECT_EQ(print(row, 25), " 7    1.50     300000   +0.25   e4 e5\n");
    EXPECT_EQ(print(row, -25, "+1"), " 7    1.50     300000      +1   e4 e5\n");
    setReporter(xboardReporter);
    EXPECT_EQ(print(row, 25), "7 25 150 300000 e4 e5\n");
    EXPECT_EQ(pos->historyCount, 1u);
}

TEST_F(OutputTest, SmallSearchesShowOnlyMates) {
    PVRow& row = line({{E2, E4}});
    pos->stats.nodes = 199999;
    EXPECT_EQ(print(row, 9899), "");
    EXPECT_NE(print(row, 9990), "");
}

TEST_F(OutputTest, ExactTableEntriesLengthenTheLine) {
    PVRow& row = line({{E2, E4}, {E7, E5}});
    makeMove(*pos, row.moves[1], false);
    makeMove(*pos, row.moves[2], false);
    const Move nf3 = findMove(*pos, G1, F3);
    hashStore(pos->hashKey, 3, 5, 20, HASH_EXACT, nf3);
    unmakeMove(*pos);
    unmakeMove(*pos);
    EXPECT_EQ(print(row, 25), " 7    1.50     300000   +0.25   e4 e5 Nf3(HT)\n");
    EXPECT_EQ(row.end, 4);
    EXPECT_EQ(row.moves[3], nf3);
}

// What xboard, cutechess and python-chess read from a thinking line: the
// moves only (a table mark would end the line there), a bound marked at
// the end, mates as 100000 + N moves, every line while "post" is on and
// none after "nopost".
TEST_F(OutputTest, XboardLinesCarryMovesBoundsAndMatesAsItsProtocolAsks) {
    setReporter(xboardReporter);
    PVRow& row = line({{E2, E4}, {E7, E5}});
    makeMove(*pos, row.moves[1], false);
    makeMove(*pos, row.moves[2], false);
    hashStore(pos->hashKey, 3, 5, 20, HASH_EXACT, findMove(*pos, G1, F3));
    unmakeMove(*pos);
    unmakeMove(*pos);
    EXPECT_EQ(print(row, 25), "7 25 150 300000 e4 e5 Nf3\n");
    EXPECT_EQ(print(row, 40, "+1"), "7 40 150 300000 e4 e5 Nf3!\n");
    EXPECT_EQ(print(row, 10, "-2"), "7 10 150 300000 e4 e5 Nf3?\n");
    // Mate in 3 moves for the side to move (five plies from the root at
    // ply 1), and mated in 2.
    EXPECT_EQ(print(row, MATE - 6), "7 100003 150 300000 e4 e5 Nf3\n");
    EXPECT_EQ(print(row, -(MATE - 5)), "7 -100002 150 300000 e4 e5 Nf3\n");
    // A short search is shown too; "nopost" shows nothing.
    pos->stats.nodes = 100;
    EXPECT_EQ(print(row, 25), "7 25 150 100 e4 e5 Nf3\n");
    gShell.showThinking = false;
    EXPECT_EQ(print(row, 25), "");
    gShell.showThinking = true;
}

TEST_F(OutputTest, UciLinesCountTheTablesHits) {
    setReporter(uciReporter);
    PVRow& row = line({{E2, E4}});
    pos->stats.tablebaseHits = 17;
    EXPECT_NE(print(row, 25).find(" tbhits 17 pv e2e4\n"), std::string::npos);
}

TEST_F(OutputTest, LongLinesWrapUnderTheFirstMove) {
    PVRow& row = line({{G1, F3}, {G8, F6}, {F3, G1}, {F6, G8}, {G1, F3}, {G8, F6}, {F3, G1}, {F6, G8},
                       {B1, C3}, {B8, C6}, {C3, B1}, {C6, B8}});
    std::string out = print(row, 0);
    std::string wrap = "\n" + std::string(31, ' ') + " ";
    size_t at = out.find(wrap);
    ASSERT_NE(at, std::string::npos) << out;
    // The break comes after the first 41 characters of moves.
    EXPECT_EQ(out.substr(0, at), " 7    1.50     300000   +0.00   Nf3 Nf6 Ng1 Ng8 Nf3 Nf6 Ng1 Ng8 Nc3 Nc6 Nb1");
}

TEST_F(OutputTest, UciFormIsAnInfoLineWithCoordinateMoves) {
    setReporter(uciReporter);
    PVRow& row = line({{E2, E4}, {E7, E5}});
    pos->stats.nodes = 1000;  // a small search is shown as well
    pos->stats.selDepth = 12;  // the root is ply 1
    const std::string out = print(row, 25);
    EXPECT_EQ(out.rfind("info depth 7 seldepth 11 score cp 25 nodes 1000 nps ", 0), 0u) << out;
    // Milliseconds since the search began (a busy machine may add a few),
    // and the speed they give.
    unsigned nps = 0, time = 0, hashfull = 0;
    ASSERT_EQ(std::sscanf(out.c_str() + out.find(" nps "), " nps %u time %u hashfull %u", &nps, &time, &hashfull), 3)
        << out;
    EXPECT_GE(time, 1500u);
    EXPECT_LT(time, 1600u);
    EXPECT_EQ(nps, 1000u * 1000 / time);
    EXPECT_LE(hashfull, 1000u);
    EXPECT_EQ(out.substr(out.find(" pv ")), " pv e2e4 e7e5\n");
    // A failed aspiration window makes the score a bound.
    EXPECT_NE(print(row, -25, "+1").find(" score cp -25 lowerbound nodes "), std::string::npos);
    EXPECT_NE(print(row, -25, "-2").find(" score cp -25 upperbound nodes "), std::string::npos);
    EXPECT_EQ(pos->historyCount, 1u);
}

TEST_F(OutputTest, UciMateScoresCountMovesForTheSideToMove) {
    setReporter(uciReporter);
    PVRow& row = line({{E2, E4}});
    // The root is ply 1: mating at ply 2 is a mate in one, at ply 4 in two;
    // being mated at ply 3 is mated in one. A mate of a hundred moves (our
    // tables' longest) is still a mate; a Syzygy win a few plies away, whose
    // distance to mate nobody knows, is not.
    for (auto [score, text] : std::initializer_list<std::pair<int, const char*>>{
             {9998, " score mate 1 "}, {9996, " score mate 2 "}, {9801, " score mate 100 "},
             {-9997, " score mate -1 "}, {-9995, " score mate -2 "}, {-9801, " score mate -99 "},
             {9798, " score cp 9798 "}, {-9797, " score cp -9797 "}, {9700, " score cp 9700 "}})
        EXPECT_NE(print(row, score).find(text), std::string::npos) << score << ": " << print(row, score);
}

}  // namespace

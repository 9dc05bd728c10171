// What analysts, bots and testing frameworks drive through pipes: several
// principal variations, the move overhead, and the benchmark run from the
// command line or from any protocol.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::string field(const std::string& line, const std::string& key) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string s; in >> s;) w.push_back(s);
    for (size_t i = 0; i + 1 < w.size(); i++)
        if (w[i] == key) return w[i + 1];
    return "";
}

// The first move of each variation's last line at the deepest depth, by
// its multipv index.
std::map<int, std::string> deepestLines(const std::string& out) {
    int deepest = 0;
    for (const std::string& l : lines(out))
        if (l.rfind("info depth ", 0) == 0 && !field(l, "multipv").empty()) deepest = std::max(deepest, std::stoi(field(l, "depth")));
    std::map<int, std::string> first;
    for (const std::string& l : lines(out)) {
        if (l.rfind("info depth ", 0) != 0 || field(l, "multipv").empty()) continue;
        if (std::stoi(field(l, "depth")) == deepest) first[std::stoi(field(l, "multipv"))] = field(l, "pv");
    }
    return first;
}

TEST(EngineFeatures, MultiPVReportsEachLineWithItsIndex) {
    const std::string fen = "3k4/ppp5/8/3q4/8/8/PPP5/3RK3 w - - 0 1";
    std::string out = runEngine("uci\nsetoption name MultiPV value 3\nposition fen " + fen +
                                "\ngo depth 6\nisready\nquit\n");
    ASSERT_NE(out.find("readyok"), std::string::npos) << out;
    EXPECT_NE(out.find("option name MultiPV type spin default 1 min 1 max 500\n"), std::string::npos);
    const std::map<int, std::string> first = deepestLines(out);
    ASSERT_EQ(first.size(), 3u) << out;
    EXPECT_EQ(first.at(1), "d1d5");
    EXPECT_NE(first.at(2), first.at(3));
    EXPECT_NE(first.at(1), first.at(2));
    EXPECT_NE(out.find("bestmove d1d5"), std::string::npos) << out;

    // One legal move and 500 lines asked for: one line. A mate on the
    // board: none, and "bestmove 0000". Bad counts are refused with a
    // reason, and the count in force stays.
    out = runEngine("uci\nsetoption name MultiPV value 500\nposition fen k7/8/1K6/8/8/8/8/7R b - - 0 1\n"
                    "go depth 5\nposition fen R2k4/8/3K4/8/8/8/8/8 b - - 0 1\ngo depth 3\n"
                    "setoption name MultiPV value 501\nsetoption name MultiPV value 0\nsetoption name MultiPV\n"
                    "uci\nquit\n");
    size_t second = out.find("bestmove ");
    ASSERT_NE(second, std::string::npos) << out;
    const std::map<int, std::string> few = deepestLines(out.substr(0, second));
    EXPECT_EQ(few.size(), 1u) << "Ka8 has only Kb8: " << out;
    EXPECT_NE(out.find("bestmove 0000\n"), std::string::npos) << out;
    EXPECT_NE(out.find("info string MultiPV takes a whole number from 1 to 500, not '501'\n"), std::string::npos);
    EXPECT_NE(out.find("not '0'\n"), std::string::npos);
    EXPECT_NE(out.find("info string MultiPV needs a value\n"), std::string::npos);
    EXPECT_NE(out.find("option name MultiPV type spin default 500 "), std::string::npos);
}

TEST(EngineFeatures, MultiPVChangedDuringAnAnalysisStopsItAndAConsoleCountWaits) {
    EngineSession engine;
    engine.send("uci\nsetoption name MultiPV value 2\nposition startpos\ngo infinite\n");
    ASSERT_TRUE(engine.waitFor("multipv 2 ", 10000)) << engine.output();
    engine.send("setoption name MultiPV value 4\n");
    ASSERT_TRUE(engine.waitFor("bestmove ", 10000)) << engine.output();
    const size_t mark = engine.output().size();
    engine.send("go depth 4\n");
    ASSERT_TRUE(engine.waitFor("bestmove ", 10000, mark)) << engine.output();
    EXPECT_EQ(deepestLines(engine.output().substr(mark)).size(), 4u) << engine.output().substr(mark);
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);

    // The console takes the count for its next search at any time.
    const std::string out = runEngine("multipv 3\nmultipv 0\nmultipv x\nmultipv\nquit\n");
    EXPECT_NE(out.find("multipv set to 3\n"), std::string::npos) << out;
    EXPECT_EQ(std::string::npos, out.find("multipv set to 0"));
    EXPECT_NE(out.find("Usage: multipv <n>, n from 1 to 500\n"), std::string::npos) << out;
}

TEST(EngineFeatures, MoveOverheadIsAnOptionWithinItsRange) {
    const std::string out = runEngine(
        "uci\nsetoption name Move Overhead value 5001\nsetoption name move overhead value -1\n"
        "setoption name Move Overhead value 250\nuci\n"
        "position startpos\ngo wtime 1000 btime 1000 winc 10 binc 10\nquit\n");
    EXPECT_NE(out.find("option name Move Overhead type spin default 10 min 0 max 5000\n"), std::string::npos) << out;
    EXPECT_NE(out.find("info string Move Overhead takes a whole number from 0 to 5000, not '5001'\n"), std::string::npos);
    EXPECT_NE(out.find("not '-1'\n"), std::string::npos);
    EXPECT_NE(out.find("option name Move Overhead type spin default 250 "), std::string::npos) << out;
    const size_t best = out.find("bestmove ");
    ASSERT_NE(best, std::string::npos) << out;
    EXPECT_TRUE(legalLine("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {out.substr(best + 9, 4)}));
}

// Every line with a score carries its odds once asked, per mille adding up
// to a thousand; a mate on the board is lost for certain.
TEST(EngineFeatures, ShowWDLPutsTheOddsOnEveryScore) {
    std::string out = runEngine("uci\nposition startpos\ngo depth 4\nquit\n");
    EXPECT_NE(out.find("option name UCI_ShowWDL type check default false\n"), std::string::npos) << out;
    EXPECT_EQ(out.find(" wdl "), std::string::npos) << "off unless asked";
    out = runEngine("uci\nsetoption name UCI_ShowWDL value true\nsetoption name UCI_ShowWDL value maybe\n"
                    "position startpos\ngo depth 4\nposition fen R2k4/8/3K4/8/8/8/8/8 b - - 0 1\ngo depth 2\nquit\n");
    EXPECT_NE(out.find("info string UCI_ShowWDL takes true or false, not 'maybe'\n"), std::string::npos) << out;
    int withScore = 0;
    for (const std::string& l : lines(out)) {
        if (l.find(" score ") == std::string::npos) continue;
        withScore++;
        std::istringstream in(l.substr(l.find(" wdl ") + 5));
        int w = -1, d = -1, loss = -1;
        in >> w >> d >> loss;
        ASSERT_NE(l.find(" wdl "), std::string::npos) << l;
        EXPECT_EQ(w + d + loss, 1000) << l;
    }
    EXPECT_GT(withScore, 4);
    EXPECT_NE(out.find("info depth 0 score mate 0 wdl 0 0 1000\n"), std::string::npos) << out;
}

// The rating range is announced and kept to; a limited engine still
// answers with a legal move, and takes a hanging queen.
TEST(EngineFeatures, StrengthLimitOptionsAndALimitedGame) {
    const std::string fen = "3k4/ppp5/8/3q4/8/8/PPP5/3RK3 w - - 0 1";
    const std::string out = runEngine(
        "uci\nsetoption name UCI_Elo value 1199\nsetoption name UCI_Elo value 2001\nsetoption name UCI_Elo value x\n"
        "setoption name UCI_LimitStrength value yes\nsetoption name UCI_LimitStrength value true\n"
        "setoption name UCI_Elo value 1200\nuci\nposition fen " + fen +
        "\ngo wtime 10000 btime 10000 winc 100 binc 100\nposition startpos\ngo wtime 10000 btime 10000\nquit\n");
    EXPECT_NE(out.find("option name UCI_LimitStrength type check default false\n"), std::string::npos) << out;
    EXPECT_NE(out.find("option name UCI_Elo type spin default 1800 min 1200 max 2000\n"), std::string::npos);
    EXPECT_NE(out.find("info string UCI_Elo takes a whole number from 1200 to 2000, not '1199'\n"), std::string::npos);
    EXPECT_NE(out.find("not '2001'\n"), std::string::npos);
    EXPECT_NE(out.find("not 'x'\n"), std::string::npos);
    EXPECT_NE(out.find("info string UCI_LimitStrength takes true or false, not 'yes'\n"), std::string::npos);
    EXPECT_NE(out.find("option name UCI_Elo type spin default 1200 "), std::string::npos);
    EXPECT_NE(out.find("bestmove d1d5"), std::string::npos) << out;
    const size_t second = out.find("bestmove ", out.find("bestmove d1d5") + 1);
    ASSERT_NE(second, std::string::npos) << out;
    EXPECT_TRUE(legalLine("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {out.substr(second + 9, 4)}));
    EXPECT_EQ(out.find("multipv"), std::string::npos) << "the lines it chooses among stay unseen";
}

// The signature testing frameworks read, with the pinned node total, from
// the command line and from each protocol; the game in hand survives it.
TEST(EngineFeatures, BenchFromTheCommandLineAndEveryProtocol) {
    if (std::getenv("TARNO_SANITIZED")) GTEST_SKIP() << "the benchmark takes minutes under the sanitizers";
    EngineSession cli({TARNO_BINARY, "bench"}, "");
    EXPECT_EQ(cli.waitExit(60000), 0);
    EXPECT_NE(cli.output().find("Nodes searched: 5960991\nNodes/second: "), std::string::npos) << cli.output();
    EXPECT_EQ(cli.output().find("Tarno Chess"), std::string::npos) << "no session starts";

    std::string out = runEngine("uci\nposition startpos moves e2e4\nbench\ngo depth 3\nquit\n", nullptr, 60000);
    EXPECT_NE(out.find("Nodes searched: 5960991\n"), std::string::npos) << out;
    const size_t best = out.find("bestmove ");
    ASSERT_NE(best, std::string::npos) << out;
    EXPECT_TRUE(legalLine("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {"e2e4", out.substr(best + 9, 4)}))
        << out;

    out = runEngine("xboard\nnew\nforce\ne2e4\nbench\nundo\nping 7\nquit\n", nullptr, 60000);
    EXPECT_NE(out.find("Nodes searched: 5960991\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Could not unmake"), std::string::npos) << "the game's move survives the benchmark: " << out;
    EXPECT_NE(out.find("pong 7"), std::string::npos) << out;
}

}  // namespace

// The engine driven through its pipes while it searches: the epdtest run
// and its report, and commands answered in the middle of a search.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

#include "support/test_support.h"

namespace {

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

TEST(EpdtestSession, ReportsEachPositionAndTheTotals) {
    EngineSession engine;
    writeFile(engine.workDir() + "/one.epd", "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - bm Rd8#; id \"back rank\";\n");
    engine.sendLine("epdtest one.epd 1");
    ASSERT_TRUE(engine.waitFor("succeeded=", 20000)) << engine.output();
    const std::string& out = engine.output();
    const char* expectedInOrder[] = {
        "id \"back rank\";\n", "Best move: Rd8", "Ply    Time\tNodes\tScore\tPV\n", "SUCCESS!\n",
        "1 / 1 (100%)\n\n", "one.epd results\n", "succeeded=1 failed=0\n",
    };
    size_t at = 0;
    for (const char* piece : expectedInOrder) {
        size_t found = out.find(piece, at);
        ASSERT_NE(found, std::string::npos) << "missing " << piece << " in\n" << out;
        at = found;
    }
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(EpdtestSession, FailuresAndBadInput) {
    EngineSession engine;
    writeFile(engine.workDir() + "/mixed.epd",
              "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - bm Kf1; id \"not the mate\";\n"
              "this line has no best move\n");
    engine.sendLine("epdtest mixed.epd 1");
    ASSERT_TRUE(engine.waitFor("succeeded=", 20000)) << engine.output();
    const std::string& out = engine.output();
    EXPECT_NE(out.find("failed\n0 / 1 (0%)\n\n"), std::string::npos) << out;
    EXPECT_NE(out.find("invalid line\n"), std::string::npos) << out;
    EXPECT_NE(out.find("succeeded=0 failed=1\n"), std::string::npos) << out;

    engine.sendLine("epdtest missing.epd 1");
    EXPECT_TRUE(engine.waitFor("could not open missing.epd\n")) << engine.output();
    engine.sendLine("epdtest one.epd");
    EXPECT_TRUE(engine.waitFor("usage: epdtest <epdfile> <seconds_to_search>\n")) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(EpdtestSession, AnswersPingAndProgressWhileThinking) {
    EngineSession engine;
    // A quiet middlegame searched for up to a minute.
    writeFile(engine.workDir() + "/long.epd",
              "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - bm Bc4; id \"long\";\n");
    engine.sendLine("xboard");
    engine.sendLine("epdtest long.epd 60");
    ASSERT_TRUE(engine.waitFor("Best move: Bc4", 10000)) << engine.output();
    engine.sendLine("ping 7");
    EXPECT_TRUE(engine.waitFor("pong 7\n", 3000)) << engine.output();
    engine.sendLine(".");
    ASSERT_TRUE(engine.waitFor("stat01: ", 3000)) << engine.output();
    ASSERT_TRUE(engine.waitFor("\n", 3000));
    // Time, nodes, depth, root moves (45 legal here), moves at the current
    // ply, and the root move being searched.
    std::string stat = engine.output().substr(engine.output().find("stat01: "));
    stat = stat.substr(0, stat.find('\n') + 1);
    EXPECT_TRUE(std::regex_match(stat, std::regex("stat01: [0-9]+ [0-9]+ [0-9]+ 45 [0-9]+ [a-h][1-8][a-h][1-8]\n")))
        << stat;
    EXPECT_EQ(engine.output().find("long.epd results"), std::string::npos) << "the search was cut short";
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(5000), 0) << engine.output();
}

}  // namespace

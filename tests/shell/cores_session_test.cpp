// "cores" and "n_cpus" through the engine's pipes: the messages for good and
// bad counts, searching and pondering with several threads, "cores" while
// the engine thinks, and "quit" while the search threads exist.
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(CoresSession, CountsGoodAndBad) {
    int status = -1;
    const std::string out =
        runEngine("xboard\ncores 0\ncores -3\ncores abc\ncores\ncores 1 2\ncores 100000\ncores 2\ncores 2\nquit\n", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("could not interpret '0' as an integer greater than 1\nusing 1 cpus\n"), std::string::npos) << out;
    EXPECT_NE(out.find("could not interpret '-3' as an integer greater than 1\nusing 1 cpus\n"), std::string::npos);
    EXPECT_NE(out.find("could not interpret 'abc' as an integer greater than 1\nusing 1 cpus\n"), std::string::npos);
    EXPECT_EQ(count(out, "usage: cores [n] where n is the number of cpus to use while searching\n"), 2u) << out;
    EXPECT_NE(out.find("using 64 cpus\n"), std::string::npos) << "more than the engine has room for is clamped";
    EXPECT_EQ(count(out, "using 2 cpus\n"), 2u);
}

TEST(CoresSession, TwoThreadsPlayPonderAndQuit) {
    // The file's thread count; the threads start with the first search and
    // stay while the engine ponders.
    EngineSession engine("n_cpus=2\n");
    engine.send("xboard\nnew\nhard\nlevel 0 1 0\ntime 6000\notim 6000\ne2e4\n");
    ASSERT_TRUE(engine.waitFor("Hint: ", 20000)) << engine.output();
    std::this_thread::sleep_for(300ms);
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(3000), 0) << engine.output();
    const std::string& out = engine.output();
    EXPECT_NE(out.find("Tarno Chess v4.1 (2 cpus)\n"), std::string::npos);
    EXPECT_EQ(count(out, "starting thread 1\n"), 1u) << out;
    EXPECT_NE(out.find("System is SMP\n"), std::string::npos);
    EXPECT_EQ(out.find("starting thread 2"), std::string::npos);
}

TEST(CoresSession, HelpersStartOnceForAGameWithoutPondering) {
    // Pondering off: between the engine's moves the helper waits asleep; it
    // is not ended and started again before every move.
    EngineSession engine("n_cpus=2\n");
    engine.send("xboard\nnew\neasy\nsd 7\ngo\n");
    ASSERT_TRUE(engine.waitFor("\nmove ", 20000)) << engine.output();
    const size_t first = engine.output().size();
    std::this_thread::sleep_for(200ms);
    // The engine now plays the other side's move: the second search.
    engine.sendLine("go");
    ASSERT_TRUE(engine.waitFor("\nmove ", 20000, first)) << engine.output();
    engine.sendLine("force");
    engine.sendLine("go");
    ASSERT_TRUE(engine.waitFor("\nmove ", 20000, engine.output().size())) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(3000), 0) << engine.output();
    EXPECT_EQ(count(engine.output(), "starting thread 1\n"), 1u) << engine.output();
}

TEST(CoresSession, CoresWaitsForTheSearchToStop) {
    // While thinking: the search stops, the move is played, then the count
    // changes.
    {
        EngineSession engine;
        engine.send("xboard\nnew\neasy\ncores 2\nst 20\ne2e4\n");
        std::this_thread::sleep_for(700ms);
        engine.sendLine("cores 3");
        ASSERT_TRUE(engine.waitFor("using 3 cpus\n", 3000)) << engine.output();
        const std::string& out = engine.output();
        EXPECT_LT(out.find("\nmove "), out.find("using 3 cpus\n")) << out;
        // The next search starts the new threads.
        engine.sendLine("d2d4");
        ASSERT_TRUE(engine.waitFor("starting thread 2\n", 5000)) << engine.output();
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(25000), 0);
    }
    // While pondering: the ponder search ends and the count changes.
    {
        EngineSession engine;
        engine.send("xboard\nnew\nhard\ncores 2\nlevel 0 1 0\ntime 6000\notim 6000\ne2e4\n");
        ASSERT_TRUE(engine.waitFor("Hint: ", 20000)) << engine.output();
        engine.sendLine("cores 1");
        ASSERT_TRUE(engine.waitFor("using 1 cpus\n", 3000)) << engine.output();
        engine.sendLine("ping 4");
        ASSERT_TRUE(engine.waitFor("pong 4\n", 3000));
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(3000), 0);
    }
    // While analysing: the line waits for the analysis; the engine still
    // answers and leaves cleanly.
    {
        EngineSession engine;
        engine.send("xboard\nnew\nforce\ncores 2\nanalyze\n");
        ASSERT_TRUE(engine.waitFor("Analyzing... use 'exit' to stop.\n"));
        std::this_thread::sleep_for(300ms);
        engine.sendLine("cores 4");
        std::this_thread::sleep_for(300ms);
        engine.sendLine("exit");
        ASSERT_TRUE(engine.waitFor("Stopped Analysis\n", 3000)) << engine.output();
        engine.sendLine("ping 9");
        ASSERT_TRUE(engine.waitFor("pong 9\n", 3000)) << engine.output();
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(3000), 0);
    }
}

TEST(CoresSession, TestSuiteAndProgressLineWithTwoThreads) {
    EngineSession engine;
    {
        std::ofstream suite(engine.workDir() + "/two.epd");
        suite << "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - bm Rd8#; id \"back rank\";\n"
              << "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\";\n";
    }
    engine.sendLine("cores 2");
    engine.sendLine("epdtest two.epd 1");
    ASSERT_TRUE(engine.waitFor("succeeded=", 20000)) << engine.output();
    EXPECT_NE(engine.output().find("succeeded=2 failed=0\n"), std::string::npos) << engine.output();

    // "." in the middle of a search with two threads.
    engine.send("xboard\nnew\neasy\nst 5\ne2e4\n");
    std::this_thread::sleep_for(1000ms);
    engine.sendLine(".");
    EXPECT_TRUE(engine.waitFor("stat01: ", 3000)) << engine.output();
    ASSERT_TRUE(engine.waitFor("\nmove ", 10000)) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

}  // namespace

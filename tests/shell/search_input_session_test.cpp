// Lines as interfaces and people send them to a searching engine, through
// pipes: "quit" in the middle of an analysis, a depth limit of nothing,
// lines ending in CR LF, and "print" while the engine thinks or ponders.
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;

// The board as "print" shows it after playing `moves` from the start.
std::string boardAfter(const std::vector<std::string>& moves) {
    auto pos = startPosition();
    for (const std::string& text : moves) {
        MoveC m;
        parseMove(m, *pos, text.c_str());
        EXPECT_TRUE(m.valid && isLegalMove(m.move, *pos)) << text;
        playGameMove(*pos, m.move);
    }
    testing::internal::CaptureStdout();
    displayBoard(*pos);
    return testing::internal::GetCapturedStdout();
}

std::string lineAfter(const std::string& out, const std::string& marker) {
    size_t at = out.rfind(marker);
    if (at == std::string::npos) return "";
    at += marker.size();
    return out.substr(at, out.find('\n', at) - at);
}

TEST(SearchInputSession, QuitEndsAnAnalysisAndTheEngine) {
    // An interface's analysis, and a person's at the console.
    for (const char* opening : {"xboard\nnew\nforce\nanalyze\n", "analyze\n"}) {
        EngineSession engine;
        engine.send(opening);
        ASSERT_TRUE(engine.waitFor("Analyzing... use 'exit' to stop.\n"));
        std::this_thread::sleep_for(500ms);
        engine.sendLine("quit");
        // Well before the analysis could end by itself (it never does).
        EXPECT_EQ(engine.waitExit(3000), 0) << opening << engine.output();
    }
}

TEST(SearchInputSession, ADepthLimitOfNothingStillSearchesOnePly) {
    // "depth 0" still searches one ply; "depth abc" is refused and sets
    // no limit.
    {
        EngineSession engine;
        engine.send("xboard\nnew\neasy\ndepth abc\ndepth 0\ngo\n");
        ASSERT_TRUE(engine.waitFor("\nmove ", 5000)) << engine.output();
        EXPECT_NE(engine.output().find("Error (bad arguments): depth abc\n"), std::string::npos) << engine.output();
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
    // At the console, after the user's move: a reply, not a game over.
    int status = -1;
    std::string out = runEngine("new\neasy\ndepth 0\ne2e4\n", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("Computer's move: 1. ... "), std::string::npos) << out;
    EXPECT_EQ(out.find("checkmate"), std::string::npos) << out;
}

TEST(SearchInputSession, LinesEndingInCarriageReturnLineFeedAreCommandsAndMoves) {
    EngineSession engine;
    engine.send("xboard\r\nprotover 2\r\nnew\r\neasy\r\nst 1\r\ne2e4\r\n");
    ASSERT_TRUE(engine.waitFor("\nmove ", 10000)) << engine.output();
    ASSERT_TRUE(engine.waitFor("\n", 1000, engine.output().rfind("\nmove ") + 1));
    const std::string out = engine.output();
    EXPECT_NE(out.find("feature "), std::string::npos);
    EXPECT_EQ(out.find("unrecognized"), std::string::npos) << out;
    EXPECT_EQ(out.find("Illegal"), std::string::npos) << out;
    engine.send("force\r\nprint\r\nping 5\r\n");
    ASSERT_TRUE(engine.waitFor("pong 5\n")) << engine.output();
    EXPECT_NE(engine.output().find(boardAfter({"e2e4", lineAfter(out, "\nmove ")})), std::string::npos)
        << engine.output();
    engine.send("quit\r\n");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(SearchInputSession, AClockSetWhileThinkingReachesTheRunningSearch) {
    EngineSession engine;
    // Five minutes on both clocks: about six seconds for the move.
    engine.send("xboard\nnew\neasy\nlevel 0 5 0\ntime 30000\notim 30000\ne2e4\n");
    std::this_thread::sleep_for(1000ms);
    ASSERT_EQ(engine.output().find("\nmove "), std::string::npos) << engine.output();
    // The interface says the engine's clock is all but gone: it moves now.
    engine.sendLine("time 10");
    EXPECT_TRUE(engine.waitFor("\nmove ", 1500)) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(SearchInputSession, PrintWhileThinkingShowsTheGamePosition) {
    EngineSession engine;
    // Five seconds a move: the engine is deep in its search when "print"
    // comes, with the game record at one of its nodes.
    engine.send("xboard\nnew\neasy\nst 5\ne2e4\n");
    std::this_thread::sleep_for(1500ms);
    engine.sendLine("print");
    const std::string expected = boardAfter({"e2e4"});
    ASSERT_TRUE(engine.waitFor(expected, 3000)) << engine.output();
    // The search goes on undisturbed and moves.
    ASSERT_TRUE(engine.waitFor("\nmove ", 10000)) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(SearchInputSession, PrintWhilePonderingShowsTheGamePosition) {
    EngineSession engine;
    engine.send("xboard\nnew\nhard\nlevel 0 1 0\ntime 6000\notim 6000\ne2e4\n");
    ASSERT_TRUE(engine.waitFor("Hint: ", 20000)) << engine.output();
    const std::string reply = lineAfter(engine.output(), "\nmove ");
    std::this_thread::sleep_for(500ms);
    engine.sendLine("print");
    const std::string expected = boardAfter({"e2e4", reply});
    EXPECT_TRUE(engine.waitFor(expected, 3000)) << reply << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

}  // namespace

// Whole games and protocol sessions through pipes: the engine's moves, its
// replies while it thinks and ponders, analysis, draws, resignation and mate.
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

// The text after the last "move " up to the end of its line.
std::string lastEngineMove(const std::string& out) {
    size_t at = out.rfind("\nmove ");
    if (at == std::string::npos) return "";
    size_t end = out.find('\n', at + 1);
    return out.substr(at + 6, end - at - 6);
}

// Plays `moves` (coordinate or SAN) from the position and tells whether
// `reply` is then a legal move.
bool legalReply(const std::string& fen, const std::vector<std::string>& moves, const std::string& reply) {
    std::vector<std::string> line = moves;
    line.push_back(reply);
    return legalLine(fen.empty() ? "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" : fen, line);
}

class GameSession : public ::testing::Test {
protected:
    EngineSession engine;
    void start() {
        engine.sendLine("xboard");
        engine.sendLine("protover 2");
        ASSERT_TRUE(engine.waitFor("done=1\n"));
    }
    // 1. e4 against the engine with pondering on: its reply and the reply it
    // then expects (and ponders on).
    void startPonderedGame(std::string& engineMove, std::string& hint) {
        start();
        engine.send("new\nhard\nlevel 0 1 0\ntime 6000\notim 6000\ne2e4\n");
        ASSERT_TRUE(engine.waitFor("Hint: ", 20000)) << engine.output();
        ASSERT_TRUE(engine.waitFor("\n", 1000, engine.output().find("Hint: ")));
        const std::string& out = engine.output();
        size_t hintAt = out.rfind("Hint: ");
        hint = out.substr(hintAt + 6, out.find('\n', hintAt) - hintAt - 6);
        engineMove = lastEngineMove(out);
    }
};

TEST_F(GameSession, AnswersTheOpponentsMoveWithALegalMove) {
    start();
    engine.send("new\neasy\nlevel 40 1 0\ntime 6000\notim 6000\ne2e4\n");
    ASSERT_TRUE(engine.waitFor("\nmove ", 20000)) << engine.output();
    ASSERT_TRUE(engine.waitFor("\n", 1000, engine.output().rfind("\nmove ") + 1));
    std::string reply = lastEngineMove(engine.output());
    EXPECT_TRUE(legalReply("", {"e2e4"}, reply)) << reply;
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

// A "ping" while the engine is on move promises that everything before it
// is done: its "pong" comes after the move.
TEST_F(GameSession, PingWhileOnMoveIsAnsweredAfterTheMove) {
    start();
    // Two seconds a move: the engine is still thinking when the ping comes.
    engine.send("new\neasy\nst 2\ne2e4\n");
    std::this_thread::sleep_for(500ms);
    engine.sendLine("ping 42");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(engine.output().find("pong 42"), std::string::npos) << "answered before the move";
    ASSERT_TRUE(engine.waitFor("pong 42\n", 10000)) << engine.output();
    const size_t move = engine.output().find("\nmove ");
    ASSERT_NE(move, std::string::npos) << engine.output();
    EXPECT_LT(move, engine.output().find("pong 42\n"));
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, PingIsAnsweredWhilePondering) {
    start();
    engine.send("new\nhard\nlevel 0 1 0\ntime 6000\notim 6000\ne2e4\n");
    ASSERT_TRUE(engine.waitFor("Hint: ", 20000)) << engine.output();
    std::this_thread::sleep_for(300ms);
    engine.sendLine("ping 7");
    EXPECT_TRUE(engine.waitFor("pong 7\n", 3000)) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, PredictedReplyReusesThePonderResult) {
    std::string engineMove, hint;
    ASSERT_NO_FATAL_FAILURE(startPonderedGame(engineMove, hint));
    // Longer than the two seconds the move is planned for: the ponder result
    // is played as it is, at once, where a new search would take most of a second
    // or more.
    std::this_thread::sleep_for(3000ms);
    size_t before = engine.output().size();
    auto sent = std::chrono::steady_clock::now();
    engine.sendLine("time 5800\notim 5700\n" + hint);
    ASSERT_TRUE(engine.waitFor("\nmove ", 1500, before)) << engine.output().substr(before);
    auto waited = std::chrono::steady_clock::now() - sent;
    EXPECT_LT(waited, 500ms);
    ASSERT_TRUE(engine.waitFor("\n", 1000, engine.output().rfind("\nmove ") + 1));
    EXPECT_TRUE(legalReply("", {"e2e4", engineMove, hint}, lastEngineMove(engine.output())));
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, AnotherReplyThanPredictedIsSearchedAfresh) {
    std::string engineMove, hint;
    ASSERT_NO_FATAL_FAILURE(startPonderedGame(engineMove, hint));
    // Pick a legal reply other than the predicted one.
    auto pos = startPosition();
    for (const std::string& text : {std::string("e2e4"), engineMove}) {
        MoveC m;
        parseMove(m, *pos, text.c_str());
        playGameMove(*pos, m.move);
    }
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(*pos, moves);
    std::string other;
    for (Move* m = moves; m < end && other.empty(); m++) {
        if (!isLegalMove(*m, *pos)) continue;
        MoveC c(*m);
        std::string text = moveToSan(c, *pos);
        if (text != hint) other = text;
    }
    ASSERT_FALSE(other.empty());
    size_t before = engine.output().size();
    engine.sendLine(other);
    ASSERT_TRUE(engine.waitFor("\nmove ", 20000, before));
    ASSERT_TRUE(engine.waitFor("\n", 1000, engine.output().rfind("\nmove ") + 1));
    EXPECT_TRUE(legalReply("", {"e2e4", engineMove, other}, lastEngineMove(engine.output())));
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, ForceUndoAndSetboard) {
    start();
    engine.send("new\nforce\ne2e4\ne7e5\nundo\nundo\nundo\n");
    engine.send("setboard 4k3/8/8/8/8/8/8/4K2R w K - 0 1\nprint\nping 1\n");
    ASSERT_TRUE(engine.waitFor("pong 1\n"));
    const std::string& out = engine.output();
    EXPECT_NE(out.find("At the beginning of the move list.\nBoard set.\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" - - - - K - - R\n"), std::string::npos);
    EXPECT_EQ(out.find("\nmove "), std::string::npos);
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, AnalysisRestartsOnADeferredSetboardAndStopsOnExit) {
    start();
    engine.send("new\nforce\nanalyze\n");
    ASSERT_TRUE(engine.waitFor("Analyzing... use 'exit' to stop.\n"));
    std::this_thread::sleep_for(500ms);
    // A move during analysis waits; a new position replaces the analysis.
    engine.sendLine("setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    ASSERT_TRUE(engine.waitFor("Board set.\n", 5000)) << engine.output();
    // The new analysis finds the mate on the back rank.
    ASSERT_TRUE(engine.waitFor(" Ra8", 10000)) << engine.output();
    engine.sendLine("exit");
    ASSERT_TRUE(engine.waitFor("Stopped Analysis\n", 5000)) << engine.output();
    engine.sendLine("ping 3");
    EXPECT_TRUE(engine.waitFor("pong 3\n", 5000));
    EXPECT_EQ(engine.output().find("\nmove "), std::string::npos);
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, UndoAfterAResultHasNothingToTakeBack) {
    start();
    engine.send("new\nforce\ne2e4\ne7e5\nresult 1-0\nundo\nping 2\n");
    ASSERT_TRUE(engine.waitFor("pong 2\n"));
    EXPECT_NE(engine.output().find("At the beginning of the move list.\npong 2\n"), std::string::npos)
        << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, ThreefoldRepetitionIsReportedWithoutSearching) {
    start();
    engine.send("new\nforce\nNf3\nNf6\nNg1\nNg8\nNf3\nNf6\nNg1\nNg8\ngo\n");
    EXPECT_TRUE(engine.waitFor("1/2-1/2 {game drawn by repetition}\n", 10000)) << engine.output();
    EXPECT_EQ(engine.output().find("\nmove "), std::string::npos);
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, ResignsAHopelessPosition) {
    start();
    engine.send("setboard 4k3/8/8/8/8/8/8/QQ2K3 b - - 0 1\nst 1\ngo\n");
    EXPECT_TRUE(engine.waitFor("\nresign\n", 15000)) << engine.output();
    EXPECT_EQ(engine.output().find("\nmove "), std::string::npos);
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST_F(GameSession, MateDeliveredIsAnnounced) {
    start();
    engine.send("setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1\nst 1\ngo\n");
    EXPECT_TRUE(engine.waitFor("move Ra8\nWhite mates\n", 15000)) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(ConsoleGame, ComputersMoveLines) {
    // White's second move is numbered 2; Black's first move is "1. ...".
    std::string out = runEngine("new\neasy\nst 1\ne2e4\n", nullptr, 30000);
    EXPECT_NE(out.find("Computer's move: 1. ... "), std::string::npos) << out;
    out = runEngine("new\neasy\nst 1\nforce\ne2e4\ne7e5\ngo\n", nullptr, 30000);
    EXPECT_NE(out.find("Computer's move: 2. "), std::string::npos) << out;
}

TEST(ConsoleGame, MateIsAnnouncedAfterTheMove) {
    std::string out = runEngine("setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1\nst 1\ngo\n", nullptr, 30000);
    EXPECT_NE(out.find("Computer's move: 1. Ra8#\nCheckmate\n"), std::string::npos) << out;
}

}  // namespace

namespace {

TEST(BadInput, GarbageIsAnsweredAndTheGameGoesOn) {
    EngineSession engine;
    engine.send("xboard\nprotover 2\nnew\neasy\nfrobnicate now\ne2e5\nNxz3\nresult maybe\n");
    engine.send("level 40 1 0\ntime 6000\notim 6000\ne2e4\n");
    ASSERT_TRUE(engine.waitFor("\nmove ", 20000)) << engine.output();
    const std::string& out = engine.output();
    EXPECT_NE(out.find("Error (unknown command): frobnicate now\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Illegal move: e2e5\nMove not generated by engine.\n"), std::string::npos);
    EXPECT_NE(out.find("Illegal move: Nxz3\nMove not generated by engine.\n"), std::string::npos);
    EXPECT_NE(out.find("Could not determine result from maybe\n"), std::string::npos);
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(BadInput, ClocksThatAreNoNumbersAreRefusedAndTheGameGoesOn) {
    // Nothing is read into a clock that the sender did not write: each bad
    // value is refused in the protocol's words, and the game goes on.
    EngineSession engine;
    engine.send("xboard\nnew\neasy\nlevel forty one none\ntime abc\notim -\nst -1\nsd 0\nnps x\nst 0.3\ne2e4\n");
    EXPECT_TRUE(engine.waitFor("\nmove ", 10000)) << engine.output();
    for (const char* refused : {"level forty one none", "time abc", "otim -", "st -1", "sd 0", "nps x"})
        EXPECT_NE(engine.output().find(std::string("Error (bad arguments): ") + refused + "\n"), std::string::npos)
            << refused << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(BadInput, DrawOfferInADeadDrawIsAccepted) {
    EngineSession engine;
    engine.send("xboard\nsetboard 4k3/8/8/8/8/8/8/4K3 w - - 0 1\nrating 2000 2000\ndraw\nping 1\n");
    ASSERT_TRUE(engine.waitFor("pong 1\n"));
    EXPECT_NE(engine.output().find("Board set.\noffer draw\npong 1\n"), std::string::npos) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

}  // namespace

// "black" hands the move to Black although White moved last: the turn is
// passed, and the game keeps its moves. "undo" takes back the pass, then
// Black's reply and White's move, back to the start position.
TEST(GameSessionSides, HandingOverTheMoveKeepsTheGameToTakeBack) {
    const std::string out = runEngine("new\neasy\ndepth 2\ne2e4\nblack\nforce\nundo\nundo\nundo\nprint\nundo\nquit\n");
    const size_t board = out.rfind("\n r n b q k b n r\n");
    ASSERT_NE(board, std::string::npos) << out;
    EXPECT_NE(out.find("\n p p p p p p p p\n - - - - - - - -\n - - - - - - - -\n - - - - - - - -\n - - - - - - - -\n"
                       " P P P P P P P P\n R N B Q K B N R\n", board), std::string::npos) << out.substr(board);
    // Only the fourth "undo" finds nothing left.
    const size_t atStart = out.find("At the beginning of the move list.");
    ASSERT_NE(atStart, std::string::npos) << out;
    EXPECT_GT(atStart, board);
}

// A pass breaks no rule: after "white"/"black" the moves played since can
// still repeat the position three times, and the engine sees it.
TEST(GameSessionSides, RepetitionsAfterAPassAreStillSeen) {
    const std::string out = runEngine(
        "xboard\nnew\nforce\ne2e4\nwhite\nforce\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\ng8f6\nf3g1\nf6g8\ngo\nquit\n");
    EXPECT_NE(out.find("1/2-1/2 {game drawn by repetition}"), std::string::npos) << out;
}

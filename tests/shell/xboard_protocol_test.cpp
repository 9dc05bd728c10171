// The xboard protocol as interfaces use it: analysis that follows the
// moves an interface sends, the clock commands in their full forms, draw
// offers between programs, and the commands of the protocol document
// (sd, nps, ?, hint, bk, memory, exclude, include, setscore, option).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;

const char* const kAfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
// A back-rank mate in one.
const char* const kRookMate = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";

// The first move of the first thinking line at or after `from`.
std::string firstLineMove(const std::string& out, size_t from) {
    static const std::regex line("(^|\n)[0-9]+ -?[0-9]+ [0-9]+ [0-9]+ ([^ \n!?]+)");
    std::smatch m;
    const std::string rest = out.substr(from);
    if (!std::regex_search(rest, m, line)) return "";
    return m[2];
}

// Where the next line's text will start: the last line end read so far
// (the start when nothing has been read yet).
size_t lastLineEnd(const EngineSession& engine) {
    const std::string& out = engine.output();
    return out.empty() ? 0 : out.size() - 1;
}

double secondsUntil(EngineSession& engine, const std::string& needle, size_t from) {
    const auto start = std::chrono::steady_clock::now();
    if (!engine.waitFor(needle, 20000, from)) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// xboard's analysis modes send the moves as the user (or a loaded game)
// plays them, and "undo", "new" and "setboard" as the user goes back or
// starts afresh: each changes what is analysed, and the analysis goes on.
TEST(XboardProtocol, AnalysisFollowsMovesUndoNewAndSetboard) {
    EngineSession engine;
    engine.send("xboard\nprotover 2\npost\nnew\nanalyze\n");
    ASSERT_TRUE(engine.waitFor("Analyzing... use 'exit' to stop.\n"));
    ASSERT_TRUE(engine.waitFor("\n1 "));
    std::this_thread::sleep_for(300ms);

    // Each step ends with a ping: the lines after its pong are the new
    // position's.
    int pings = 0;
    auto send = [&](const std::string& lines) {
        const std::string pong = "pong " + std::to_string(++pings) + "\n";
        engine.send(lines + "ping " + std::to_string(pings) + "\n");
        EXPECT_TRUE(engine.waitFor(pong)) << engine.output();
        return engine.output().find(pong) + pong.size() - 1;
    };
    auto firstMoveOfDepth = [&](size_t from, const char* depth) {
        if (!engine.waitFor(depth, 10000, from)) return std::string("(no line)");
        return firstLineMove(engine.output(), engine.output().find(depth, from));
    };

    size_t mark = send("e2e4\n");
    std::string move = firstMoveOfDepth(mark, "\n1 ");
    EXPECT_TRUE(legalLine(kAfterE4, {move})) << "'" << move << "' is no Black move after 1.e4";

    mark = send("setboard " + std::string(kRookMate) + "\n");
    EXPECT_TRUE(engine.waitFor(" 100001 ", 10000, mark)) << engine.output().substr(mark);

    mark = send("new\n");
    move = firstMoveOfDepth(mark, "\n1 ");
    EXPECT_TRUE(legalLine("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {move})) << move;

    // Two moves and a take-back in a row: the analysis is of 1.d4.
    mark = send("d2d4\ne7e5\nundo\n");
    move = firstMoveOfDepth(mark, "\n4 ");
    EXPECT_TRUE(legalLine("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1", {move})) << move;

    engine.sendLine("exit");
    ASSERT_TRUE(engine.waitFor("Stopped Analysis\n"));
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

// A position the tables decide as lost for the side to move: the analysis
// shows its lines like any other, in xboard and at the console.
TEST(XboardProtocol, AnalysisOfALostTablePositionShowsItsLines) {
    const std::string tables = testDataPath("syzygy");
    for (const char* mode : {"xboard\npost\n", ""}) {
        EngineSession engine;
        engine.send(std::string(mode) + "egtpath syzygy " + tables +
                    "\nsetboard 8/8/8/8/8/2k5/1p6/1K1Q4 b - - 0 1\nanalyze\n");
        // Black's king steps to c4 or d3 in every line.
        EXPECT_TRUE(engine.waitFor("-9798", 10000) || engine.waitFor("-97.98", 100)) << mode << engine.output();
        engine.sendLine("exit");
        EXPECT_TRUE(engine.waitFor("Stopped Analysis\n")) << engine.output();
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
}

// "level" ends a fixed time per move; "st" takes decimals; "epdtest"
// leaves the game's clocks as they were.
TEST(XboardProtocol, LevelEndsAFixedTimeAndEpdtestLeavesTheClocksAlone) {
    {
        // A tenth of a second per move, then a minute for the game: the
        // move takes the level's two seconds, not the tenth.
        EngineSession engine;
        engine.send("xboard\nnew\neasy\nst 0.1\nnew\nlevel 0 1 0\ntime 6000\notim 6000\n");
        const size_t mark = lastLineEnd(engine);
        engine.sendLine("e2e4");
        const double took = secondsUntil(engine, "\nmove ", mark);
        EXPECT_GT(took, 1.0) << engine.output();
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
    {
        EngineSession engine;
        std::ofstream(engine.workDir() + "/one.epd") << "8/8/8/8/8/2k5/1R6/K7 w - - bm Kb1; id \"krk\";\n";
        engine.send("xboard\nnew\neasy\nepdtest one.epd 0.1\n");
        ASSERT_TRUE(engine.waitFor("one.epd results\n")) << engine.output();
        engine.send("new\ntime 6000\notim 6000\n");
        const size_t mark = lastLineEnd(engine);
        engine.sendLine("e2e4");
        const double took = secondsUntil(engine, "\nmove ", mark);
        EXPECT_GT(took, 1.0) << "the suite's tenth of a second stayed in force";
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
}

// Between programs outside a chess server an offer is accepted with "offer
// draw" and declined with silence; the search thinks on undisturbed. On a
// server the written "tellics" replies stay.
// On a busy machine or behind a slow interface each move costs more than
// the search's own time, and the clock xboard sends shows it. With 700 ms
// going missing every move, the engine keeps that much back from its plan
// within a few moves instead of planning as if the clock were its own.
// (After "setboard" no move is easy, so an honest clock's plan is used up.)
TEST(XboardProtocol, LagTheClockReportsShowShortensTheMoves) {
    EngineSession engine;
    engine.send("xboard\nprotover 2\nlevel 0 0:30 0\n");
    long clockMs = 30000;
    std::string thinks;
    auto think = [&](long reportedMs) {
        const size_t mark = lastLineEnd(engine);
        engine.send("force\nsetboard " + std::string(kAfterE4) + "\ntime " + std::to_string(reportedMs / 10) +
                    "\notim 3000\ngo\n");
        const long took = long(secondsUntil(engine, "\nmove ", mark) * 1000);
        thinks += ' ';
        thinks += std::to_string(took);
        return took;
    };
    // A 30-second clock plans about 600 ms; about 540 ms at 27 seconds.
    const long first = think(clockMs);
    EXPECT_GE(first, 300) << thinks;
    clockMs -= first;
    long last = -1;
    for (int move = 0; move < 4; move++) {
        clockMs -= 700;
        last = think(clockMs);
        ASSERT_GE(last, 0) << engine.output();
        clockMs -= last;
    }
    EXPECT_LT(last, 300) << thinks;
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(XboardProtocol, DrawOffersBetweenProgramsAreAnsweredAsThePeerReadsThem) {
    {
        EngineSession engine;
        engine.send("xboard\nnew\neasy\ncomputer\nst 1\ne2e4\n");
        std::this_thread::sleep_for(300ms);
        const size_t mark = lastLineEnd(engine);
        engine.sendLine("draw");
        ASSERT_TRUE(engine.waitFor("offer draw\n", 5000, mark)) << engine.output();
        const double took = secondsUntil(engine, "\nmove ", mark);
        EXPECT_GT(took, 0.4) << "the offer cut the search short";
        EXPECT_EQ(engine.output().find("tellics"), std::string::npos) << engine.output();
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
    {
        // Far stronger than the opponent and a queen up: declined, silently.
        const std::string out = runEngine(
            "xboard\nrating 2400 1500\nsetboard 4k3/8/8/8/8/8/8/3QK3 w - - 0 1\ndraw\nping 1\nquit\n");
        EXPECT_NE(out.find("Board set.\npong 1\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("tellics"), std::string::npos) << out;
    }
    {
        const std::string out =
            runEngine("xboard\nics freechess.org\ncomputer\nrating 2000 2000\nsetboard 4k3/8/8/8/8/8/8/4K3 w - - 0 1\n"
                      "draw\nping 1\nquit\n");
        EXPECT_NE(out.find("tellics draw\n"), std::string::npos) << out;
    }
}

// "." during an analysis: time, nodes, depth, the root moves left, all of
// them, the move searched.
TEST(XboardProtocol, Stat01CountsTheRootMovesLeftAndAll) {
    EngineSession engine;
    engine.send("xboard\nnew\nanalyze\n");
    ASSERT_TRUE(engine.waitFor("\n6 "));
    engine.sendLine(".");
    ASSERT_TRUE(engine.waitFor("stat01: ")) << engine.output();
    std::smatch m;
    const std::string out = engine.output();
    ASSERT_TRUE(std::regex_search(out, m, std::regex("stat01: [0-9]+ [0-9]+ ([0-9]+) ([0-9]+) ([0-9]+) [a-h][1-8][a-h][1-8]")))
        << out;
    EXPECT_GE(std::stoi(m[1]), 6);
    EXPECT_LE(std::stoi(m[2]), 20);
    EXPECT_EQ(std::stoi(m[3]), 20);
    engine.send("exit\nquit\n");
    EXPECT_EQ(engine.waitExit(), 0);
}

// "post" shows every iteration of a short search, "nopost" none; "sd"
// limits the depth.
TEST(XboardProtocol, PostShowsEveryIterationAndSdLimitsTheDepth) {
    std::string out = runEngine("xboard\nnew\neasy\npost\nsd 3\ngo\nquit\n");
    for (const char* depth : {"\n1 ", "\n2 ", "\n3 "}) EXPECT_NE(out.find(depth), std::string::npos) << out;
    EXPECT_EQ(out.find("\n4 "), std::string::npos) << out;
    EXPECT_NE(out.find("\nmove "), std::string::npos) << out;
    out = runEngine("xboard\nnew\neasy\nnopost\nsd 3\ngo\nquit\n");
    EXPECT_EQ(out.find("\n1 "), std::string::npos) << out;
    EXPECT_NE(out.find("\nmove "), std::string::npos) << out;
}

// "nps": the move's time is counted in nodes (python-chess sends it with
// "st" for a node limit); "?" makes the engine move at once.
TEST(XboardProtocol, NodeRateAndMoveNow) {
    std::string out = runEngine("xboard\nnew\neasy\npost\nnps 5000\nst 1\ngo\nquit\n");
    std::smatch m;
    std::string::const_iterator from = out.cbegin();
    long most = 0;
    static const std::regex nodes("\n[0-9]+ -?[0-9]+ [0-9]+ ([0-9]+) ");
    while (std::regex_search(from, out.cend(), m, nodes)) {
        most = std::max(most, std::stol(m[1]));
        from = m[0].second;
    }
    EXPECT_GT(most, 0) << out;
    // A node budget is looked at every few thousand nodes at most.
    EXPECT_LT(most, 5000 + 40000) << out;
    EXPECT_NE(out.find("\nmove "), std::string::npos) << out;

    EngineSession engine;
    engine.send("xboard\nnew\neasy\nst 60\ne2e4\n");
    std::this_thread::sleep_for(500ms);
    const size_t mark = lastLineEnd(engine);
    engine.sendLine("?");
    const double took = secondsUntil(engine, "\nmove ", mark);
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 5) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

// "exclude" keeps a root move out of the analysis and of play, "include"
// brings it back; exclusions end with the position.
TEST(XboardProtocol, ExcludedMovesAreNeitherAnalysedNorPlayed) {
    // Qxd8 wins the queen back at once; excluded, the engine plays another.
    const char* const fen = "3qk3/8/8/8/8/8/8/3QK3 w - - 0 1";
    std::string out = runEngine(std::string("xboard\nnew\nforce\nsetboard ") + fen + "\nsd 4\nexclude d1d8\ngo\nquit\n");
    size_t move = out.find("\nmove ");
    ASSERT_NE(move, std::string::npos) << out;
    EXPECT_NE(out.substr(move, 10), "\nmove Qxd8") << out;
    out = runEngine(std::string("xboard\nnew\nforce\nsetboard ") + fen +
                    "\nsd 4\nexclude all\ninclude d1d8\nexclude e9e4\ngo\nquit\n");
    EXPECT_NE(out.find("Illegal move: e9e4\n"), std::string::npos) << out;
    move = out.find("\nmove ");
    ASSERT_NE(move, std::string::npos) << out;
    EXPECT_EQ(out.substr(move, 11), "\nmove Qxd8\n") << out;

    // In analysis: every line starts with the one move left.
    EngineSession engine;
    engine.send("xboard\nnew\nanalyze\nexclude all\ninclude g1f3\nping 3\n");
    ASSERT_TRUE(engine.waitFor("pong 3\n")) << engine.output();
    const size_t mark = engine.output().find("pong 3\n") + 6;
    ASSERT_TRUE(engine.waitFor("\n5 ", 10000, mark)) << engine.output();
    EXPECT_EQ(firstLineMove(engine.output(), engine.output().find("\n5 ", mark)), "Nf3") << engine.output();
    engine.send("exit\nquit\n");
    EXPECT_EQ(engine.waitExit(), 0);
}

// The settings through "option NAME=VALUE", each announced by a feature
// line; "memory" sizes both tables; bad values are refused in the
// protocol's words.
TEST(XboardProtocol, OptionsAndMemory) {
    const std::string out = runEngine(
        "xboard\nprotover 2\noption Hash=8\nht\nmemory 20\nht\noption Hash=abc\noption Nonsense=1\n"
        "option Resign Score=-700\noption Ponder=0\noption Clear Hash\nmemory -3\nsetscore 50\nsetscore 50 6\n"
        "hint\nbk\nrejected colors\nping 9\nquit\n");
    EXPECT_NE(out.find("feature option=\"Resign Score -spin -1000 -9000 0\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("feature done=1\n"), std::string::npos);
    EXPECT_NE(out.find("hash table 8 MB\n"), std::string::npos) << out;
    EXPECT_NE(out.find("8388608 Bytes"), std::string::npos) << out;
    // 20 MB in all: the tables come in powers of two, 12 MB and 6 MB.
    EXPECT_NE(out.find("Total: 18874368 Bytes"), std::string::npos) << out;
    EXPECT_NE(out.find("Error (bad value): option Hash=abc\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Error (unknown option): Nonsense\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Error (bad arguments): memory -3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Error (bad arguments): setscore 50\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Error (bad arguments): setscore 50 6\n"), std::string::npos) << out;
    // No book here: an empty list, ended by an empty line.
    EXPECT_NE(out.find(" no book moves\n\npong 9\n"), std::string::npos) << out;
}

// Every new command with missing, negative, huge, fractional and
// non-numeric values, while the engine analyses, ponders and thinks: each
// is answered, and the engine goes on and plays a legal move.
TEST(XboardProtocol, BadValuesDuringAnalysisPonderingAndSearchAreAnsweredAndChangeNothing) {
    const std::string bad =
        "sd\nsd -1\nsd 99999999999\nsd 2.5\nnps\nnps -5\nnps 1e9\nmemory\nmemory 0\nmemory 99999999999\n"
        "st\nst abc\nst 1e3\nlevel 0\nlevel 0 -1 0\nlevel 0 1:99 0\nlevel 0 1 -0.5\ntime\notim 1.5\n"
        "exclude\nexclude a1a1\nexclude Qh5\ninclude zz\nsetscore x 1\nsetscore 1 -1\nsetscore 99999 1\n"
        "option\noption =\noption Hash=\noption Hash=0\noption Hash=999999999\noption Threads=-1\n"
        "option Ponder=maybe\noption Nope\n?\nhint\nbk\n";
    EngineSession engine;
    engine.send("xboard\nprotover 2\nnew\nanalyze\n" + bad + "ping 1\n");
    ASSERT_TRUE(engine.waitFor("pong 1\n", 20000)) << engine.output();
    engine.send("exit\nnew\nhard\nst 0.5\ne2e4\n");
    ASSERT_TRUE(engine.waitFor("\nmove ", 20000)) << engine.output();
    // Pondering now: the same again, then the opponent's move.
    engine.send(bad + "ping 2\n");
    ASSERT_TRUE(engine.waitFor("pong 2\n", 20000)) << engine.output();
    const std::string reply = engine.output().substr(engine.output().find("\nmove ") + 6, 8);
    const size_t mark = lastLineEnd(engine);
    engine.send("d2d4\n" + bad);
    ASSERT_TRUE(engine.waitFor("\nmove ", 20000, mark)) << engine.output();
    std::string first = reply.substr(0, reply.find('\n'));
    const size_t at = engine.output().find("\nmove ", mark) + 6;
    const std::string second = engine.output().substr(at, engine.output().find('\n', at) - at);
    EXPECT_TRUE(legalLine("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {"e2e4", first, "d2d4", second}))
        << first << " " << second;
    EXPECT_EQ(engine.output().find("Illegal move: d2d4"), std::string::npos) << engine.output();
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

// The analysts' settings reach xboard through the same options: several
// lines, the move overhead, the strength limit, each checked against its
// range.
TEST(XboardProtocol, SeveralLinesAndTheOtherSettingsAreOptionsToo) {
    const std::string out = runEngine(
        "xboard\nprotover 2\noption MultiPV=3\noption Move Overhead=5001\noption UCI_Elo=1199\n"
        "option UCI_LimitStrength=1\noption UCI_LimitStrength=0\nnew\neasy\npost\nsd 3\ngo\nquit\n");
    EXPECT_NE(out.find("feature option=\"MultiPV -spin 1 1 500\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Error (bad value): option Move Overhead=5001\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Error (bad value): option UCI_Elo=1199\n"), std::string::npos) << out;
    // Three depth-3 lines, each with a first move of its own.
    std::set<std::string> firsts;
    for (size_t at = out.find("\n3 "); at != std::string::npos; at = out.find("\n3 ", at + 1))
        firsts.insert(firstLineMove(out, at));
    EXPECT_EQ(firsts.size(), 3u) << out;
    EXPECT_NE(out.find("\nmove "), std::string::npos) << out;
}

// "remove" takes back the engine's move and the user's.
TEST(XboardProtocol, RemoveTakesBackTwoMoves) {
    const std::string out = runEngine("xboard\nnew\neasy\nsd 2\ne2e4\nremove\nforce\nprint\nquit\n");
    const size_t board = out.rfind("\n r n b q k b n r\n");
    ASSERT_NE(board, std::string::npos) << out;
    EXPECT_NE(out.find(" P P P P P P P P\n R N B Q K B N R\n", board), std::string::npos) << out.substr(board);
}

}  // namespace

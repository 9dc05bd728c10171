// UCI sessions through pipes, as a UCI interface drives the engine: the
// handshake, positions, every kind of "go", stopping and pondering, the
// options, and the bad input such an interface (or a person) may send.
// Every move the engine names is checked on our own board.
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The lines of the output from `from` on.
std::vector<std::string> linesFrom(const std::string& out, size_t from = 0) {
    std::vector<std::string> lines;
    std::istringstream in(out.substr(from));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

size_t count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) n++;
    return n;
}

// The value after `key` in an info line ("" when absent).
std::string field(const std::string& line, const std::string& key) {
    std::vector<std::string> w = wordsOf(line);
    for (size_t i = 0; i + 1 < w.size(); i++)
        if (w[i] == key) return w[i + 1];
    return "";
}

class UciSession : public ::testing::Test {
protected:
    EngineSession engine;
    size_t mark = 0;  // where the current exchange's output starts

    void start() {
        engine.sendLine("uci");
        ASSERT_TRUE(engine.waitFor("uciok\n")) << engine.output();
    }
    // Sends the lines and remembers where their answers begin.
    void ask(const std::string& lines) {
        mark = engine.output().size();
        engine.send(lines);
    }
    // Waits for the next "bestmove" line after the mark: its words
    // ("bestmove", the move, and "ponder" and the reply if there is one).
    std::vector<std::string> bestmove(int timeoutMs = 20000) {
        if (!engine.waitFor("bestmove ", timeoutMs, mark)) return {};
        size_t at = engine.output().find("bestmove ", mark);
        if (!engine.waitFor("\n", 2000, at)) return {};
        std::string line = engine.output().substr(at, engine.output().find('\n', at) - at);
        mark = at + line.size();
        return wordsOf(line);
    }
    std::string since(size_t from) const { return engine.output().substr(from); }
    void quit() {
        engine.sendLine("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
};

// A bestmove line's move and ponder move are legal one after the other.
void expectLegalAnswer(const std::vector<std::string>& answer, const std::string& fen,
                       std::vector<std::string> before = {}) {
    ASSERT_GE(answer.size(), 2u);
    EXPECT_EQ(answer[0], "bestmove");
    before.push_back(answer[1]);
    if (answer.size() >= 4) {
        EXPECT_EQ(answer[2], "ponder");
        before.push_back(answer[3]);
    }
    EXPECT_TRUE(legalLine(fen, before)) << answer[1];
}

TEST_F(UciSession, HandshakeNamesTheEngineAndItsOptions) {
    start();
    const std::string out = engine.output();
    // The console's banner and prompt come first; the identity starts on a
    // line of its own, so an interface reads every line of it.
    size_t id = out.find("\nid name Tarno 4.1\n");
    ASSERT_NE(id, std::string::npos) << out;
    EXPECT_LT(out.find("Tarno Chess v4.1"), id);
    for (const char* line : {"\nid author ", "\noption name Hash type spin default 16 min 1 max ",
                             "\noption name Threads type spin default 1 min 1 max ",
                             "\noption name Ponder type check default true\n",
                             "\noption name OwnBook type check default true\n",
                             "\noption name NalimovPath type string default <empty>\n",
                             "\noption name Clear Hash type button\n", "\nuciok\n"})
        EXPECT_NE(out.find(line, id), std::string::npos) << line << out;
    // Nothing but the identity after "uci"; a second "uci" repeats it.
    EXPECT_EQ(out.find("W> ", id), std::string::npos);
    ask("isready\nuci\n");
    ASSERT_TRUE(engine.waitFor("uciok\n", 5000, mark));
    EXPECT_EQ(since(mark).substr(0, 8), "readyok\n");
    quit();
}

TEST_F(UciSession, ConsoleLinesBeforeUciStillRunAndUciThenTakesOver) {
    // A person may look around at the console first; an interface that then
    // says "uci" gets a UCI engine.
    engine.send("xboard\n");
    engine.send("uci\n");  // in xboard mode it is nobody's command
    ASSERT_TRUE(engine.waitFor("Illegal move: uci\n")) << engine.output();
    EngineSession console;
    console.send("hash 8 4\nuci\nisready\n");
    ASSERT_TRUE(console.waitFor("readyok\n")) << console.output();
    EXPECT_NE(console.output().find("option name Hash type spin default 8 "), std::string::npos) << console.output();
}

TEST_F(UciSession, GoDepthShowsInfoLinesAndALegalBestMoveWithItsReply) {
    start();
    ask("position startpos moves e2e4 e7e5\ngo depth 5\n");
    std::vector<std::string> answer = bestmove();
    expectLegalAnswer(answer, START, {"e2e4", "e7e5"});
    ASSERT_EQ(answer.size(), 4u) << "a full-width search knows the reply it expects";

    int deepest = 0;
    for (const std::string& line : linesFrom(engine.output())) {
        if (line.rfind("info depth ", 0) != 0 || line.find(" pv ") == std::string::npos) continue;
        for (const char* key : {"seldepth", "nodes", "nps", "time", "hashfull"})
            EXPECT_FALSE(field(line, key).empty()) << key << " missing: " << line;
        EXPECT_TRUE(field(line, "score") == "cp" || field(line, "score") == "mate") << line;
        deepest = std::max(deepest, std::stoi(field(line, "depth")));
        // The line is a legal sequence of coordinate moves.
        std::vector<std::string> pv = wordsOf(line.substr(line.find(" pv ") + 4));
        std::vector<std::string> moves = {"e2e4", "e7e5"};
        moves.insert(moves.end(), pv.begin(), pv.end());
        EXPECT_TRUE(legalLine(START, moves)) << line;
    }
    EXPECT_EQ(deepest, 5);
    quit();
}

TEST_F(UciSession, MovesAreWrittenInPureCoordinates) {
    start();
    // A promotion is the move's four letters and the piece, in lower case.
    ask("position fen 8/P7/8/8/8/8/k7/7K w - - 0 1\ngo depth 3\n");
    EXPECT_EQ(bestmove()[1], "a7a8q");
    // Castling is the king's move; the position command reads it that way too.
    ask("position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1g1 e8c8\ngo depth 2 searchmoves f1f8\n");
    std::vector<std::string> answer = bestmove();
    EXPECT_EQ(answer[1], "f1f8");
    ask("position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\ngo depth 2 searchmoves e1c1\n");
    EXPECT_EQ(bestmove()[1], "e1c1");
    quit();
}

TEST_F(UciSession, MateScoresCountMovesFromTheSideToMove) {
    start();
    size_t from = engine.output().size();
    ask("position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1\ngo depth 4\n");
    ASSERT_EQ(bestmove()[1], "a1a8");
    EXPECT_NE(since(from).find("score mate 1 "), std::string::npos) << since(from);
    // Black's king must step aside, and the rook mates: mated in one.
    from = engine.output().size();
    ask("position fen 7k/8/6K1/8/8/8/8/1R6 b - - 0 1\ngo depth 5\n");
    std::vector<std::string> answer = bestmove();
    EXPECT_EQ(answer[1], "h8g8");
    EXPECT_NE(since(from).find("score mate -1 "), std::string::npos) << since(from);
    quit();
}

// "go mate N" ends once a mate in N or fewer is proved, with no "stop",
// and keeps searching as long as none is.
TEST_F(UciSession, GoMateEndsAtTheProvedMate) {
    start();
    // A back-rank mate in one.
    ask("position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1\ngo mate 1\n");
    std::vector<std::string> answer = bestmove(10000);
    ASSERT_GE(answer.size(), 2u) << since(0);
    EXPECT_EQ(answer[1], "a1a8");
    EXPECT_NE(since(0).find("score mate 1 "), std::string::npos) << since(0);
    // No mate here: the search runs on until told to stop.
    ask("position startpos\ngo mate 2\n");
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(since(mark).find("bestmove"), std::string::npos) << since(mark);
    engine.sendLine("stop");
    expectLegalAnswer(bestmove(3000), START);
    quit();
}

TEST_F(UciSession, NoLegalMoveAnswersBestmove0000WithTheBoardScore) {
    start();
    // Checkmated: "mate 0"; stalemated: a draw.
    ask("position fen R5k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1\ngo wtime 1000 btime 1000\n");
    EXPECT_EQ(bestmove(), (std::vector<std::string>{"bestmove", "0000"}));
    EXPECT_NE(since(0).find("info depth 0 score mate 0\n"), std::string::npos);
    ask("position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\ngo depth 3\n");
    EXPECT_EQ(bestmove(), (std::vector<std::string>{"bestmove", "0000"}));
    EXPECT_NE(since(0).find("info depth 0 score cp 0\n"), std::string::npos);
    // An endless search of a finished game still waits to be stopped.
    ask("go infinite\n");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(since(mark).find("bestmove"), std::string::npos);
    engine.sendLine("stop");
    EXPECT_EQ(bestmove(3000), (std::vector<std::string>{"bestmove", "0000"}));
    quit();
}

TEST_F(UciSession, StopEndsASearchAtOnceWithALegalMove) {
    start();
    // "go" then "stop" straight away, and an endless search stopped later.
    ask("position startpos moves d2d4\ngo\nstop\n");
    expectLegalAnswer(bestmove(3000), START, {"d2d4"});
    ask("position startpos moves d2d4 d7d5\ngo infinite\n");
    std::this_thread::sleep_for(1000ms);
    EXPECT_EQ(since(mark).find("bestmove"), std::string::npos) << "an endless search answers only when stopped";
    engine.sendLine("stop");
    expectLegalAnswer(bestmove(2000), START, {"d2d4", "d7d5"});
    // One answer per search.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(count(since(0), "bestmove "), 2u) << since(0);
    quit();
}

TEST_F(UciSession, IsreadyIsAnsweredAtOnceEvenInAFloodDuringASearch) {
    start();
    ask("position startpos\ngo infinite\n");
    std::this_thread::sleep_for(300ms);
    std::string flood;
    for (int i = 0; i < 300; i++) flood += "isready\n";
    const size_t from = engine.output().size();
    const auto sent = std::chrono::steady_clock::now();
    engine.send(flood);
    bool answered = false;
    while (std::chrono::steady_clock::now() - sent < 3s && !answered) {
        engine.waitFor("readyok\n", 100, engine.output().size());
        answered = count(since(from), "readyok\n") >= 300;
    }
    EXPECT_TRUE(answered) << count(since(from), "readyok\n") << " of 300 within 3 s";
    EXPECT_EQ(since(from).find("bestmove"), std::string::npos) << "isready does not end the search";
    engine.sendLine("stop");
    expectLegalAnswer(bestmove(2000), START);
    quit();
}

TEST_F(UciSession, PonderhitTurnsThePonderSearchIntoTheEnginesOwn) {
    start();
    // The interface plays the predicted reply on the board and says "go ponder".
    ask("position startpos moves e2e4 e7e5 g1f3 b8c6\ngo ponder wtime 30000 btime 30000 winc 0 binc 0\n");
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(since(mark).find("bestmove"), std::string::npos) << "no answer while pondering";
    engine.sendLine("isready");
    ASSERT_TRUE(engine.waitFor("readyok\n", 1000, mark));
    // The opponent played it: the engine's own clock (30 s: about a second
    // for this move) runs from now.
    const auto hit = std::chrono::steady_clock::now();
    engine.sendLine("ponderhit");
    expectLegalAnswer(bestmove(10000), START, {"e2e4", "e7e5", "g1f3", "b8c6"});
    EXPECT_LT(std::chrono::steady_clock::now() - hit, 6s);

    // The opponent played something else: the interface stops the ponder
    // search, which still answers, and starts a new one.
    ask("position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6\ngo ponder wtime 30000 btime 30000\n");
    std::this_thread::sleep_for(500ms);
    engine.sendLine("stop");
    expectLegalAnswer(bestmove(2000), START, {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5", "a7a6"});
    ask("position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 g8f6\ngo wtime 30000 btime 30000\n");
    expectLegalAnswer(bestmove(10000), START, {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5", "g8f6"});
    quit();
}

TEST_F(UciSession, ClocksMoveTimeNodesAndSearchmovesLimitTheSearch) {
    start();
    using Clock = std::chrono::steady_clock;
    auto timed = [&](const std::string& go, std::vector<std::string>& answer) {
        const auto begin = Clock::now();
        ask("position startpos moves e2e4\n" + go + "\n");
        answer = bestmove(20000);
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
    };
    std::vector<std::string> answer;
    // A second on the clock: the plan is a small share of it.
    EXPECT_LT(timed("go wtime 1000 btime 1000", answer), 600);
    expectLegalAnswer(answer, START, {"e2e4"});
    // A fixed time is used, and not overrun.
    const long fixed = timed("go movetime 400", answer);
    EXPECT_GE(fixed, 350);
    EXPECT_LT(fixed, 1200);
    // Five moves to the control with 9 s: about a fifth of it (sudden death
    // would plan a seventieth).
    const long control = timed("go btime 9000 wtime 9000 movestogo 5", answer);
    EXPECT_GT(control, 600);
    EXPECT_LT(control, 4000);

    // A node budget: no line reports more nodes than it allows.
    size_t from = engine.output().size();
    timed("go nodes 20000", answer);
    expectLegalAnswer(answer, START, {"e2e4"});
    for (const std::string& line : linesFrom(engine.output(), from)) {
        if (line.rfind("info depth", 0) != 0 || field(line, "nodes").empty()) continue;
        EXPECT_LE(std::stoul(field(line, "nodes")), 20000u) << line;
    }

    // Only the moves asked for are searched, illegal ones are reported.
    from = engine.output().size();
    timed("go depth 4 searchmoves a7a6 h7h6 e2e4", answer);
    EXPECT_TRUE(answer[1] == "a7a6" || answer[1] == "h7h6") << answer[1];
    EXPECT_NE(since(from).find("info string searchmoves: 'e2e4' is no legal move here\n"), std::string::npos);
    quit();
}

// The node count of the deepest line of a fixed-depth search.
unsigned long lastNodes(const std::string& out) {
    unsigned long nodes = 0;
    for (const std::string& line : linesFrom(out))
        if (line.rfind("info depth", 0) == 0 && !field(line, "nodes").empty()) nodes = std::stoul(field(line, "nodes"));
    return nodes;
}

TEST_F(UciSession, OptionsResizeAndClearTheTablesAndAreReadWithoutRegardToCase) {
    start();
    ask("setoption name Hash value 32\nisready\n");
    ASSERT_TRUE(engine.waitFor("readyok\n", 5000, mark));
    EXPECT_EQ(since(mark), "info string hash table 32 MB\nreadyok\n");
    ask("setoption name hash value 8\nsetoption name OWNBOOK value false\nsetoption name Ponder value false\nisready\n");
    ASSERT_TRUE(engine.waitFor("readyok\n", 5000, mark));
    EXPECT_EQ(since(mark), "info string hash table 8 MB\nreadyok\n");

    // A second search of the same position profits from the table; after
    // "Clear Hash" the search starts from nothing again.
    const std::string search = "position startpos moves d2d4 g8f6\ngo depth 7\n";
    size_t from = engine.output().size();
    ask(search);
    bestmove();
    const unsigned long first = lastNodes(since(from));
    from = engine.output().size();
    ask(search);
    bestmove();
    const unsigned long again = lastNodes(since(from));
    from = engine.output().size();
    ask("setoption name Clear Hash\n" + search);
    bestmove();
    const unsigned long cleared = lastNodes(since(from));
    EXPECT_LT(again, first);
    EXPECT_GT(cleared, again);
    quit();
}

TEST_F(UciSession, ThreadsSearchTogetherAndReportTheNodesOfAll) {
    start();
    ask("setoption name Threads value 0\nsetoption name Threads value 65\nsetoption name Threads value 2\nisready\n");
    ASSERT_TRUE(engine.waitFor("readyok\n", 5000, mark)) << since(mark);
    EXPECT_EQ(count(since(mark), "info string Threads takes a whole number from 1 to 64"), 2u) << since(mark);

    // The helper starts with the search; the node counts of the lines grow
    // and the answer is legal.
    ask("position startpos\ngo depth 8\n");
    std::vector<std::string> answer = bestmove(60000);
    expectLegalAnswer(answer, START);
    long lastNodes = 0;
    for (const std::string& line : linesFrom(engine.output())) {
        if (line.rfind("info depth ", 0) != 0 || line.find(" pv ") == std::string::npos) continue;
        const long nodes = std::stol(field(line, "nodes"));
        EXPECT_GE(nodes, lastNodes) << line;
        lastNodes = nodes;
    }
    EXPECT_GT(lastNodes, 0);
    // Every line the engine says of itself is an info string: an interface
    // reads a bare line as a protocol error.
    EXPECT_NE(engine.output().find("info string starting thread 1\n"), std::string::npos) << engine.output();
    for (const std::string& line : linesFrom(engine.output(), engine.output().find("uciok")))
        EXPECT_TRUE(line.rfind("info ", 0) == 0 || line.rfind("bestmove ", 0) == 0 || line == "readyok" ||
                    line == "uciok")
            << line;

    // Stopped in the middle of an endless search, it still answers at once.
    ask("go infinite\n");
    std::this_thread::sleep_for(300ms);
    engine.sendLine("stop");
    expectLegalAnswer(bestmove(3000), START);
    ask("setoption name Threads value 1\nposition startpos moves e2e4\ngo depth 4\n");
    expectLegalAnswer(bestmove(), START, {"e2e4"});
    quit();
}

TEST_F(UciSession, OwnBookPlaysFromTheBookUnlessSwitchedOffOrAnalysing) {
    // A book built at the console first, from games that all open 1. a3, a
    // move the search would never choose.
    std::ofstream pgn(engine.workDir() + "/games.pgn");
    for (int i = 0; i < 3; i++) pgn << "[Event \"t\"]\n[Result \"1-0\"]\n\n1. a3 e5 2. b3 d5 1-0\n\n";
    pgn.close();
    engine.sendLine("book create games.pgn");
    ASSERT_TRUE(engine.waitFor("moves stored", 20000)) << engine.output();
    start();
    size_t from = engine.output().size();
    ask("position startpos\ngo wtime 60000 btime 60000\n");
    EXPECT_EQ(bestmove()[1], "a2a3");
    EXPECT_NE(since(from).find("info string book moves: a3("), std::string::npos) << since(from);
    // An analysis wants the search's view.
    ask("position startpos\ngo infinite\n");
    std::this_thread::sleep_for(500ms);
    engine.sendLine("stop");
    EXPECT_NE(bestmove()[1], "a2a3");
    // Switched off, the book is not asked at all.
    from = engine.output().size();
    ask("setoption name OwnBook value false\nucinewgame\nposition startpos\ngo depth 4\n");
    EXPECT_NE(bestmove()[1], "a2a3");
    EXPECT_EQ(since(from).find("book moves"), std::string::npos) << since(from);
    quit();
}

TEST_F(UciSession, NalimovPathSetsUpTheTablesTheSearchReads) {
    start();
    ask("setoption name NalimovPath value " + threeManTables() + "\nisready\n");
    ASSERT_TRUE(engine.waitFor("readyok\n", 20000, mark)) << since(mark);
    EXPECT_EQ(since(mark), "info string EGTB cache memory = 1M bytes.\ninfo string tablebases of up to 3 men\nreadyok\n");
    // KRK: the tables know it is mate in 16.
    size_t from = engine.output().size();
    ask("position fen 8/8/8/8/8/2k5/1R6/K7 w - - 0 1\ngo depth 3\n");
    expectLegalAnswer(bestmove(), "8/8/8/8/8/2k5/1R6/K7 w - - 0 1");
    EXPECT_NE(since(from).find(" score mate 16 "), std::string::npos) << since(from);
    // Another folder replaces them, unlike "egtpath", which sets them up once.
    ask("setoption name NalimovPath value /no/such/dir\nisready\n");
    ASSERT_TRUE(engine.waitFor("readyok\n", 20000, mark));
    EXPECT_EQ(since(mark), "info string no tablebases in '/no/such/dir'\nreadyok\n");
    quit();
}

TEST_F(UciSession, GameHistoryCarriesIntoTheSearch) {
    start();
    // Knights out and back: playing Nf3 again would repeat a position of the
    // game, and the root sees it, whether the moves came in one command or
    // as the same game a few moves on.
    ask("position startpos moves g1f3 g8f6 f3g1 f6g8\ngo depth 3\n");
    bestmove();
    EXPECT_NE(since(0).find("info string repetition detected at root Nf3\n"), std::string::npos) << since(0);
    size_t from = engine.output().size();
    ask("ucinewgame\nposition startpos moves g1f3 g8f6\ngo depth 2\n");
    bestmove();
    ask("position startpos moves g1f3 g8f6 f3g1 f6g8\ngo depth 3\n");
    bestmove();
    EXPECT_NE(since(from).find("repetition detected at root Nf3"), std::string::npos) << since(from);
    // A fresh game knows nothing of it.
    from = engine.output().size();
    ask("ucinewgame\nposition startpos\ngo depth 3\n");
    bestmove();
    EXPECT_EQ(since(from).find("repetition"), std::string::npos) << since(from);
    quit();
}

TEST_F(UciSession, AGameOfHundredsOfMovesFitsOnePositionLine) {
    start();
    // 1200 plies of knight moves back and forth: about 6000 characters.
    std::string line = "position startpos moves";
    for (int i = 0; i < 300; i++) line += " g1f3 g8f6 f3g1 f6g8";
    ask(line + " e2e4\ngo depth 3\n");
    std::vector<std::string> answer = bestmove();
    expectLegalAnswer(answer, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
    EXPECT_EQ(since(0).find("too long"), std::string::npos);
    quit();
}

TEST_F(UciSession, BadInputIsExplainedAndNeverLeadsToAnIllegalMove) {
    start();
    // Unknown words: skipped before a command, explained otherwise.
    ask("joho isready\nfoo bar\nsetoption name Foo value 1\nsetoption name Hash value lots\nsetoption\n"
        "stop\nponderhit\nposition\nposition fen\nisready\n");
    ASSERT_TRUE(engine.waitFor("the FEN is missing; the position stays as it was\nreadyok\n", 5000, mark)) << since(mark);
    const std::string explained = since(mark);
    for (const char* text : {"info string unknown command 'foo bar'\n", "info string unknown option 'Foo'\n",
                             "info string Hash takes a whole number from 1 to 65536, not 'lots'\n",
                             "info string setoption needs", "info string stop: no search is running\n",
                             "info string ponderhit: no search is running\n", "info string position needs",
                             "info string position fen: the FEN is missing"})
        EXPECT_NE(explained.find(text), std::string::npos) << text << "\n" << explained;

    // "go" before any position searches the start position.
    size_t from = engine.output().size();
    ask("go depth 2\n");
    expectLegalAnswer(bestmove(), START);
    EXPECT_NE(since(from).find("info string go without position"), std::string::npos);

    // An illegal move ends the list: the position is the one before it.
    ask("position startpos moves e2e4 e2e4 d7d5\ngo depth 2\n");
    std::vector<std::string> answer = bestmove();
    expectLegalAnswer(answer, START, {"e2e4"});
    EXPECT_NE(engine.output().find("info string illegal move 'e2e4' in position"), std::string::npos);

    // A FEN that cannot be read (a king missing, the side not to move in
    // check, garbage) leaves the position as it was.
    for (const char* fen : {"8/8/8/8/8/8/8/4K3 w - - 0 1", "4k3/4R3/8/8/8/8/8/4K3 w - - 0 1", "this is no fen"}) {
        from = engine.output().size();
        ask(std::string("position fen ") + fen + "\ngo depth 2\n");
        answer = bestmove();
        expectLegalAnswer(answer, START, {"e2e4"});
        EXPECT_NE(since(from).find("info string invalid FEN"), std::string::npos) << fen;
    }
    // A bad number in "go" is reported and the search still answers.
    ask("go depth x\nstop\n");
    expectLegalAnswer(bestmove(3000), START, {"e2e4"});
    quit();
}

TEST_F(UciSession, CommandsThatNeedAnIdleEngineStopTheSearchFirst) {
    start();
    ask("position startpos\ngo infinite\n");
    std::this_thread::sleep_for(300ms);
    // No "stop": the interface sends the next position and search at once.
    engine.send("position startpos moves e2e4\ngo depth 3\n");
    std::vector<std::string> first = bestmove(3000);
    expectLegalAnswer(first, START);
    std::vector<std::string> second = bestmove(10000);
    expectLegalAnswer(second, START, {"e2e4"});
    EXPECT_NE(since(0).find("info string position while searching: the search stops first\n"), std::string::npos);
    quit();
}

TEST_F(UciSession, QuitAndTheEndOfInputEndTheEngineEvenWhileItSearches) {
    start();
    ask("position startpos\ngo infinite\n");
    std::this_thread::sleep_for(300ms);
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(3000), 0);

    EngineSession other;
    other.send("uci\nposition startpos\ngo infinite\n");
    ASSERT_TRUE(other.waitFor("info depth", 5000));
    other.closeInput();
    EXPECT_EQ(other.waitExit(3000), 0);
}

}  // namespace

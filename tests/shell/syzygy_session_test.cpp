// The engine with Syzygy tables, through its pipes: every reference
// position's verdict, the settings file and "egtpath syzygy", damaged files
// and folder lists with junk while a game goes on, and won endings played
// out to mate with the tables' help.
//
// The reference check reads tests/data unless TARNO_SYZYGY_EPD and
// TARNO_SYZYGY_DIR name another file and folder (make syzygy-epd: all 200
// positions against all 35 tables).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/progress_line.h"
#include "support/test_support.h"

namespace {

std::string fromEnvironment(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && value[0] ? value : fallback;
}

std::string tables() { return testDataPath("syzygy"); }

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A copy of the test tables to damage.
std::string tableCopy() {
    const std::string dir = scratchDirectory();
    for (const auto& entry : std::filesystem::directory_iterator(tables()))
        std::filesystem::copy_file(entry.path(), dir + "/" + entry.path().filename().string());
    return dir;
}

void cutFile(const std::string& path, size_t bytes) { std::filesystem::resize_file(path, bytes); }

// The engine plays both sides (depth 5 a move) until the game ends or
// `plies` moves are made, after the `setUp` commands; returns the output.
std::string selfPlay(const std::string& fen, int plies, const std::string& iniText = "",
                     const std::string& setUp = "") {
    EngineSession session("resign_score = -30000\n" + iniText);
    session.sendLine("xboard");
    session.sendLine("easy");
    if (!setUp.empty()) session.send(setUp);
    session.sendLine("egtpath syzygy " + tables());
    session.sendLine("setboard " + fen);
    session.sendLine("depth 5");
    for (int ply = 0; ply < plies; ply++) {
        const size_t before = session.output().size();
        session.sendLine("go");
        // A move or the end of the game ("mates", "1/2-1/2").
        session.sendLine("ping " + std::to_string(ply));
        if (!session.waitFor("pong " + std::to_string(ply) + "\n", 30000, before)) break;
        const std::string reply = session.output().substr(before);
        if (reply.find("mates") != std::string::npos || reply.find("1/2-1/2") != std::string::npos) break;
    }
    session.sendLine("quit");
    EXPECT_EQ(session.waitExit(), 0);
    return session.output();
}

}  // namespace

TEST(SyzygySession, ReferencePositionsThroughTheEngine) {
    const std::string epd = fromEnvironment("TARNO_SYZYGY_EPD", testDataPath("endgames/wdl-dtz-ci.epd"));
    const std::string dir = fromEnvironment("TARNO_SYZYGY_DIR", tables());
    const std::vector<SyzygyReference> references = readSyzygyReferences(epd);
    ASSERT_FALSE(references.empty()) << epd;
    std::string input = "egtpath syzygy " + dir + "\n";
    for (size_t i = 0; i < references.size(); i++)
        input += "setboard " + references[i].fen + "\ntbprobe\nping " + std::to_string(i) + "\n";
    input += "quit\n";
    // The answers are read as they come, so that a long file shows how far
    // it has come.
    EngineSession session;
    session.send(input);
    session.closeInput();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto msLeft = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return int(std::max<long>(1, long(left.count())));
    };
    ProgressLine progress;
    startProgressLine(progress, stdout);
    for (size_t i = 0; i < references.size(); i++) {
        if (!session.waitFor("pong " + std::to_string(i) + "\n", msLeft())) break;
        if (progressDue(progress))
            showProgress(progress,
                         "probing " + epd + ": " + std::to_string(i + 1) + " of " +
                             std::to_string(references.size()) + " positions",
                         double(i + 1) / double(references.size()));
    }
    clearProgressLine(progress);
    const int status = session.waitExit(msLeft());
    const std::string& out = session.output();
    EXPECT_EQ(status, 0);
    for (size_t i = 0; i < references.size(); i++) {
        const std::string pong = "pong " + std::to_string(i) + "\n";
        const size_t end = out.find(pong);
        const size_t begin = i == 0 ? 0 : out.find("pong " + std::to_string(i - 1) + "\n");
        ASSERT_NE(end, std::string::npos) << out;
        const std::string answer = out.substr(begin, end - begin);
        const std::string expected =
            "syzygy wdl " + std::to_string(references[i].wdl) + " dtz " + std::to_string(references[i].dtz) + "\n";
        EXPECT_NE(answer.find(expected), std::string::npos) << references[i].fen << "\n" << answer;
    }
}

TEST(SyzygySession, SettingsFileAndEgtpath) {
    // Set up from the file before the banner; the interface's egt list
    // names both kinds of table.
    std::string out = runEngine("xboard\nprotover 2\nquit\n", nullptr, 20000, "syzygy_path = " + tables() + "\n");
    EXPECT_EQ(out.find("Syzygy: 16 WDL and 16 DTZ tables in use, up to 4 men\n"), 0u) << out;
    EXPECT_NE(out.find("egt=\"nalimov,syzygy\""), std::string::npos) << out;
    // An interface takes these words in an engine's first lines for a
    // failed start.
    for (const char* phrase : {"not found", "No such file", "Permission denied", "munmap"})
        EXPECT_EQ(out.find(phrase), std::string::npos) << phrase << "\n" << out;

    // "egtpath syzygy" sets them up again, any number of times, from folder
    // lists with blanks and junk; without a folder it shows its usage.
    const std::string junk = std::string("/no/such/place, ") + tables() + " ;<empty>";
    out = runEngine("egtpath syzygy " + tables() + "\negtpath syzygy " + junk +
                    "\negtpath syzygy\nsetboard 8/8/8/3k4/8/r7/8/1Q4K1 w - - 0 1\ntbprobe\nquit\n");
    EXPECT_EQ(count(out, "Syzygy: 16 WDL and 16 DTZ tables in use, up to 4 men\n"), 2u) << out;
    EXPECT_NE(out.find("Syzygy: skipping '/no/such/place': not a folder that can be read\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Usage: egtpath nalimov"), std::string::npos) << out;
    EXPECT_NE(out.find("syzygy wdl 2 dtz "), std::string::npos) << out;
    EXPECT_EQ(out.find("munmap"), std::string::npos) << out;

    // A folder without tables (xboard sends its default folder at every
    // game) leaves the tables in use; the same folders again change nothing;
    // an empty list drops them.
    out = runEngine("egtpath syzygy " + tables() + "\negtpath syzygy /no/such/place\ntbprobe\negtpath syzygy " +
                    tables() + "\negtpath syzygy <empty>\ntbprobe\nquit\n");
    EXPECT_NE(out.find("Syzygy: no usable tables there; the tables in use stay\n"
                       "Syzygy: 16 WDL and 16 DTZ tables in use, up to 4 men\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(count(out, "Syzygy: 16 WDL and 16 DTZ tables in use, up to 4 men\n"), 3u) << out;
    // Still in use, though no table holds the starting position.
    EXPECT_NE(out.find("syzygy: no table holds this position\n"), std::string::npos) << out;
    EXPECT_NE(out.find("no tablebases in use\n"), std::string::npos) << out;
}

TEST(SyzygySession, FiftyMoveRuleAndProbeLimitFromTheFile) {
    // KQvKR with 60 plies gone: only Qh5+ takes the rook in time.
    const std::string game = "xboard\neasy\nsetboard r3k3/8/8/8/8/8/8/3QK3 w - - 60 60\ndepth 3\ngo\nping 1\nquit\n";
    std::string out = runEngine(game, nullptr, 20000, "syzygy_path=" + tables() + "\n");
    EXPECT_NE(out.find("move Qh5\n"), std::string::npos) << out;
    // 95 plies gone: every win is too slow for the rule, so any keeps the
    // draw; without the rule the quickest one is played again.
    out = runEngine("xboard\neasy\nsetboard r3k3/8/8/8/8/8/8/3QK3 w - - 95 60\ndepth 3\ngo\nping 1\nquit\n", nullptr,
                    20000, "syzygy_path=" + tables() + "\nsyzygy_50_move_rule = false\n");
    EXPECT_NE(out.find("move Qh5\n"), std::string::npos) << out;
    // A probe limit of 0 men turns the tables off for the search (the
    // statistics count no probe), not for "tbprobe".
    const std::string search = "setboard r3k3/8/8/8/8/8/8/3QK3 w - - 60 60\ndepth 3\ngo\nforce\ntbprobe\nquit\n";
    out = runEngine(search, nullptr, 20000, "syzygy_path=" + tables() + "\nsyzygy_probe_limit = 0\n");
    EXPECT_NE(out.find("egtb_probes=0 egtb_hits=0"), std::string::npos) << out;
    EXPECT_NE(out.find("syzygy wdl"), std::string::npos) << out;
    out = runEngine(search, nullptr, 20000, "syzygy_path=" + tables() + "\nsyzygy_probe_limit = 4\n");
    EXPECT_EQ(out.find("egtb_probes=0 "), std::string::npos) << out;
}

// Five men on the board, so that only the tree's positions after a capture
// are probed: a probe depth beyond the search's depth leaves them all alone.
TEST(SyzygySession, ProbeDepthFromTheSettingsFileAndTheUciOption) {
    const std::string fen = "8/8/8/3k4/8/2r5/1P6/KR6 w - - 0 1";
    const std::string search = "setboard " + fen + "\ndepth 6\ngo\nquit\n";
    std::string out = runEngine(search, nullptr, 20000, "syzygy_path=" + tables() + "\nsyzygy_probe_depth = 100\n");
    EXPECT_NE(out.find("egtb_probes=0 egtb_hits=0"), std::string::npos) << out;
    out = runEngine(search, nullptr, 20000, "syzygy_path=" + tables() + "\nsyzygy_probe_depth = 0\n");
    EXPECT_NE(out.find("egtb_probes="), std::string::npos) << out;
    EXPECT_EQ(out.find("egtb_probes=0 "), std::string::npos) << "0 is read as the least, 1" << out;

    out = runEngine("uci\nsetoption name SyzygyPath value " + tables() +
                    "\nsetoption name SyzygyProbeDepth value 101\nsetoption name syzygyprobedepth value 0\n"
                    "setoption name SyzygyProbeDepth value 100\nuci\nposition fen " + fen +
                    "\ngo depth 6\nquit\n");
    EXPECT_NE(out.find("info string SyzygyProbeDepth takes a whole number from 1 to 100, not '101'\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("not '0'\n"), std::string::npos) << out;
    EXPECT_NE(out.find("option name SyzygyProbeDepth type spin default 1 min 1 max 100\n"), std::string::npos);
    EXPECT_NE(out.find("option name SyzygyProbeDepth type spin default 100 min 1 max 100\n"), std::string::npos);
    const size_t best = out.find("bestmove ");
    ASSERT_NE(best, std::string::npos) << out;
    EXPECT_TRUE(legalLine(fen, {out.substr(best + 9, 4)})) << out;
}

TEST(SyzygySession, DamagedFilesAndJunkWhileAGameGoesOn) {
    const std::string dir = tableCopy();
    std::ofstream(dir + "/KRvK.rtbw", std::ios::trunc).close();  // empty
    cutFile(dir + "/KQvK.rtbz", 1000);                           // cut short
    cutFile(dir + "/KQvKR.rtbw", 64 * 100 + 16);                 // cut at a block
    {
        std::vector<char> garbage(64 * 10 + 16, 'x');
        std::ofstream(dir + "/KRvKR.rtbz", std::ios::binary | std::ios::trunc).write(garbage.data(), garbage.size());
    }
    std::filesystem::remove(dir + "/KQQvK.rtbz");  // missing
    std::filesystem::remove(dir + "/KQRvK.rtbw");  // missing, its DTZ file left alone
    std::filesystem::remove(dir + "/KNvKN.rtbw");
    std::filesystem::create_directory(dir + "/KNvKN.rtbw");  // a folder under a table's name

    EngineSession session;
    session.sendLine("xboard");
    session.sendLine("easy");
    session.sendLine("egtpath syzygy /no/such/place;" + dir + ":" + dir + "/KQvK.rtbw");
    session.sendLine("setboard 8/8/8/3k4/8/8/1r6/KQ6 w - - 0 1");
    session.sendLine("st 1");
    session.sendLine("go");
    ASSERT_TRUE(session.waitFor("move ", 20000)) << session.output();
    session.sendLine("ping 9");
    ASSERT_TRUE(session.waitFor("pong 9\n")) << session.output();
    session.sendLine("quit");
    EXPECT_EQ(session.waitExit(), 0);
    const std::string& out = session.output();
    for (const std::string& line : std::vector<std::string>{
             "Syzygy: skipping '/no/such/place': not a folder that can be read\n",
          "Syzygy: skipping '" + dir + "/KQvK.rtbw': not a folder that can be read\n",
          "Syzygy: leaving out " + dir + "/KRvK.rtbw: the file is empty\n",
          "Syzygy: leaving out " + dir + "/KRvK.rtbz: its WDL table is missing\n",
          "Syzygy: leaving out " + dir + "/KQvK.rtbz: its size is not that of a table (cut short?)\n",
          "Syzygy: leaving out " + dir + "/KQvKR.rtbw: damaged (a trial of the prober failed on it)\n",
          "Syzygy: leaving out " + dir + "/KQvKR.rtbz: its WDL table is damaged\n",
          "Syzygy: leaving out " + dir + "/KRvKR.rtbz: not a DTZ table (wrong header)\n",
          "Syzygy: leaving out " + dir + "/KQRvK.rtbz: its WDL table is missing\n",
          "Syzygy: leaving out " + dir + "/KNvKN.rtbw: not a regular file\n",
          "Syzygy: leaving out " + dir + "/KNvKN.rtbz: its WDL table is missing\n",
          "Syzygy: 12 WDL and 9 DTZ tables in use, up to 4 men\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    // The rook is taken, by either piece.
    EXPECT_TRUE(out.find("move Qxb2\n") != std::string::npos || out.find("move Kxb2\n") != std::string::npos) << out;
}

TEST(SyzygySession, WonEndingsArePlayedOutToMate) {
    // The engine on both sides, five plies a move: the tables keep the win
    // (and its pace) for the stronger side and the longest resistance for
    // the other.
    std::string out = selfPlay("r3k3/8/8/8/8/8/8/3QK3 w - - 0 1", 120);
    EXPECT_NE(out.find("White mates"), std::string::npos) << out;
    out = selfPlay("8/8/8/8/8/2k5/1R6/K7 b - - 0 1", 120);
    EXPECT_NE(out.find("White mates"), std::string::npos) << out;
    // Begun late in the count, the win still comes in time.
    out = selfPlay("r3k3/8/8/8/8/8/8/3QK3 w - - 40 60", 120);
    EXPECT_NE(out.find("White mates"), std::string::npos) << out;
    EXPECT_EQ(out.find("50-move"), std::string::npos) << out;
}

TEST(SyzygySession, TwoSearchThreadsPlayWonEndingsOutToMate) {
    // Both threads probe the tables; the five-man start reaches them by its
    // captures.
    for (const char* fen : {"r3k3/8/8/8/8/8/8/3QK3 w - - 0 1", "8/5k2/8/3r4/8/8/1Q6/K2R4 w - - 0 1"}) {
        const std::string out = selfPlay(fen, 120, "", "cores 2\n");
        EXPECT_NE(out.find("using 2 cpus\n"), std::string::npos) << out;
        EXPECT_NE(out.find("White mates"), std::string::npos) << fen << "\n" << out;
    }
}

namespace {

// The last score of a UCI search's info lines in the output from `from`,
// in centipawns (a mate counts as beyond every table win).
int lastUciScore(const std::string& out, size_t from) {
    int score = 0;
    for (size_t at = out.find(" score ", from); at != std::string::npos; at = out.find(" score ", at + 1)) {
        int value;
        if (std::sscanf(out.c_str() + at, " score cp %d", &value) == 1) score = value;
        else if (std::sscanf(out.c_str() + at, " score mate %d", &value) == 1) score = value > 0 ? 100000 : -100000;
    }
    return score;
}

}  // namespace

TEST(SyzygySession, UciOptionsSetTheTablesTheRuleAndTheLimit) {
    EngineSession session;
    session.sendLine("uci");
    ASSERT_TRUE(session.waitFor("uciok\n")) << session.output();
    for (const char* line : {"\noption name SyzygyPath type string default <empty>\n",
                             "\noption name Syzygy50MoveRule type check default true\n",
                             "\noption name SyzygyProbeLimit type spin default 7 min 0 max 7\n"})
        EXPECT_NE(session.output().find(line), std::string::npos) << line << session.output();

    size_t mark = session.output().size();
    auto exchange = [&](const std::string& lines, const std::string& until) {
        mark = session.output().size();
        session.send(lines);
        EXPECT_TRUE(session.waitFor(until, 30000, mark)) << session.output().substr(mark);
        return session.output().substr(mark);
    };
    // The set-up's report comes as remarks, before the answer to isready.
    EXPECT_EQ(exchange("setoption name SyzygyPath value " + tables() + "\nisready\n", "readyok\n"),
              "info string Syzygy: 16 WDL and 16 DTZ tables in use, up to 4 men\nreadyok\n");

    // Queen against rook with 95 plies gone since the last capture: under
    // the rule the win is too slow, and the table's win counts for nothing
    // inside the search. Without the rule it is a win (98 pawns less the
    // plies to it) and the quickest way on, Qh5+, is played.
    const std::string late = "position fen r3k3/8/8/8/8/8/8/3QK3 w - - 95 60\ngo depth 3\n";
    std::string out = exchange(late, "bestmove ");
    EXPECT_LT(lastUciScore(session.output(), mark), 5000) << out;
    exchange("setoption name Syzygy50MoveRule value false\n" + late, "bestmove ");
    ASSERT_TRUE(session.waitFor("\n", 5000, session.output().find("bestmove ", mark)));
    out = session.output().substr(mark);
    EXPECT_NE(out.find("bestmove d1h5"), std::string::npos) << out;
    EXPECT_GT(lastUciScore(session.output(), mark), 9700) << out;
    EXPECT_LE(lastUciScore(session.output(), mark), 9800) << out;
    // Tables of up to three men only: the four-man ending goes unprobed.
    out = exchange("setoption name SyzygyProbeLimit value 3\n" + late, "bestmove ");
    EXPECT_LT(lastUciScore(session.output(), mark), 5000) << out;

    // Values out of range are refused and change nothing; a folder without
    // tables leaves those in use; "<empty>" drops them, and "uci" shows the
    // settings as they now stand.
    EXPECT_EQ(exchange("setoption name SyzygyProbeLimit value 8\nsetoption name Syzygy50MoveRule value maybe\n"
                       "setoption name SyzygyPath value /no/such/place\nisready\n",
                       "readyok\n"),
              "info string SyzygyProbeLimit takes a whole number from 0 to 7, not '8'\n"
              "info string Syzygy50MoveRule takes true or false, not 'maybe'\n"
              "info string Syzygy: skipping '/no/such/place': not a folder that can be read\n"
              "info string Syzygy: no usable tables there; the tables in use stay\n"
              "info string Syzygy: 16 WDL and 16 DTZ tables in use, up to 4 men\n"
              "readyok\n");
    out = exchange("uci\n", "uciok\n");
    EXPECT_NE(out.find("option name SyzygyPath type string default " + tables() + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("option name Syzygy50MoveRule type check default false\n"), std::string::npos) << out;
    EXPECT_NE(out.find("option name SyzygyProbeLimit type spin default 3 min 0 max 7\n"), std::string::npos) << out;
    EXPECT_EQ(exchange("setoption name SyzygyPath value <empty>\nisready\n", "readyok\n"), "readyok\n");
    out = exchange("setoption name SyzygyProbeLimit value 7\n" + late, "bestmove ");
    EXPECT_LT(lastUciScore(session.output(), mark), 5000) << out;
    out = exchange("uci\n", "uciok\n");
    EXPECT_NE(out.find("option name SyzygyPath type string default <empty>\n"), std::string::npos) << out;
    session.sendLine("quit");
    EXPECT_EQ(session.waitExit(), 0);
}

namespace {

// A table file cut short on disk while the engine has it mapped: the
// probes that would read the lost pages fail instead of ending the engine,
// the engine says so before its next search and plays on without the
// tables, and setting them up again brings them back.
TEST(SyzygySession, ATableFileCutShortWhileInUseIsDroppedNotACrash) {
    EngineSession session;
    const std::string dir = session.workDir() + "/tables";
    std::filesystem::create_directory(dir);
    for (const char* name : {"KRvK.rtbw", "KRvK.rtbz"})
        std::filesystem::copy_file(tables() + "/" + name, dir + "/" + name);
    session.send("xboard\negtpath syzygy " + dir + "\nsetboard 8/8/8/8/8/2k5/1R6/K7 w - - 0 1\nst 0.3\nping 1\n");
    ASSERT_TRUE(session.waitFor("pong 1\n")) << session.output();
    EXPECT_NE(session.output().find("1 WDL and 1 DTZ tables in use"), std::string::npos) << session.output();
    for (const char* name : {"KRvK.rtbw", "KRvK.rtbz"}) std::filesystem::resize_file(dir + "/" + name, 0);

    session.sendLine("go");
    ASSERT_TRUE(session.waitFor("\nmove ", 10000)) << session.output();
    session.send("force\nsetboard 8/8/8/8/8/2k5/1R6/K7 b - - 0 1\ngo\n");
    ASSERT_TRUE(session.waitFor("Syzygy: a table file changed on disk", 10000)) << session.output();
    const size_t dropped = session.output().find("Syzygy: a table file changed");
    ASSERT_TRUE(session.waitFor("\nmove ", 10000, dropped)) << session.output();
    // Set up again from what is there: two empty files, so none in use.
    EXPECT_NE(session.output().find("Syzygy: no tables in use", dropped), std::string::npos) << session.output();

    // Whole files again, set up again: in use once more.
    for (const char* name : {"KRvK.rtbw", "KRvK.rtbz"}) {
        std::filesystem::remove(dir + "/" + name);
        std::filesystem::copy_file(tables() + "/" + name, dir + "/" + name);
    }
    const size_t mark = session.output().size();
    session.send("egtpath syzygy " + dir + "\nping 2\n");
    ASSERT_TRUE(session.waitFor("pong 2\n", 10000, mark)) << session.output();
    EXPECT_NE(session.output().find("1 WDL and 1 DTZ tables in use", mark), std::string::npos) << session.output();
    session.sendLine("quit");
    EXPECT_EQ(session.waitExit(), 0);
}

// Between two searches a user (or his unpacking tool) overwrites one table
// in place and deletes another. The prober would follow the new bytes of a
// file it has mapped wherever they point; the engine notices before its
// next search, sets the tables up again from the files there now and plays
// on with the tables that are still sound.
TEST(SyzygySession, TablesOverwrittenOrRemovedBetweenSearchesAreSetUpAgain) {
    EngineSession session;
    const std::string dir = session.workDir() + "/tables";
    std::filesystem::create_directory(dir);
    for (const char* name : {"KRvK.rtbw", "KRvK.rtbz", "KQvK.rtbw", "KQvK.rtbz", "KPvK.rtbw", "KPvK.rtbz"})
        std::filesystem::copy_file(tables() + "/" + name, dir + "/" + name);
    session.send("xboard\negtpath syzygy " + dir + "\nsetboard 8/8/8/8/8/2k5/1R6/K7 w - - 0 1\nst 0.2\nping 1\n");
    ASSERT_TRUE(session.waitFor("pong 1\n")) << session.output();
    EXPECT_NE(session.output().find("3 WDL and 3 DTZ tables in use"), std::string::npos) << session.output();

    // The same size, other bytes: only a look at the file shows the change.
    for (const char* name : {"KRvK.rtbw", "KRvK.rtbz"}) {
        const std::string path = dir + "/" + name;
        const auto size = std::filesystem::file_size(path);
        std::FILE* file = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        for (uintmax_t i = 0; i < size; i++) std::fputc(int(i * 37 % 251), file);
        std::fclose(file);
    }
    size_t mark = session.output().size();
    session.sendLine("go");
    ASSERT_TRUE(session.waitFor("\nmove ", 10000, mark)) << session.output();
    std::string said = session.output().substr(mark);
    EXPECT_NE(said.find("Syzygy: a table file changed on disk"), std::string::npos) << said;
    EXPECT_NE(said.find("leaving out " + dir + "/KRvK.rtbw"), std::string::npos) << said;
    EXPECT_NE(said.find("2 WDL and 2 DTZ tables in use"), std::string::npos) << said;

    // A deleted table goes too; the other one stays in use. The files are
    // looked at no more than once a second.
    std::filesystem::remove(dir + "/KQvK.rtbw");
    std::filesystem::remove(dir + "/KQvK.rtbz");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    mark = session.output().size();
    session.send("force\nsetboard 8/8/8/8/8/2k5/1R6/K7 b - - 0 1\ngo\n");
    ASSERT_TRUE(session.waitFor("\nmove ", 10000, mark)) << session.output();
    said = session.output().substr(mark);
    EXPECT_NE(said.find("Syzygy: a table file changed on disk"), std::string::npos) << said;
    EXPECT_NE(said.find("1 WDL and 1 DTZ tables in use"), std::string::npos) << said;
    session.sendLine("quit");
    EXPECT_EQ(session.waitExit(), 0);
}

}  // namespace

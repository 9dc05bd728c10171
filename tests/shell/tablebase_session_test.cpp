// The engine with endgame tables: set up from Tarno.ini or "egtpath", the
// cache line, damaged files at start-up and later, "cores", and searches
// that read mate distances from the tables, through its pipes.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

const std::string& tables() { return threeManTables(); }

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(TablebaseSession, SetUpFromTheSettingsFile) {
    std::string out = runEngine("quit\n", nullptr, 20000, "tbpath = " + tables() + "\ntbcache=2\n");
    EXPECT_EQ(out.find("EGTB cache memory = 2M bytes.\n"), 0u) << out;  // before the banner
    // No "tbcache": one megabyte.
    out = runEngine("quit\n", nullptr, 20000, "tbpath=" + tables() + "\n");
    EXPECT_NE(out.find("EGTB cache memory = 1M bytes.\n"), std::string::npos) << out;
    // No tables there: no cache and no line.
    out = runEngine("quit\n", nullptr, 20000, "tbpath=/no/such/dir\ntbcache=8\n");
    EXPECT_EQ(out.find("EGTB"), std::string::npos) << out;
}

TEST(TablebaseSession, EgtpathOnceOnly) {
    std::string out = runEngine("xboard\negtpath\negtpath gaviota " + tables() + "\negtpath nalimov " + tables() +
                                "\negtpath nalimov " + tables() + "\nping 1\nquit\n");
    EXPECT_NE(out.find("Usage: egtpath nalimov <path to directory containing nalimov egtbs>\n"), std::string::npos)
        << out;
    EXPECT_EQ(count(out, "initializing egtb\n"), 2u) << out;
    EXPECT_EQ(count(out, "EGTB cache memory = 1M bytes.\n"), 1u) << out;
    EXPECT_EQ(count(out, "EGTB already initialized\n"), 1u) << out;
    EXPECT_NE(out.find("pong 1\n"), std::string::npos) << out;
}

TEST(TablebaseSession, CoresKeepsTheFoldersGivenByEgtpath) {
    // No settings file: the tables come from "egtpath" alone, and a new
    // thread count must not lose them.
    std::string out = runEngine("egtpath nalimov " + tables() +
                                "\ncores 2\nsetboard 8/8/8/8/8/2k5/1R6/K7 w - - 0 1\nst 1\ngo\nquit\n");
    EXPECT_EQ(count(out, "EGTB cache memory = 1M bytes.\n"), 2u) << out;
    EXPECT_NE(out.find("Mate in 16\n"), std::string::npos) << out;
}

TEST(TablebaseSession, SearchesReadMateDistances) {
    // KRK, mate in 16: the root probe gives the exact distance.
    std::string out = runEngine("egtpath nalimov " + tables() +
                                "\nsetboard 8/8/8/8/8/2k5/1R6/K7 w - - 0 1\nst 1\ngo\nquit\n");
    EXPECT_NE(out.find("Mate in 16\n"), std::string::npos) << out;
    EXPECT_NE(out.find("+99.68"), std::string::npos) << out;
    EXPECT_NE(out.find("egtb_hits="), std::string::npos) << out;
    EXPECT_EQ(out.find("egtb_probes=0 "), std::string::npos) << out;
    // Analysis reads them too, with no game search before it.
    {
        EngineSession session;
        session.sendLine("xboard");
        session.sendLine("post");
        session.sendLine("egtpath nalimov " + tables());
        session.sendLine("setboard 8/8/8/8/8/2k5/1R6/K7 w - - 0 1");
        session.sendLine("analyze");
        EXPECT_TRUE(session.waitFor(" 100016 ")) << session.output();
        session.sendLine("exit");
        session.sendLine("quit");
        EXPECT_EQ(session.waitExit(), 0);
    }
    // Without tables the same search probes nothing.
    out = runEngine("setboard 8/8/8/8/8/2k5/1R6/K7 w - - 0 1\nst 1\ngo\nquit\n");
    EXPECT_NE(out.find("egtb_probes=0 egtb_hits=0"), std::string::npos) << out;
}

TEST(TablebaseSession, DamagedFileEndsStartUpButNotAGame) {
    char templ[] = "/tmp/tarno-tbdamaged-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const std::string dir = templ;
    std::filesystem::copy_file(tables() + "/krk.nbw", dir + "/krk.nbw");
    std::filesystem::copy_file(tables() + "/krk.nbb", dir + "/krk.nbb");
    std::ofstream(dir + "/kqk.nbw") << "not a table";
    int status = 0;
    std::string out = runEngine("quit\n", &status, 20000, "tbpath=" + dir + "\n");
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("*** " + dir + "/kqk.nbw corrupted\n"), std::string::npos) << out;
    // Typed during a game, the damaged file is left out and the game goes on
    // with the others.
    out = runEngine("xboard\npost\negtpath nalimov " + dir +
                        "\nsetboard 8/8/8/8/8/2k5/1R6/K7 w - - 0 1\nst 1\ngo\nping 2\nquit\n",
                    &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("*** " + dir + "/kqk.nbw corrupted\n"), std::string::npos) << out;
    EXPECT_NE(out.find("EGTB cache memory = 1M bytes.\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" 100016 "), std::string::npos) << out;  // KRK still read: mate in 16
    EXPECT_NE(out.find("pong 2\n"), std::string::npos) << out;
    std::filesystem::remove_all(dir);
}

TEST(TablebaseSession, CoresSetsTheTablesUpAgain) {
    std::string out = runEngine("xboard\ncores 2\ncores 2\ncores x\nping 3\nquit\n", nullptr, 20000,
                                "tbpath=" + tables() + "\ntbcache=3\n");
    EXPECT_NE(out.find("using 2 cpus\n"), std::string::npos) << out;
    EXPECT_NE(out.find("could not interpret 'x' as an integer greater than 1\nusing 1 cpus\n"), std::string::npos)
        << out;
    // Start-up, then each change of the thread count; the same count again
    // changes nothing.
    EXPECT_EQ(count(out, "EGTB cache memory = 3M bytes.\n"), 3u) << out;
    EXPECT_EQ(out.find("EGTB already initialized"), std::string::npos) << out;
    EXPECT_NE(out.find("pong 3\n"), std::string::npos) << out;
}

// Between searches a table file is cut short and then the other table is
// deleted. The probes read through the cache, so nothing crashes either
// way, but the engine would go on quietly with what it had cached of the
// old files; it notices before the next search, says so, registers the
// tables again from the files there now and plays on with what is sound.
TEST(TablebaseSession, TableFilesChangedOnDiskAreRegisteredAgain) {
    EngineSession session;
    const std::string dir = session.workDir() + "/tables";
    std::filesystem::create_directory(dir);
    for (const char* name : {"krk.nbw", "krk.nbb", "kqk.nbw", "kqk.nbb"})
        std::filesystem::copy_file(tables() + "/" + name, dir + "/" + name);
    const std::string krk = "force\nsetboard 8/8/8/8/8/2k5/1R6/K7 w - - 0 1\ngo\n";
    session.send("xboard\npost\negtpath nalimov " + dir + "\nst 0.3\n" + krk);
    ASSERT_TRUE(session.waitFor("\nmove ")) << session.output();
    EXPECT_NE(session.output().find(" 100016 "), std::string::npos) << session.output();  // mate in 16

    // Files are looked at no more than once a second.
    for (const char* name : {"krk.nbw", "krk.nbb"}) std::filesystem::resize_file(dir + "/" + name, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    size_t mark = session.output().size();
    session.send(krk);
    ASSERT_TRUE(session.waitFor("\nmove ", 10000, mark)) << session.output();
    std::string said = session.output().substr(mark);
    EXPECT_NE(said.find("EGTB: a table file changed on disk or could not be read; setting the tables up again"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("*** " + dir + "/krk.nbw corrupted\n"), std::string::npos) << said;
    EXPECT_NE(said.find("*** " + dir + "/krk.nbb corrupted\n"), std::string::npos) << said;
    EXPECT_NE(said.find("EGTB cache memory = 1M bytes.\n"), std::string::npos) << said;  // KQK still there
    EXPECT_EQ(said.find(" 100016 "), std::string::npos) << said;

    std::filesystem::remove(dir + "/kqk.nbw");
    std::filesystem::remove(dir + "/kqk.nbb");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    mark = session.output().size();
    session.send("force\nsetboard 8/8/8/8/8/2k5/8/KQ6 w - - 0 1\ngo\n");
    ASSERT_TRUE(session.waitFor("\nmove ", 10000, mark)) << session.output();
    said = session.output().substr(mark);
    EXPECT_NE(said.find("EGTB: a table file changed on disk"), std::string::npos) << said;
    EXPECT_EQ(said.find("EGTB cache memory"), std::string::npos) << said;  // no table left
    session.sendLine("quit");
    EXPECT_EQ(session.waitExit(), 0);
}

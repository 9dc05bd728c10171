// The engine behind Debian's polyglot, the adapter xboard uses for UCI
// engines: polyglot speaks xboard on one side and drives us by UCI on the
// other, so a game move through it exercises the handshake, the options it
// sets, "position" growing move by move, "go" with the clocks and
// "bestmove" as a real interface reads them.
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

const char* const POLYGLOT = "/usr/games/polyglot";

std::string lastMoveAfter(const std::string& out, size_t from) {
    size_t at = out.rfind("\nmove ");
    if (at == std::string::npos || at < from) return "";
    return out.substr(at + 6, out.find('\n', at + 1) - at - 6);
}

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST(UciAdapter, PolyglotPlaysTheEngineAsAnXboardEngine) {
    if (access(POLYGLOT, X_OK) != 0) GTEST_SKIP() << "polyglot is not installed (apt-get install polyglot)";
    EngineSession adapter({POLYGLOT, "-noini", "-ec", TARNO_BINARY}, "");
    adapter.send("xboard\nprotover 2\n");
    ASSERT_TRUE(adapter.waitFor("done=1", 10000)) << adapter.output();
    // polyglot takes the name and the options from our UCI identity.
    EXPECT_NE(adapter.output().find("myname=\"Tarno 4.1\""), std::string::npos) << adapter.output();
    EXPECT_NE(adapter.output().find("option=\"Clear Hash -button\""), std::string::npos) << adapter.output();

    std::vector<std::string> game = {"e2e4"};
    adapter.send("new\neasy\nlevel 0 1 0\ntime 6000\notim 6000\ne2e4\n");
    for (int turn = 0; turn < 3; turn++) {
        size_t from = adapter.output().size();
        if (turn > 0) {
            // Our next move: the first of a few quiet ones that is legal.
            for (const char* candidate : {"g1f3", "b1c3", "d2d3", "a2a3", "h2h3", "e1e2"}) {
                game.push_back(candidate);
                if (legalLine(START, game)) break;
                game.pop_back();
            }
            adapter.send(game.back() + "\n");
        }
        ASSERT_TRUE(adapter.waitFor("\nmove ", 20000, from - 1)) << adapter.output();
        ASSERT_TRUE(adapter.waitFor("\n", 2000, adapter.output().rfind("\nmove ") + 1));
        game.push_back(lastMoveAfter(adapter.output(), from - 1));
        EXPECT_TRUE(legalLine(START, game)) << game.back() << "\n" << adapter.output();
    }
    adapter.send("force\nquit\n");
    EXPECT_EQ(adapter.waitExit(10000), 0) << adapter.output();
}

}  // namespace

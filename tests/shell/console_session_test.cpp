// The engine driven through pipes as a person or an interface would drive
// it: banner, prompt, protocol replies, move entry and the end of input.
#include <signal.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

// Without book.bin the start-up says so before the banner.
const std::string banner =
    "Book file missing!\n\nTarno Chess v4.1 (1 cpu)\nwritten by the Tarno Chess developers\n\n";

// Lines of the output after the banner, prompts removed.
std::string afterBanner(const std::string& out) {
    EXPECT_EQ(out.compare(0, banner.size(), banner), 0) << out;
    std::string rest = out.substr(std::min(out.size(), banner.size()));
    std::string cleaned;
    for (size_t i = 0; i < rest.size(); i++) {
        if ((rest[i] == 'W' || rest[i] == 'B') && rest.compare(i + 1, 2, "> ") == 0) {
            i += 2;
            continue;
        }
        cleaned += rest[i];
    }
    return cleaned;
}

TEST(ConsoleSession, BannerThenWhitePromptAndCleanEndOfInput) {
    int status = -1;
    std::string out = runEngine("", &status);
    EXPECT_EQ(out, banner + "W> ");
    EXPECT_EQ(status, 0);
}

TEST(ConsoleSession, QuitEndsWithStatusZero) {
    int status = -1;
    std::string out = runEngine("quit\nping 1\n", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.find("pong"), std::string::npos);
}

TEST(ConsoleSession, PromptFollowsSideToMove) {
    std::string out = runEngine("e2e4\ne7e5\n");
    EXPECT_EQ(out, banner + "W> B> W> ");
}

TEST(ConsoleSession, XboardPrintsEmptyLineAndNoMorePrompts) {
    std::string out = runEngine("xboard\nprotover 2\nping 7\nping\nprotover 1\n");
    EXPECT_EQ(out, banner + "W> " + "\n" +
                       "feature draw=1 setboard=1 analyze=1 ping=1 reuse=1 time=1 playother=1 sigint=0 "
                       "sigterm=0 smp=1 ics=1 name=1 colors=0 memory=1 exclude=1 setscore=1 nps=1 "
                       "egt=\"nalimov,syzygy\" variants=\"normal,fischerandom\" myname=\"Tarno 4.1\"\n"
                       "feature option=\"Hash -spin 16 1 65536\"\n"
                       "feature option=\"Threads -spin 1 1 64\"\n"
                       "feature option=\"Ponder -check 1\"\n"
                       "feature option=\"OwnBook -check 1\"\n"
                       "feature option=\"NalimovPath -path \"\n"
                       "feature option=\"SyzygyPath -path \"\n"
                       "feature option=\"Syzygy50MoveRule -check 1\"\n"
                       "feature option=\"SyzygyProbeLimit -spin 7 0 7\"\n"
                       "feature option=\"SyzygyProbeDepth -spin 1 1 100\"\n"
                       "feature option=\"MultiPV -spin 1 1 500\"\n"
                       "feature option=\"Move Overhead -spin 10 0 5000\"\n"
                       "feature option=\"UCI_LimitStrength -check 0\"\n"
                       "feature option=\"UCI_Elo -spin 1800 1200 2000\"\n"
                       "feature option=\"Resign Score -spin -1000 -9000 0\"\n"
                       "feature option=\"Clear Hash -button\"\n"
                       "feature done=1\n"
                       "pong 7\n"
                       "pong \n");
}

TEST(ConsoleSession, HelpListingIsComplete) {
    std::string expected =
        "quit\t\tquit the program\n"
        "computer\topponent is in the ics computer list\n"
        "setboard\tset the board position with a fen string\n"
        "print\t\tprint the current board position\n"
        "xboard\t\tswitch to winboard mode\n"
        "force\t\tforce mode - engine will not search, but will except moves\n"
        "new\t\tnew game\n"
        "easy\t\tturn pondering off\n"
        "hard\t\tturn pondering on\n"
        "white\t\tyou will play white\n"
        "black\t\tyou will play black\n"
        "clocks\t\tshow time left on clocks\n"
        "random\t\tnot implemented\n"
        "level\t\tset time control\n"
        "post\t\tshow thinking\n"
        "nopost\t\tdon't show thinking\n"
        "go\t\tset computer's turn to move and start searching\n"
        "analyze\t\tanalyze mode - search will continue indefinately\n"
        "eval\t\tshow eval score for current position\n"
        "st\t\tset search time x - where x is in milliseconds\n"
        "name\t\tset opponents name\n"
        "Press Enter for more....\n"
        "rating\t\tset ratings\n"
        "time\t\tset computer's time in 100th's of a second\n"
        "otim\t\tset opponent's time in 100th's of a second\n"
        "result\t\tset result of the game\n"
        "book\t\tbook create <name of pgn file>\r\n\t\tbook info\n"
        "hash\t\tset hash table sizes in MB: hash <dp> <as> <pawn> <qsearch>\r\n\t\tDefaults are: 4 2 2 2\n"
        "help\t\thelp\n"
        "draw\t\toffer or accept a draw\n"
        "protover\txboard command\n"
        "accepted\txboard command\n"
        "ping\t\txboard command\n"
        "exit\t\tstop analyzing current position\n"
        "depth\t\tset fixed search depth\n"
        "perft\t\ttest the move generator with the 'perft' test\n"
        "ht\t\tprint hash table info\n"
        ".\t\tget search information during search\n"
        "evaltest\ttest the eval function against an epd file\n"
        "epdtest\t\trun a test suite (epd) file\n"
        "undo\t\tunmake the last move\n"
        "ponder\t\tforce pondering (accepts a move string to ponder)\n"
        "egtpath\t\twinboard egtpath command\n"
        "playother\twinboard playother command\n"
        "cores\t\twinboard cores command - set the number of cpus\n"
        "ics\t\twinboard ics command - set the hostname of the ics in use\n"
        "tbprobe\t\tshow what the endgame tablebases say about the position\n"
        "sd\t\tset the search depth limit in plies\n"
        "nps\t\tcount the engine's clock in nodes at this rate per second\n"
        "memory\t\tset both hash tables together in MB\n"
        "?\t\tmove now\n"
        "hint\t\tshow the reply the engine expects\n"
        "bk\t\tshow the book moves of the position\n"
        "remove\t\ttake back the last two moves\n"
        "exclude\t\tleave a root move (or all) out of the search\n"
        "include\t\tsearch an excluded root move (or all) again\n"
        "setscore\tset the score and depth of the position\n"
        "option\t\tset an engine option: option NAME=VALUE\n"
        "rejected\txboard command\n"

        "multipv\t\tsearch the n best moves, each with its own line: multipv <n>\n"
        "bench\t\trun the benchmark search: nodes searched and nodes per second\n"

        "variant\t\tplay a variant: normal or fischerandom (Chess960); a new game starts\n";
    // On a pipe the listing must not swallow the next command while it waits
    // for a key.
    std::string out = runEngine("xboard\nhelp\nping 3\n");
    EXPECT_EQ(afterBanner(out), "\n" + expected + "pong 3\n");
}

TEST(ConsoleSession, MoveEntryMessages) {
    std::string out = runEngine(
        "xboard\n"
        "e2e5\n"            // parses, but no generated move matches
        "xyz1\n"            // read as a pawn move that matches nothing
        "abcdefghi\n"       // longer than any move
        "e2 e4\n"           // a blank is never part of a move
        "setboard 4k3/8/8/8/8/8/4r3/4K3 w - - 0 1\n"
        "Kd2\n"             // onto the rook's rank: king moves into attack are never generated
        "e1f2\n"
        "Ke2\n"             // a capture written without x matches no generated move
        "Kxe2\n"
        "ping 1\n");
    EXPECT_EQ(afterBanner(out),
              "\n"
              "Illegal move: e2e5\nMove not generated by engine.\n"
              "Illegal move: xyz1\nMove not generated by engine.\n"
              // xboard's form for what is neither a command nor a move
              "Error (unknown command): abcdefghi\n"
              "Error (unknown command): e2 e4\n"
              "Board set.\n"
              "Illegal move: Kd2\nMove not generated by engine.\n"
              "Illegal move: e1f2\nMove not generated by engine.\n"
              "Illegal move: Ke2\nMove not generated by engine.\n"
              "pong 1\n");
    // The console keeps its own words.
    out = runEngine("abcdefghi\n");
    EXPECT_NE(out.find("unrecognized command: abcdefghi\n"), std::string::npos) << out;
}

TEST(ConsoleSession, GeneratedMoveLeavingKingInCheckGetsOnlyTheFirstLine) {
    // The white knight on e2 is pinned by the rook on e8: generated, illegal.
    std::string out = runEngine("xboard\nsetboard 4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1\nNc3\nping 2\n");
    EXPECT_EQ(afterBanner(out), "\nBoard set.\nIllegal move: Nc3\npong 2\n");
}

TEST(ConsoleSession, PerftFormsAndUsage) {
    const std::string usage =
        "usage: perft n (divide)- where n is the depth you want to test the move generator. "
        "Optionally, specify 'divide' to show root move list and counts\n";
    std::string out = runEngine("xboard\nperft\nperft 0\nperft -3\nperft 2 x\nperft 3\r\nperft 3\nperft 2 divide\n");
    std::string text = afterBanner(out);
    // Bare word, zero or negative depth and a wrong third word give the
    // usage line.
    size_t pos = 1;
    for (int i = 0; i < 4; i++) {
        ASSERT_EQ(text.compare(pos, usage.size(), usage), 0) << text;
        pos += usage.size();
    }
    // A line ending in CR LF is the same command as one ending in LF.
    std::string rest = text.substr(pos);
    ASSERT_EQ(rest.compare(0, 23, "perft depth 3: 8902 mov"), 0) << rest;
    size_t second = rest.find("ms)\nperft depth 3: 8902 mov");
    ASSERT_NE(second, std::string::npos) << rest;
    rest = rest.substr(second + 4);
    // Divide: one line per legal move with its count, then the totals.
    EXPECT_NE(rest.find("\nNa3:\t20\n"), std::string::npos) << rest;
    EXPECT_NE(rest.find("\ne4:\t20\n"), std::string::npos);
    EXPECT_NE(rest.find("moves: 20\ntotal nodes: 400\nperft 2 divide completed ("), std::string::npos);
}

TEST(ConsoleSession, SetboardAcceptsAndRejects) {
    std::string out = runEngine(
        "xboard\n"
        "setboard rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1\n"
        "print\n"
        "setboard 8/8/8/8/8/8/8/8 w - - 0 1\n"      // no kings
        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 1000 1\n"
        "setboard\n"
        "print\n");
    const std::string afterE4 =
        "\n"
        " r n b q k b n r\n"
        " p p p p p p p p\n"
        " - - - - - - - -\n"
        " - - - - - - - -\n"
        " - - - - P - - -\n"
        " - - - - - - - -\n"
        " P P P P - P P P\n"
        " R N B Q K B N R\n"
        "\n";
    // A rejected position keeps the previous one.
    EXPECT_EQ(afterBanner(out), "\nBoard set.\n" + afterE4 + "Invalid fen position.\nInvalid fen position.\n" +
                                    "Invalid fen position.\n" + afterE4);
}

TEST(ConsoleSession, UndoTakesBackAndReportsAnEmptyRecord) {
    std::string out = runEngine("undo\ne2e4\nundo\nprint\nundo\n");
    std::string text = afterBanner(out);
    EXPECT_EQ(text.find("At the beginning of the move list.\n"), 0u) << text;
    EXPECT_NE(text.find(" P P P P P P P P\n"), std::string::npos);
    EXPECT_EQ(text.rfind("At the beginning of the move list.\n"), text.size() - 35) << text;
}

TEST(ConsoleSession, UndoAfterSetboardHasNothingToTakeBack) {
    // The moves before a set-up position belong to another game.
    std::string out = runEngine("xboard\ne2e4\nsetboard 4k3/8/8/8/8/8/8/4K2R w K - 0 1\nundo\nprint\n");
    EXPECT_EQ(afterBanner(out),
              "\nBoard set.\nAt the beginning of the move list.\n\n"
              " - - - - k - - -\n - - - - - - - -\n - - - - - - - -\n - - - - - - - -\n"
              " - - - - - - - -\n - - - - - - - -\n - - - - - - - -\n - - - - K - - R\n\n");
}

TEST(ConsoleSession, LinesAreSplitAtEverySpace) {
    // Two spaces give an empty word 1; two lines in one write run one by one.
    std::string out = runEngine("xboard\nping  7\nping 8\nping 9\n");
    EXPECT_EQ(afterBanner(out), "\npong \npong 8\npong 9\n");
}

TEST(ConsoleSession, OverlongLineIsRejectedOnceAndTheEngineGoesOn) {
    std::string huge(5000, 'x');
    std::string out = runEngine("xboard\n" + huge + "\nping 4\n" + std::string(3000, 'y'));
    EXPECT_EQ(afterBanner(out), "\nError (line too long): ignored\npong 4\nError (line too long): ignored\n");
}

TEST(ConsoleSession, UnfinishedLastLineStillRuns) {
    int status = -1;
    std::string out = runEngine("xboard\nping 5", &status);
    EXPECT_EQ(afterBanner(out), "\npong 5\n");
    EXPECT_EQ(status, 0);
}

TEST(ConsoleSession, InterruptAndTerminateSignalsAreIgnored) {
    EngineSession engine;
    engine.sendLine("xboard");
    ASSERT_TRUE(engine.waitFor("W> \n"));
    kill(engine.pid(), SIGINT);
    kill(engine.pid(), SIGTERM);
    engine.sendLine("ping 9");
    EXPECT_TRUE(engine.waitFor("pong 9\n"));
    engine.sendLine("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(ConsoleSession, ClocksAndLevel) {
    std::string out = runEngine(
        "xboard\nlevel 40 5 0\nclocks\ntime 6000\notim 12345\nclocks\nlevel x 5:30 2\nclocks\n"
        "level 0 1:30 0.1\nclocks\nlevel 0 0.5 0\nclocks\notim -5\notim 12.5\nclocks\n");
    EXPECT_EQ(afterBanner(out),
              "\n"
              "\nWhite: 00:05:00\nBlack: 00:05:00\n\n"
              // engine side is none, so White shows the opponent clock
              "\nWhite: 00:02:03\nBlack: 00:02:03\n\n"
              // a level it cannot read changes nothing
              "Error (bad arguments): level x 5:30 2\n"
              "\nWhite: 00:02:03\nBlack: 00:02:03\n\n"
              // minutes:seconds, and half a minute
              "\nWhite: 00:01:30\nBlack: 00:01:30\n\n"
              "\nWhite: 00:00:30\nBlack: 00:00:30\n\n"
              // a clock past zero is empty; a fraction of a centisecond is no clock
              "Error (bad arguments): otim 12.5\n"
              "\nWhite: 00:00:00\nBlack: 00:00:00\n\n");
}

}  // namespace

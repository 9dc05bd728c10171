// The "eval" and "evaltest" commands' output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "board/notation.h"
#include "eval/pawn_table.h"
#include "shell/evaltest.h"
#include "shell/shell_state.h"
#include "support/test_support.h"

namespace {

class EvalCommands : public ::testing::Test {
protected:
    std::unique_ptr<Position> pos;
    void SetUp() override {
        pos = startPosition();
        if (!gPawnTable.entries) {
            ASSERT_TRUE(allocatePawnTable(1 << 20));
        }
        gGame.engineSide = -1;
    }
    std::string run(const std::string& fileName, int wordCount = 2) {
        testing::internal::CaptureStdout();
        commandEvaltest(*pos, wordCount, fileName.c_str());
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(EvalCommands, EvalPrintsTheScore) {
    testing::internal::CaptureStdout();
    commandEval(*pos);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Eval: 5\n");
}

TEST_F(EvalCommands, EvaltestUsageAndMissingFile) {
    EXPECT_EQ(run("", 0), "usage: evaltest <epdfile>\n");
    EXPECT_EQ(run("/nonexistent/suite.epd"), "could not open /nonexistent/suite.epd\n");
}

TEST_F(EvalCommands, EvaltestScoresEachPositionAndItsMirror) {
    char name[] = "/tmp/tarno-evaltest-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(name) << "# two positions\n"
                           "8/8/8/3k4/8/8/8/R3K3 w - - bm Ra5+; id \"rook\";\r\n"
                           "\n"
                           "7k/8/8/8/8/8/8/K1BN4 b - - ; this one has no best move\n";
    // Something other than the start position, to see it restored.
    ASSERT_EQ(setBoardFromFen(*pos, "4k3/8/8/8/8/8/8/4K3 w - - 0 1"), 0);
    std::string out = run(name);
    std::remove(name);
    EXPECT_EQ(out,
              "# two positions\n"
              "8/8/8/3k4/8/8/8/R3K3 w - - bm Ra5+\n"
              "Eval Score: 634\n"
              "flipping board\n"
              "Mirror eval score: 634\n"
              "\n"
              "7k/8/8/8/8/8/8/K1BN4 b - - \n"
              "Eval Score: -821\n"
              "flipping board\n"
              "Mirror eval score: -821\n");
    auto start = startPosition();
    EXPECT_EQ(pos->hashKey, start->hashKey) << "the start position is set again";
}

}  // namespace

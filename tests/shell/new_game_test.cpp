// What the commands that start a game afresh reset: the book's count of
// moves it had no answer for (which decides whether the evaluation may drop
// cached pawn scores) and whether the engine may ponder.
#include <gtest/gtest.h>

#include "book/book_state.h"
#include "eval/pawn_table.h"
#include "search/transposition.h"
#include "shell/commands.h"
#include "shell/shell_state.h"
#include "support/test_support.h"

namespace {

class NewGame : public ::testing::Test {
protected:
    std::unique_ptr<Position> pos = startPosition();
    ShellState savedShell = gShell;
    void SetUp() override {
        if (!gPawnTable.entries) {
            ASSERT_TRUE(allocatePawnTable(1 << 20));
        }
        if (!gTransposition.buckets) {
            ASSERT_TRUE(allocateTranspositionTable(1 << 20));
        }
    }
    void TearDown() override { gShell = savedShell; }
    void command(const std::string& text) {
        char line[LINE_SIZE];
        std::snprintf(line, sizeof line, "%s", text.c_str());
        testing::internal::CaptureStdout();
        dispatchCommand(*pos, line);
        testing::internal::GetCapturedStdout();
    }
};

TEST_F(NewGame, SetboardAndNewStartTheBookCountAfresh) {
    gBook.missCount = 3;
    command("setboard 8/8/8/8/8/8/8/8 w - - 0 1");  // no kings: rejected
    EXPECT_EQ(gBook.missCount, 3);
    command("setboard 4k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_EQ(gBook.missCount, 0);
    // A set-up position is not pondered on until the engine has moved in it.
    EXPECT_FALSE(gShell.ponderNext);
    gBook.missCount = 2;
    command("new");
    EXPECT_EQ(gBook.missCount, 0);
}

}  // namespace

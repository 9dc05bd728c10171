// The time planned for one move from the clocks and the time control.
#include <gtest/gtest.h>

#include "board/position.h"
#include "shell/game_flow.h"
#include "shell/shell_state.h"

namespace {

class MoveTime : public ::testing::Test {
protected:
    ShellState saved = gShell;
    int savedPly = gGame.gamePly;
    void TearDown() override {
        gShell = saved;
        gGame.gamePly = savedPly;
    }
    uint32_t plan(uint32_t clock, uint32_t increment = 0) {
        gShell.fixedTime = false;
        gShell.engineClock = clock;
        gShell.increment = increment;
        computeMoveTime();
        return gShell.moveTime;
    }
};

TEST_F(MoveTime, SuddenDeathSharesTheClockByItsSize) {
    gShell.nextControlMove = 0;
    EXPECT_EQ(plan(10000), 333u);
    EXPECT_EQ(plan(10000, 2000), 1333u);  // half the increment on top
    EXPECT_EQ(plan(9999), 142u);
    EXPECT_EQ(plan(30000), 600u);
    EXPECT_EQ(plan(60000), 2000u);
    EXPECT_EQ(plan(3001), 42u);
    EXPECT_EQ(plan(2999, 1000), 15u);  // almost out of time: move at once
}

TEST_F(MoveTime, MovesPerControlShareTheClockOverTheMovesLeft) {
    gShell.movesPerControl = 40;
    gShell.nextControlMove = 40;
    gShell.engineSide = WHITE;
    gGame.gamePly = 1;
    EXPECT_EQ(plan(60000, 0), 60000u / 41);
    EXPECT_EQ(plan(60000, 500), 60000u / 41 + 500);
    // The last move before the control may use all but a second.
    gGame.gamePly = 79;
    EXPECT_EQ(plan(20000), 19000u);
    gShell.engineSide = BLACK;
    gGame.gamePly = 80;
    EXPECT_EQ(plan(20000), 19000u);
    // Very little left: half a second, and never a wrapped-around clock.
    EXPECT_EQ(plan(900), 500u);
    gGame.gamePly = 60;
    EXPECT_EQ(plan(5000), 500u);
}

TEST_F(MoveTime, FixedTimeIsKept) {
    gShell.fixedTime = true;
    gShell.moveTime = 7000;
    gShell.engineClock = 1000;
    computeMoveTime();
    EXPECT_EQ(gShell.moveTime, 7000u);
}

TEST_F(MoveTime, AClockNeverSetPlansLikeFiveMinutes) {
    gShell.nextControlMove = 0;
    EXPECT_EQ(plan(CLOCK_NOT_SET), 300000u / 30);
}

}  // namespace

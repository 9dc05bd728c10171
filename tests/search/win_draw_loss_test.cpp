// The odds beside a score: decided by a mate or a table, otherwise the
// fitted curves, which must read as chances at every score and phase.
#include <gtest/gtest.h>

#include "search/score.h"
#include "search/win_draw_loss.h"
#include "support/test_support.h"

namespace {

TEST(WinDrawLoss, ChancesAddUpRiseWithTheScoreAndMirror) {
    for (int phase = 0; phase <= 24; phase++) {
        WinDrawLoss before = winDrawLoss(-MATE_THRESHOLD, phase);
        for (int s = -MATE_THRESHOLD; s <= MATE_THRESHOLD; s += 7) {
            const WinDrawLoss w = winDrawLoss(s, phase);
            EXPECT_EQ(w.win + w.draw + w.loss, 1000) << s;
            EXPECT_GE(w.draw, 0);
            EXPECT_GE(w.win, before.win) << "a better score never wins less: " << s << " phase " << phase;
            EXPECT_LE(w.loss, before.loss) << s;
            const WinDrawLoss mirror = winDrawLoss(-s, phase);
            EXPECT_EQ(w.win, mirror.loss) << s;
            before = w;
        }
        // Level: neither side is favoured; a rook up: more often won than not.
        const WinDrawLoss level = winDrawLoss(0, phase);
        EXPECT_EQ(level.win, level.loss);
        EXPECT_GT(winDrawLoss(500, phase).win, 500) << phase;
    }
    // The same two pawns up mean more with fewer pieces left to turn it round.
    EXPECT_GT(winDrawLoss(200, 3).win, winDrawLoss(200, 22).win);
}

TEST(WinDrawLoss, MatesAndTableResultsDecide) {
    for (int s : {MATE - 1, MATE - 40, TABLEBASE_WIN - 30}) {
        const WinDrawLoss won = winDrawLoss(s, 10);
        EXPECT_EQ(won.win, 1000);
        const WinDrawLoss lost = winDrawLoss(-s, 10);
        EXPECT_EQ(lost.loss, 1000);
    }
}

TEST(WinDrawLoss, PhaseGroupsCoverEveryPhaseOnce) {
    int next = 0;
    for (int g = 0; g < WDL_PHASE_GROUPS; g++) {
        EXPECT_EQ(wdlPhaseGroupLow(g), next);
        for (int p = wdlPhaseGroupLow(g); p <= wdlPhaseGroupHigh(g); p++) EXPECT_EQ(wdlPhaseGroup(p), g);
        next = wdlPhaseGroupHigh(g) + 1;
    }
    EXPECT_EQ(next, 25);
    initEngineTables();
    EXPECT_EQ(materialPhase(*startPosition()), 24);
    EXPECT_EQ(materialPhase(*positionFromFen("4k3/pppp4/8/8/8/8/4PPPP/2R1K3 w - - 0 1")), 2);
    // Promotions do not take the phase past the start's.
    EXPECT_EQ(materialPhase(*positionFromFen("k7/8/8/8/8/8/1QQQQQQQ/4K3 b - - 0 1")), 24);
}

}  // namespace

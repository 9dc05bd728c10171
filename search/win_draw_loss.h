// Win, draw and loss chances of a score: what analysts read beside the
// score (UCI_ShowWDL). A mate or a tablebase result decides the game; any
// other score is read through a model of how real games ended from such
// scores, fitted by tools/wdl_fit.cpp on 145,716 games, one curve per
// material phase: the same pawn up means more in an endgame, where fewer
// pieces are left to turn it round, and draws are commoner there too.
#pragma once

#include "board/board.h"

// Knights and bishops 1, rooks 2, queens 4, for both sides: 24 at the
// start, 0 with kings and pawns alone (more after promotions, read as 24).
int materialPhase(const Board& pos);

// The phases in groups of their own curve.
constexpr int WDL_PHASE_GROUPS = 4;
int wdlPhaseGroup(int phase);
int wdlPhaseGroupLow(int group);
int wdlPhaseGroupHigh(int group);

// Per mille for the side the score is for; the three add up to 1000.
struct WinDrawLoss {
    int win = 0;
    int draw = 1000;
    int loss = 0;
};
WinDrawLoss winDrawLoss(int score, int phase);

// Shared set-up for the search tests: fresh tables and default settings for
// every test, and a fixed-depth search driver.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "search/iterate.h"
#include "eval/eval_settings.h"
#include "search/output.h"
#include "search/search_shared.h"
#include "search/time_control.h"
#include "search/transposition.h"
#include "support/test_support.h"

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        initEngineTables();
        if (!gTransposition.buckets) {
            ASSERT_TRUE(allocateTranspositionTable(4u << 20));
        }
        std::memset(gTransposition.buckets, 0, (gTransposition.bucketMask + 1) * sizeof(HashBucket));
        gTransposition.age = 0;
        if (!gPawnTable.entries) {
            ASSERT_TRUE(allocatePawnTable(1u << 20));
        }
        clearPawnTable();

        gTimeControl = TimeControl{};
        gLimits = SearchLimits{};
        gOutput = OutputSettings{};
        gEvalSettings = EvalSettings{};
        gGame.engineSide = -1;
        gSearch.abortFlag = false;
        gSearch.nodeCountdown = 65535;
        gSearch.checkInterval = 65535;
        gSearch.iterationDepth = 1;
        gSearch.rootAlpha = -10000;
        gSearch.rootBeta = 10000;
        gSearch.rootLowerBound = -10000;
        gSearch.lastCompletedScore = -10000;
        gSearch.lastCompletedDepth = 0;
        gSearch.easyMove = 0;
        gSearch.ponderingInProgress = false;
        gSearch.puzzle = false;
        gSearch.rootMoveCount = 0;
        gSearch.rootFailBits = 0;
        gSearch.tablebaseMenLimit = 0;
        gSearch.syzygyMenLimit = 0;
        gSearch.syzygy50MoveRule = true;
        gGame.repetitionCount = 0;
        gGame.gameRecord.clear();
    }

    // A position as a game would hold it (a new game from the FEN), with the
    // search state reset.
    std::unique_ptr<Position> setUp(const std::string& fen) {
        auto pos = positionFromFen(fen);
        resetSearch(*pos);
        prepareEvaluation(*pos);
        return pos;
    }

    // Iterative deepening to a fixed depth; returns the last complete
    // iteration's score. Output is swallowed.
    int searchToDepth(Position& pos, int depth) {
        SearchLimits limits;
        limits.depthLimit = depth + 1;
        limits.fixedTime = true;
        limits.moveTime = 100000000;
        gGame.engineSide = pos.sideToMove;
        resetSearch(pos);
        limits.startTime = timeNow();
        startSearchClock(limits);
        prepareEvaluation(pos);
        testing::internal::CaptureStdout();
        iterate(pos);
        searchOutput = testing::internal::GetCapturedStdout();
        return gSearch.lastCompletedScore;
    }

    std::string searchOutput;
};

inline Move findMove(Position& pos, int from, int to, int promotion = 0) {
    Move list[MAX_MOVES];
    Move* end = generateAllMoves(pos, list);
    for (Move* m = list; m < end; m++)
        if (moveFrom(*m) == from && moveTo(*m) == to && movePromotion(*m) == promotion) return *m;
    return 0;
}

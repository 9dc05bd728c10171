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
#include "search/new_game.h"
#include "eval/eval_settings.h"
#include "search/reporter.h"
#include "search/search_request.h"
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
        if (!gPawnTable.entries) {
            ASSERT_TRUE(allocatePawnTable(1u << 20));
        }
        // A new game with nothing stored from earlier tests.
        static EvalBoard board;
        beginGame(board, nullptr, StoredResults::Dropped);

        // The search as start-up leaves it: no protocol, no input, no
        // earlier search.
        setReporter(Reporter{});
        setInputHook(nullptr);
        setCheckInterval(65535);
        forgetLastScore();
        gEvalSettings = EvalSettings{};
        gGame.engineSide = -1;
    }

    // A position as a game would hold it (a new game from the FEN), with the
    // search state reset.
    std::unique_ptr<Position> setUp(const std::string& fen) {
        auto pos = positionFromFen(fen);
        prepareSearch(*pos, requestDefaults);
        return pos;
    }

    // A search to a fixed depth, as the "depth" command asks for it, with
    // the tables of `requestDefaults`.
    SearchRequest depthRequest(int depth) const {
        SearchRequest request = requestDefaults;
        request.depthLimit = depth + 1;
        request.clocks.fixedTime = true;
        request.clocks.fixedMoveTime = 100000000;
        request.startTime = timeNow();
        return request;
    }

    // Iterative deepening to a fixed depth; returns the last complete
    // iteration's score. Output is swallowed.
    int searchToDepth(Position& pos, int depth) { return searchAsRequested(pos, depthRequest(depth)); }
    int searchAsRequested(Position& pos, const SearchRequest& request) {
        gGame.engineSide = pos.sideToMove;
        testing::internal::CaptureStdout();
        lastResult = search(pos, request);
        searchOutput = testing::internal::GetCapturedStdout();
        return gSearch.lastCompletedScore;
    }

    std::string searchOutput;
    SearchResult lastResult;
    // What every search of the test asks besides its depth (the tables).
    SearchRequest requestDefaults;
};

inline Move findMove(Position& pos, int from, int to, int promotion = 0) {
    Move list[MAX_MOVES];
    Move* end = generateAllMoves(pos, list);
    for (Move* m = list; m < end; m++)
        if (moveFrom(*m) == from && moveTo(*m) == to && movePromotion(*m) == promotion) return *m;
    return 0;
}

// Shared set-up for the evaluation tests: tables built, a small pawn table,
// and the settings the evaluation reads (and the shell state the console's
// evaluation hands on to it) put back to their defaults.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "book/book_state.h"
#include "eval/eval_settings.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "shell/shell_state.h"
#include "support/test_support.h"

class EvalTest : public ::testing::Test {
protected:
    void SetUp() override {
        initEngineTables();
        if (!gPawnTable.entries) {
            ASSERT_TRUE(allocatePawnTable(1 << 20));
        }
        clearPawnTable();
        gGame.engineSide = -1;
        gEvalSettings = EvalSettings{};
        gShell.computerOpponent = false;
        gBook.missCount = 0;
    }

public:
    // A position as the console evaluates it: root rights taken from the
    // position, tables prepared for it.
    std::unique_ptr<Position> prepared(const std::string& fen) {
        auto pos = positionFromFen(fen);
        pos->history[1].castling = pos->castling;
        prepareEvaluation(*pos);
        return pos;
    }

    int eval(const std::string& fen) {
        auto pos = prepared(fen);
        return evaluate(*pos, -10000, 10000);
    }
};

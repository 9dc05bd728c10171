// Game-level state, one copy, written by the main thread (outside a search,
// except the engine side).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "board/board.h"

constexpr int REPETITION_CAPACITY = 1024;

struct GameState {
    // Keys of the game positions since the last irreversible move, current
    // position last; a search appends its path behind them.
    uint64_t repetitionList[REPETITION_CAPACITY + HISTORY_SIZE];
    uint32_t repetitionCount;
    int gamePly;          // half-move counter, 1 before White's first move
    bool setUpPosition;   // the game did not start from the initial position
    // The game is Fischer random chess (Chess960): positions are read and
    // castling is written by its rules. Set by the protocols' variant
    // settings between games.
    bool chess960;
    // The side the engine plays: 0 White, 1 Black, -1 none (force mode). The
    // shell's commands change it at any time, also while a search runs: the
    // evaluation scores some terms for the engine's side only, and "force"
    // or "exit" end the deepening of a running search through it, and
    // idle search threads end when it becomes -1. Every search thread reads
    // it, so it is an atomic value.
    std::atomic<int> engineSide{-1};
    // One record per move played in the game, for "undo" and learning.
    // Grows only between searches.
    std::vector<HistoryEntry> gameRecord;
};
extern GameState gGame;

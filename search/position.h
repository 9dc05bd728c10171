// The search thread's record: the board and the evaluation's scratch it
// inherits, and the thread's search stack, counters and split state. The
// whole record is plain data, so it can be copied as one (the ponder
// record, the records of the split pool).
#pragma once

#include <cstdint>

#include "board/game_state.h"
#include "eval/eval_board.h"
#include "search/stack_types.h"

// Every ply a search can reach has its history entry.
static_assert(PLY_SLOTS <= HISTORY_SIZE);

struct Position : EvalBoard {
    // --- search working state of the thread that owns this record ---
    Move hashMove[PLY_SLOTS];        // move delivered by the table probe at each ply
    Move currentMove[PLY_SLOTS];     // move being searched; [p-1] led to ply p
    PVRow pv[PLY_SLOTS];
    uint8_t inCheck[PLY_SLOTS];
    Move killers[PLY_SLOTS][2];
    PickerState picker[PLY_SLOTS];
    int32_t listStart[PLY_SLOTS + 1];  // ply p's moves: moveStack[listStart[p] .. listStart[p+1])
    uint32_t movesDelivered[PLY_SLOTS];
    uint32_t movesSearched[PLY_SLOTS];
    Move moveStack[MOVE_STACK_SIZE];
    int32_t sortKeys[SORT_KEYS_SIZE];
    SearchStatistics stats;
    // Set by another thread when this record's work at a split is no longer
    // needed; read through searchStopped.
    uint8_t stopFlag;
    int32_t threadNumber;   // 0 for the thread that reads input and the clock
    // Keys of the positions on this thread's search path, by ply, for the
    // repetition test; the game's own positions stay in gGame, which the
    // search reads behind them.
    uint64_t pathKeys[PLY_SLOTS];

    // --- parallel search: this record as a split node, or as a worker's copy ---
    // The words other threads read while spinning (workerCount, splitLock,
    // stopFlag) are only ever touched through atomic operations.
    Position* parent;                         // the split node this copy works for; null at a search's root
    Position* children[MAX_THREAD_COUNT];     // by thread: the copies working for this record's split node
    uint32_t workerCount;                     // copies still working for it
    uint32_t inUse;                           // taken from the record pool
    uint32_t splitLock;                       // guards the split node's picker, counts and best result
    int32_t splitDepth, splitAlpha, splitBeta;
    int32_t splitBestScore;                   // the best the workers have found, and its move
    Move splitBestMove;
};

// Plain records of one search thread's working state. They live inside the
// thread's Position so that a whole record can be copied (ponder record,
// split copies) without chasing pointers.
#pragma once

#include <cstdint>

#include "board/types.h"

constexpr int MAX_PLY = 64;
// Per-ply arrays are indexed by ply 0 .. MAX_PLY + 2: the root is ply 1 and a
// node at ply 65 still writes its own slot and the start of ply 66's list.
constexpr int PLY_SLOTS = MAX_PLY + 3;
constexpr int MOVE_STACK_SIZE = 8192;
constexpr int SORT_KEYS_SIZE = 256;
// At most this many copies work at one split node: more would cost more
// in copying than the node's remaining moves can repay.
constexpr int MAX_SPLIT_WORKERS = 8;
// Search threads, the main thread included: from the settings file or
// "cores". More would only exhaust memory with their record pools.
constexpr unsigned MAX_THREAD_COUNT = 64;

// A principal variation found below one ply: moves[p .. end-1] is the line
// from ply p on. depth records the iteration depth when the line was cut
// short (draw, hash hit, tablebase hit, maximum ply).
struct PVRow {
    Move moves[MAX_PLY + 1];
    uint8_t end;
    uint8_t depth;
};

// State of the staged move picker at one ply. Positions in the move stack are
// indices, never pointers, so a copied record stays valid.
struct PickerState {
    uint8_t reportedStage;
    uint8_t status;
    int32_t badCaptureMark;  // -1: no losing captures held back
    int32_t next;            // next move of the list to deliver
};

// Per-thread counters, cleared at the start of every search.
struct SearchStatistics {
    uint32_t nodes;
    uint32_t quiescenceNodes;
    uint32_t hashProbes;
    uint32_t hashHits;
    uint32_t nullMovesTried;
    uint32_t nullMoveCutoffs;
    uint32_t failHighs;
    uint32_t firstMoveFailHighs;
    uint32_t hashMoveFailHighs;
    uint32_t killerFailHighs;
    uint32_t lateMoveResearches;
    uint32_t pvsResearches;
    uint32_t prunedMoves;
    uint32_t checkExtensions;
    uint32_t tablebaseProbes;
    uint32_t tablebaseHits;
    uint32_t passedPawnPushes;
    uint32_t selDepth;  // deepest ply any node of the search reached (root = 1)
};

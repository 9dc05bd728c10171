// The pawn hash table shared by all search threads: a power-of-two array of
// PawnEntry records, used without locks (see PawnEntry's check word).
#pragma once

#include <cstdint>

#include "eval/pawn_entry.h"

struct PawnTable {
    PawnEntry* entries = nullptr;
    uint64_t count = 0;  // a power of two
    uint64_t mask = 0;   // count - 1
};
extern PawnTable gPawnTable;

// Largest power of two of entries that fits in `bytes`, zero-filled and
// 32-byte aligned. Returns false (table empty) when memory is short.
bool allocatePawnTable(uint64_t bytes);
void freePawnTable();
void clearPawnTable();

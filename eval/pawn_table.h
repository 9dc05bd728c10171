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

// A new zero-filled, 32-byte aligned table with the largest power of two of
// entries that fits in `bytes`. Returns false (out untouched) when memory is
// short or `bytes` holds no entry.
bool createPawnTable(uint64_t bytes, PawnTable& out);
// Frees the running table and puts `table` in its place.
void installPawnTable(const PawnTable& table);
// create + install; on failure the running table stays as it was.
bool allocatePawnTable(uint64_t bytes);
void freePawnTable();
void clearPawnTable();

// Reads the slot of `key`. True when it holds that key: `out` then carries
// the key, word 1 and word 2. A torn slot simply fails the check.
bool probePawnTable(uint64_t key, PawnEntry& out);
// Writes `entry` (whose key word is the pawn key) into its slot, always
// replacing what was there.
void storePawnEntry(const PawnEntry& entry);
// Empties the slot of `key`, so its structure is evaluated afresh.
void forgetPawnEntry(uint64_t key);

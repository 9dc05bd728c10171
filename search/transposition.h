// The transposition table: buckets of four 16-byte entries, one cache line
// each, shared by all search threads without locks. Every word is read and
// written as a whole 64-bit relaxed atomic; an entry whose check word does
// not match (data ^ check != key) is simply a miss, so a torn write can never
// hand a thread the wrong position's score.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/position.h"

// Data word, from the least significant bit: depth (8), bound (4), age (4),
// score + 32767 (16), move (32). Check word = data ^ hash key.
struct HashEntry {
    uint64_t data;
    uint64_t check;
};

struct alignas(64) HashBucket {
    HashEntry entries[4];
};
static_assert(sizeof(HashBucket) == 64);

// Bound types, and the probe's answers.
constexpr int HASH_NONE = 0;
constexpr int HASH_UPPER = 2;
constexpr int HASH_LOWER = 4;
constexpr int HASH_EXACT = 8;
constexpr int HASH_AVOID_NULL = 32;

struct TranspositionTable {
    HashBucket* buckets = nullptr;
    uint64_t bucketMask = 0;  // number of buckets - 1
    uint64_t bytes = 0;
    uint8_t age = 0;          // transposition age, low four bits used
};
extern TranspositionTable gTransposition;

// A new zero-filled, 64-byte aligned table of `bytes` bytes, not yet in use.
// Returns false (out untouched) when memory is short. The new table is made
// before the old one goes, so a size the machine cannot give leaves the
// running table in place.
bool createTranspositionTable(uint64_t bytes, TranspositionTable& out);
// Frees the running table and puts `table` in its place (the age stays).
void installTranspositionTable(const TranspositionTable& table);
// create + install; on failure the running table stays as it was.
bool allocateTranspositionTable(uint64_t bytes);
void freeTranspositionTable();

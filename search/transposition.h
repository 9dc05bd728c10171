// The transposition table: buckets of four 16-byte entries, one cache line
// each, shared by all search threads without locks. Every word is read and
// written as a whole 64-bit relaxed atomic; an entry whose check word does
// not match (data ^ check != key) is simply a miss, so a torn write can never
// hand a thread the wrong position's score.
#pragma once

#include <cstddef>
#include <cstdint>

#include "search/position.h"

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
// Empties every entry (between searches only).
void clearTranspositionTable();
// How full the table is with this search's entries, in thousandths, judged
// from its first thousand entries.
int transpositionFullness();

// Probes the table for the position at its current ply. Answers HASH_NONE,
// HASH_UPPER or HASH_LOWER (a cut-off), HASH_EXACT, or HASH_AVOID_NULL
// (nothing usable, and a null move would fail anyway). Every hit delivers
// its move into the ply's hash-move slot and renews the entry's age; a
// usable score comes back through `score`, with mate distances counted
// from the probing node.
int hashProbe(Position& pos, int depth, int alpha, int beta, int& score);
// Stores a search result for `key` found at `ply`.
void hashStore(uint64_t key, int ply, int depth, int score, int bound, Move move);
// Makes the table hand out `move` as the hash move of `key`, keeping any
// depth and score already stored for that position.
void hashStorePV(uint64_t key, Move move);
// Starts loading the bucket of `key` into the cache, so that the probe that
// follows a little later does not wait for memory.
inline void prefetchBucket(uint64_t key) {
    if (gTransposition.buckets) __builtin_prefetch(&gTransposition.buckets[key & gTransposition.bucketMask]);
}
// Advances the age at the start of a search (modulo 16).
void advanceTranspositionAge();
// The age one step back: entries written by the ponder search, one age ago,
// count as current again when its result is played.
void stepTranspositionAgeBack();

// Field access for the data word.
inline int entryDepth(uint64_t data) { return int(data & 0xFF); }
inline int entryBound(uint64_t data) { return int((data >> 8) & 0xF); }
inline int entryAge(uint64_t data) { return int((data >> 12) & 0xF); }
inline int entryScore(uint64_t data) { return int((data >> 16) & 0xFFFF) - 32767; }
inline Move entryMove(uint64_t data) { return Move(data >> 32); }

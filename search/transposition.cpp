#include "search/transposition.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

TranspositionTable gTransposition;

bool createTranspositionTable(uint64_t bytes, TranspositionTable& out) {
    uint64_t bucketCount = bytes / sizeof(HashBucket);
    if (bucketCount == 0) return false;
    uint64_t size = bucketCount * sizeof(HashBucket);
    void* memory = std::aligned_alloc(64, size_t(size));
    if (!memory) return false;
    std::memset(memory, 0, size_t(size));
    out.buckets = static_cast<HashBucket*>(memory);
    out.bytes = size;
    // key & (count - 1) never leaves the table; with a count that is not a
    // power of two the buckets whose index has a bit outside the mask simply
    // go unused.
    out.bucketMask = bucketCount - 1;
    return true;
}

void installTranspositionTable(const TranspositionTable& table) {
    uint8_t age = gTransposition.age;
    freeTranspositionTable();
    gTransposition = table;
    gTransposition.age = age;
}

bool allocateTranspositionTable(uint64_t bytes) {
    TranspositionTable table;
    if (!createTranspositionTable(bytes, table)) return false;
    installTranspositionTable(table);
    return true;
}

void freeTranspositionTable() {
    std::free(gTransposition.buckets);
    gTransposition.buckets = nullptr;
    gTransposition.bucketMask = 0;
    gTransposition.bytes = 0;
}

// ---------------------------------------------------------------------------
// Probe and store.
//
// The table is shared by every search thread without locks. Each word is
// read and written whole as a relaxed 64-bit atomic, and an entry is two
// such words: a reader that catches a half-written entry sees a check word
// that does not match and treats it as a miss.

#include <atomic>

#include "search/search.h"
#include "search/search_shared.h"

namespace {

inline uint64_t loadWord(uint64_t& word) { return std::atomic_ref<uint64_t>(word).load(std::memory_order_relaxed); }
inline void storeWord(uint64_t& word, uint64_t value) {
    std::atomic_ref<uint64_t>(word).store(value, std::memory_order_relaxed);
}

inline HashBucket& bucketOf(uint64_t key) { return gTransposition.buckets[key & gTransposition.bucketMask]; }

inline uint64_t packEntry(int depth, int bound, int score, Move move) {
    return uint64_t(uint8_t(depth)) | uint64_t(bound & 0xF) << 8 | uint64_t(gTransposition.age & 0xF) << 12 |
           uint64_t(uint16_t(score + 32767)) << 16 | uint64_t(move) << 32;
}

// The slot a store for `key` goes into: the entry already holding the key;
// else the shallowest entry left over from an older search; else, when the
// whole bucket belongs to this search, the shallowest of all. Ties go to the
// earliest entry.
HashEntry& replacementSlot(HashBucket& bucket, uint64_t key, bool& holdsKey) {
    HashEntry* oldest = nullptr;
    HashEntry* shallowest = nullptr;
    int oldestDepth = 1 << 30, shallowestDepth = 1 << 30;
    for (HashEntry& entry : bucket.entries) {
        uint64_t data = loadWord(entry.data);
        if ((data ^ loadWord(entry.check)) == key) {
            holdsKey = true;
            return entry;
        }
        int depth = entryDepth(data);
        if (entryAge(data) != (gTransposition.age & 0xF) && depth < oldestDepth) {
            oldest = &entry;
            oldestDepth = depth;
        }
        if (depth < shallowestDepth) {
            shallowest = &entry;
            shallowestDepth = depth;
        }
    }
    holdsKey = false;
    return oldest ? *oldest : *shallowest;
}

inline void writeEntry(HashEntry& entry, uint64_t key, uint64_t data) {
    storeWord(entry.data, data);
    storeWord(entry.check, data ^ key);
}

}  // namespace

void clearTranspositionTable() {
    if (gTransposition.buckets) std::memset(gTransposition.buckets, 0, size_t(gTransposition.bytes));
}

int transpositionFullness() {
    constexpr uint64_t SAMPLE_BUCKETS = 250;  // 1000 entries
    if (!gTransposition.buckets) return 0;
    const uint64_t buckets = std::min(SAMPLE_BUCKETS, gTransposition.bucketMask + 1);
    int used = 0;
    for (uint64_t b = 0; b < buckets; b++) {
        for (HashEntry& entry : gTransposition.buckets[b].entries) {
            const uint64_t data = loadWord(entry.data);
            used += data != 0 && entryAge(data) == (gTransposition.age & 0xF);
        }
    }
    return int(uint64_t(used) * 1000 / (buckets * 4));
}

void advanceTranspositionAge() { gTransposition.age = uint8_t((gTransposition.age + 1) & 0xF); }

void stepTranspositionAgeBack() { gTransposition.age = uint8_t((gTransposition.age + 15) & 0xF); }

int hashProbe(Position& pos, int depth, int alpha, int beta, int& score) {
    const int ply = int(pos.historyCount);
    const uint64_t key = pos.hashKey;
    pos.stats.hashProbes++;
    if (!gTransposition.buckets) return HASH_NONE;

    HashBucket& bucket = bucketOf(key);
    HashEntry* hit = nullptr;
    uint64_t data = 0;
    for (HashEntry& entry : bucket.entries) {
        data = loadWord(entry.data);
        if ((data ^ loadWord(entry.check)) == key) {
            hit = &entry;
            break;
        }
    }
    if (!hit) return HASH_NONE;

    // A hit renews the entry, so positions the search keeps meeting survive
    // the replacement of older searches' entries.
    pos.stats.hashHits++;
    // Written only when the age changes: an entry hit again and again near
    // the root would otherwise be rewritten at every hit, taking its cache
    // line away from the other search threads each time.
    if (entryAge(data) != (gTransposition.age & 0xF)) {
        data = (data & ~(uint64_t(0xF) << 12)) | uint64_t(gTransposition.age & 0xF) << 12;
        writeEntry(*hit, key, data);
    }

    pos.hashMove[ply] = entryMove(data);
    int s = entryScore(data);
    const int bound = entryBound(data);
    const int storedDepth = entryDepth(data);

    // An upper bound below beta from a search at least as deep as the null
    // move's reduced search says the null move would fail low too.
    int reduction = nullMoveReduction(depth, pos.sides[pos.sideToMove].pieceMaterial);
    int provisional = ((bound & HASH_UPPER) && depth - reduction <= storedDepth && s < beta) ? HASH_AVOID_NULL : HASH_NONE;

    if (depth > storedDepth) return provisional;

    // Mate scores are stored as distances from the storing node; turn them
    // back into distances from the root as seen from this ply.
    s = scoreFromTable(s, ply);
    score = s;

    if (bound == HASH_UPPER && s <= alpha) return HASH_UPPER;
    if (bound == HASH_LOWER && s >= beta) return HASH_LOWER;
    if (bound == HASH_EXACT) {
        // The variation ends here. An exact score at or above beta makes the
        // parent's move worse than its alpha, and that move must not become
        // the parent's recorded best line.
        if (s < beta) {
            PVRow& row = pos.pv[ply - 1];
            row.moves[ply - 1] = pos.currentMove[ply - 1];
            row.end = uint8_t(ply);
            row.depth = uint8_t(gSearch.iterationDepth);
        }
        return HASH_EXACT;
    }
    return provisional;
}

void hashStore(uint64_t key, int ply, int depth, int score, int bound, Move move) {
    if (!gTransposition.buckets) return;
    score = scoreToTable(score, ply);
    bool holdsKey;
    HashEntry& slot = replacementSlot(bucketOf(key), key, holdsKey);
    writeEntry(slot, key, packEntry(depth, bound, score, move));
}

void hashStorePV(uint64_t key, Move move) {
    if (!gTransposition.buckets) return;
    bool holdsKey;
    HashEntry& slot = replacementSlot(bucketOf(key), key, holdsKey);
    if (holdsKey) {
        uint64_t data = (loadWord(slot.data) & 0xFFFFFFFFull) | uint64_t(move) << 32;
        writeEntry(slot, key, data);
    } else {
        writeEntry(slot, key, packEntry(0, HASH_NONE, 0, move));
    }
}

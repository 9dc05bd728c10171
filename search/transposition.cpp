#include "search/transposition.h"

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

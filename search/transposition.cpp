#include "search/transposition.h"

#include <cstdlib>
#include <cstring>

TranspositionTable gTransposition;

bool allocateTranspositionTable(uint64_t bytes) {
    freeTranspositionTable();
    uint64_t bucketCount = bytes / sizeof(HashBucket);
    if (bucketCount == 0) return false;
    size_t size = bucketCount * sizeof(HashBucket);
    void* memory = std::aligned_alloc(64, size);
    if (!memory) return false;
    std::memset(memory, 0, size);
    gTransposition.buckets = static_cast<HashBucket*>(memory);
    gTransposition.bytes = bytes;
    // key & (count - 1) never leaves the table; with a count that is not a
    // power of two the buckets whose index has a bit outside the mask simply
    // go unused.
    gTransposition.bucketMask = bucketCount - 1;
    return true;
}

void freeTranspositionTable() {
    std::free(gTransposition.buckets);
    gTransposition.buckets = nullptr;
    gTransposition.bucketMask = 0;
    gTransposition.bytes = 0;
}

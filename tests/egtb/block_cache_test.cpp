// The block cache: hits, least-recently-used replacement, and blocks filled
// by two threads at once.
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "egtb/block_cache.h"

namespace {

CacheBucket bucketsA[SIDE_BUCKETS], bucketsB[SIDE_BUCKETS];

CacheBucket* lookup(int table, int side) { return table == 1 ? bucketsA : side == 0 ? bucketsB : nullptr; }

// Reads byte `offset` of block `block` of table 1 or 2, filling a miss with
// bytes derived from the block number; counts the fills.
int fills = 0;
int readByte(int table, uint32_t block, uint32_t offset) {
    CacheBucket* buckets = lookup(table, 0);
    int byte = cacheLookup(buckets, table, 0, block, offset);
    if (byte >= 0) return byte;
    int32_t id = cacheTakeBlock();
    if (id < 0) return -1;
    fills++;
    uint8_t* data = cacheBlockData(id);
    for (uint32_t i = 0; i < 8192; i++) data[i] = uint8_t(block * 7 + table + i);
    return cachePublish(buckets, table, 0, block, id, offset);
}

struct CacheArea {
    std::vector<uint8_t> memory;
    explicit CacheArea(size_t blocks) : memory(blocks * CACHE_BLOCK_BYTES + 100) {
        std::memset(static_cast<void*>(bucketsA), 0, sizeof bucketsA);
        std::memset(static_cast<void*>(bucketsB), 0, sizeof bucketsB);
        cacheInstall(memory.data(), memory.size(), lookup);
        fills = 0;
    }
    ~CacheArea() { cacheInstall(nullptr, 0, lookup); }
};

}  // namespace

TEST(BlockCache, HitsAndLeastRecentlyUsedReplacement) {
    CacheArea area(3);
    EXPECT_EQ(cacheBlockCount(), 3u);
    EXPECT_EQ(readByte(1, 0, 5), uint8_t(0 + 1 + 5));
    EXPECT_EQ(readByte(1, 32, 5), uint8_t(32 * 7 + 1 + 5));  // the same bucket as block 0
    EXPECT_EQ(readByte(2, 0, 9), uint8_t(2 + 9));            // another table's block 0
    EXPECT_EQ(fills, 3);
    EXPECT_EQ(readByte(1, 0, 6), uint8_t(1 + 6));  // a hit, now the newest
    EXPECT_EQ(fills, 3);
    // A fourth block replaces the least recently used: table 1 block 32.
    EXPECT_EQ(readByte(1, 64, 0), uint8_t(64 * 7 + 1));
    EXPECT_EQ(fills, 4);
    readByte(1, 0, 0);
    readByte(2, 0, 0);
    EXPECT_EQ(fills, 4);
    readByte(1, 32, 0);
    EXPECT_EQ(fills, 5);
}

TEST(BlockCache, TooSmallAnAreaIsNoCache) {
    std::vector<uint8_t> memory(CACHE_BLOCK_BYTES - 1);
    EXPECT_FALSE(cacheInstall(memory.data(), memory.size(), lookup));
    EXPECT_FALSE(cacheInUse());
    EXPECT_EQ(cacheTakeBlock(), -1);
    EXPECT_FALSE(cacheInstall(nullptr, 0, lookup));
}

TEST(BlockCache, ASecondCopyOfABlockGoesBackToTheFreeList) {
    CacheArea area(2);
    int32_t first = cacheTakeBlock();
    int32_t second = cacheTakeBlock();
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    cacheBlockData(first)[3] = 42;
    cacheBlockData(second)[3] = 43;
    EXPECT_EQ(cachePublish(bucketsA, 1, 0, 7, first, 3), 42);
    // Another reader filled the same file block meanwhile: its copy is dropped.
    EXPECT_EQ(cachePublish(bucketsA, 1, 0, 7, second, 3), 42);
    EXPECT_EQ(cacheTakeBlock(), second);
}

TEST(BlockCache, ReleasedBlocksAreReused) {
    CacheArea area(1);
    int32_t id = cacheTakeBlock();
    ASSERT_GE(id, 0);
    cacheRelease(id);
    EXPECT_EQ(cacheTakeBlock(), id);
}

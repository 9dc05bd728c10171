// The tablebase block cache: one caller-supplied memory area cut into
// blocks of 8284 bytes, each a 56-byte header and the data of one 8192-byte
// file block. Every registered table side hashes its file blocks into 32
// buckets (block number AND 31), each a spin lock and a chain of cached
// blocks; one global lock guards the most-recently-used list and the free
// list. Lock order: a bucket lock may be held while the global lock is
// taken, never the other way round (the global lock only tries bucket
// locks), so no two threads can wait on each other.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t CACHE_BLOCK_BYTES = 8284;
constexpr size_t CACHE_HEADER_BYTES = 56;
constexpr int SIDE_BUCKETS = 32;

// One bucket of a table side, 16 bytes: 32 of them make the side's
// 512-byte bucket array, allocated zeroed at registration.
struct CacheBucket {
    uint32_t lock;  // a spin word
    int32_t head;  // first block of the chain plus one; 0 = empty
    int32_t unused[2];
};
static_assert(sizeof(CacheBucket) == 16);

// Where the buckets of a table side live, so that a block taken from the
// end of the used list can be unlinked from its owner's chain.
using BucketLookup = CacheBucket* (*)(int table, int side);

// Installs the cache area (all blocks free). Fewer bytes than one block
// leave no cache; returns whether a cache is in use.
bool cacheInstall(void* area, size_t bytes, BucketLookup lookup);
// Forgets every cached block (all blocks free again).
void cacheReset();
bool cacheInUse();
size_t cacheBlockCount();

// Byte `offset` of file block `block` of a table side, when cached (the
// block becomes the most recently used). -1 on a miss.
int cacheLookup(CacheBucket* buckets, int table, int side, uint32_t block, uint32_t offset);
// A block to fill: a free one, else the least recently used one, unlinked
// from its owner. Returns its number.
int32_t cacheTakeBlock();
// The data area of a block.
uint8_t* cacheBlockData(int32_t id);
// Publishes a filled block for a table side and returns byte `offset` of
// the cached copy (another thread may have published the same file block
// meanwhile; then the new copy goes back to the free list).
int cachePublish(CacheBucket* buckets, int table, int side, uint32_t block, int32_t id, uint32_t offset);
// Gives a block that could not be filled back to the free list.
void cacheRelease(int32_t id);

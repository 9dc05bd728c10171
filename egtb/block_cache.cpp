#include "egtb/block_cache.h"

#include "platform/spin_lock.h"

namespace {

// The first bytes of a cache block. Links are block numbers (-1 = none);
// a block is either on the free list (linked through `older`) or on the
// used list and in exactly one bucket chain.
struct BlockHeader {
    int32_t table;
    int32_t side;
    uint32_t block;
    int32_t newer;      // towards the most recently used end
    int32_t older;      // towards the least recently used end; next free block
    int32_t chainNext;  // next block in the bucket chain
};
static_assert(sizeof(BlockHeader) <= CACHE_HEADER_BYTES);
static_assert(CACHE_BLOCK_BYTES % alignof(BlockHeader) == 0);

struct CacheState {
    uint8_t* area = nullptr;
    size_t count = 0;
    int32_t newest = -1;   // most recently used
    int32_t oldest = -1;   // least recently used
    int32_t freeHead = -1;
    uint32_t listLock = 0;  // a spin word
    BucketLookup lookup = nullptr;
};
CacheState cache;

BlockHeader& header(int32_t id) { return *reinterpret_cast<BlockHeader*>(cache.area + size_t(id) * CACHE_BLOCK_BYTES); }

// Used-list operations; the caller holds the list lock.
void unlinkUsed(int32_t id) {
    BlockHeader& h = header(id);
    if (h.newer >= 0) header(h.newer).older = h.older;
    else cache.newest = h.older;
    if (h.older >= 0) header(h.older).newer = h.newer;
    else cache.oldest = h.newer;
}

void linkNewest(int32_t id) {
    BlockHeader& h = header(id);
    h.newer = -1;
    h.older = cache.newest;
    if (cache.newest >= 0) header(cache.newest).newer = id;
    cache.newest = id;
    if (cache.oldest < 0) cache.oldest = id;
}

// Finds the block in a bucket chain (bucket lock held); `before` gets the
// chain predecessor (-1 for the head).
int32_t findInChain(const CacheBucket& bucket, int table, int side, uint32_t block, int32_t& before) {
    before = -1;
    for (int32_t id = bucket.head - 1; id >= 0; id = header(id).chainNext) {
        const BlockHeader& h = header(id);
        if (h.block == block && h.table == table && h.side == side) return id;
        before = id;
    }
    return -1;
}

void unlinkFromChain(CacheBucket& bucket, int32_t id, int32_t before) {
    if (before >= 0) header(before).chainNext = header(id).chainNext;
    else bucket.head = header(id).chainNext + 1;
}

}  // namespace

bool cacheInstall(void* area, size_t bytes, BucketLookup lookup) {
    cache.area = static_cast<uint8_t*>(area);
    cache.count = area ? bytes / CACHE_BLOCK_BYTES : 0;
    cache.lookup = lookup;
    if (cache.count > 0x7FFFFFFF) cache.count = 0x7FFFFFFF;
    cacheReset();
    return cache.count > 0;
}

void cacheReset() {
    SpinLockGuard guard(cache.listLock);
    cache.newest = cache.oldest = -1;
    cache.freeHead = cache.count ? 0 : -1;
    for (size_t i = 0; i < cache.count; i++) header(int32_t(i)).older = i + 1 < cache.count ? int32_t(i + 1) : -1;
}

bool cacheInUse() { return cache.count > 0; }

size_t cacheBlockCount() { return cache.count; }

uint8_t* cacheBlockData(int32_t id) { return cache.area + size_t(id) * CACHE_BLOCK_BYTES + CACHE_HEADER_BYTES; }

int cacheLookup(CacheBucket* buckets, int table, int side, uint32_t block, uint32_t offset) {
    CacheBucket& bucket = buckets[block & (SIDE_BUCKETS - 1)];
    acquireSpinLock(bucket.lock);
    int32_t before;
    int32_t id = findInChain(bucket, table, side, block, before);
    if (id < 0) {
        releaseSpinLock(bucket.lock);
        return -1;
    }
    acquireSpinLock(cache.listLock);
    if (cache.newest != id) {
        unlinkUsed(id);
        linkNewest(id);
    }
    releaseSpinLock(cache.listLock);
    if (before >= 0) {  // to the front of its chain, where the next look finds it first
        unlinkFromChain(bucket, id, before);
        header(id).chainNext = bucket.head - 1;
        bucket.head = id + 1;
    }
    int byte = cacheBlockData(id)[offset];
    releaseSpinLock(bucket.lock);
    return byte;
}

int32_t cacheTakeBlock() {
    if (cache.count == 0) return -1;
    for (;;) {
        acquireSpinLock(cache.listLock);
        if (cache.freeHead >= 0) {
            int32_t id = cache.freeHead;
            cache.freeHead = header(id).older;
            releaseSpinLock(cache.listLock);
            return id;
        }
        // The oldest block whose bucket is not busy: waiting for a bucket
        // here could deadlock with a reader that holds it and wants the
        // list lock.
        for (int32_t id = cache.oldest; id >= 0; id = header(id).newer) {
            BlockHeader& h = header(id);
            CacheBucket* owner = cache.lookup ? cache.lookup(h.table, h.side) : nullptr;
            if (owner) {
                CacheBucket& bucket = owner[h.block & (SIDE_BUCKETS - 1)];
                if (!tryAcquireSpinLock(bucket.lock)) continue;
                int32_t before;
                if (findInChain(bucket, h.table, h.side, h.block, before) == id) unlinkFromChain(bucket, id, before);
                releaseSpinLock(bucket.lock);
            }
            unlinkUsed(id);
            releaseSpinLock(cache.listLock);
            return id;
        }
        releaseSpinLock(cache.listLock);
        cpuRelax();
    }
}

int cachePublish(CacheBucket* buckets, int table, int side, uint32_t block, int32_t id, uint32_t offset) {
    CacheBucket& bucket = buckets[block & (SIDE_BUCKETS - 1)];
    acquireSpinLock(bucket.lock);
    int32_t before;
    int32_t present = findInChain(bucket, table, side, block, before);
    if (present >= 0) {
        int byte = cacheBlockData(present)[offset];
        releaseSpinLock(bucket.lock);
        cacheRelease(id);
        return byte;
    }
    BlockHeader& h = header(id);
    h.table = table;
    h.side = side;
    h.block = block;
    h.chainNext = bucket.head - 1;
    bucket.head = id + 1;
    acquireSpinLock(cache.listLock);
    linkNewest(id);
    releaseSpinLock(cache.listLock);
    int byte = cacheBlockData(id)[offset];
    releaseSpinLock(bucket.lock);
    return byte;
}

void cacheRelease(int32_t id) {
    SpinLockGuard guard(cache.listLock);
    header(id).older = cache.freeHead;
    cache.freeHead = id;
}

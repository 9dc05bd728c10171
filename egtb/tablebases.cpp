#include "egtb/tablebases.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "egtb/block_cache.h"
#include "egtb/block_format.h"
#include "egtb/catalogue.h"
#include "egtb/file_stamps.h"
#include "egtb/tablebase_values.h"
#include "platform/spin_lock.h"

namespace {

// One file of a table: White to move (side 0) or Black to move (side 1).
struct TableSide {
    char* path = nullptr;               // owned copy; null when not registered
    std::atomic<bool> registered{false};  // cleared when a read fails
    int fd = -1;                        // opened on first read, kept open
    EmdHeader emd;                      // compressed files only
    bool compressed = false;
    CacheBucket* buckets = nullptr;     // 32 buckets
    uint32_t fileLock = 0;              // spin word: guards fd and the reading of a block
    uint32_t entries = 0;
};

TableSide tableSides[TABLE_COUNT][2];

// The count tree: each node is a bound `max` followed by max + 1 child
// slots; the slots of the last level hold table numbers.
std::vector<int32_t> countTree;
constexpr int TREE_LEVELS = 10;
constexpr int ROOT_BOUND = 4;

// Decode areas, one per search processor.
struct DecodePool {
    std::vector<DecodeArea*> areas;
    std::vector<uint8_t> busy;
    uint32_t lock = 0;  // a spin word
};
DecodePool decodePool;

int compressedFiles = 0;

// The registered files as they were at registration. Reads go through
// pread into the cache and are checked, so a file changed later cannot
// crash a probe, but a table overwritten with other bytes of the same size
// would be read as if it were the old one: the shell compares these before
// a search and registers the tables again when a file has changed.
FileStamps stamps;
// Set when a read failed and dropped a table side, so that the shell can
// say so and look at the files again before the next search.
std::atomic<bool> readFault{false};

int32_t buildTreeNode(int level, const std::vector<std::vector<int>>& materials) {
    int bound = level == 0 ? ROOT_BOUND : 0;
    for (const auto& m : materials)
        if (m[level] > bound) bound = m[level];
    const int32_t node = int32_t(countTree.size());
    countTree.push_back(bound);
    countTree.resize(countTree.size() + size_t(bound) + 1, 0);
    if (level + 1 == TREE_LEVELS) return node;
    for (int v = 0; v <= bound; v++) {
        std::vector<std::vector<int>> below;
        for (const auto& m : materials)
            if (m[level] == v) below.push_back(m);
        if (!below.empty()) {
            int32_t child = buildTreeNode(level + 1, below);
            countTree[size_t(node) + 1 + size_t(v)] = child;
        }
    }
    return node;
}

// Every catalogue material, as named and with colours exchanged.
void buildCountTree() {
    std::vector<std::vector<int>> materials;
    for (int t = 1; t < TABLE_COUNT; t++) {
        int c[10];
        countsFromName(tableCatalogue[t].name, c);
        materials.emplace_back(c, c + 10);
        std::vector<int> swapped(c + 5, c + 10);
        swapped.insert(swapped.end(), c, c + 5);
        materials.push_back(swapped);
    }
    countTree.clear();
    buildTreeNode(0, materials);
}

// The leaf slot of a material, or null when it lies outside the tree.
int32_t* treeSlot(const int counts[10]) {
    if (countTree.empty()) return nullptr;
    size_t node = 0;
    for (int level = 0; level < TREE_LEVELS; level++) {
        int c = counts[level];
        if (c < 0 || c > countTree[node]) return nullptr;
        size_t slot = node + 1 + size_t(c);
        if (level + 1 == TREE_LEVELS) return &countTree[slot];
        if (countTree[slot] == 0) return nullptr;
        node = size_t(countTree[slot]);
    }
    return nullptr;
}

[[noreturn]] void outOfMemory(size_t bytes) {
    std::printf("*** Cannot allocate %d bytes of memory\n", int(bytes));
    std::exit(1);
}

void closeSideFile(TableSide& side) {
    if (side.fd >= 0) close(side.fd);
    side.fd = -1;
}

// Closes every file whose lock is free, for when the process has run out of
// file handles; `own` is already held by the caller.
void closeIdleFiles(TableSide* own) {
    for (auto& table : tableSides)
        for (TableSide& side : table) {
            if (&side == own) {
                closeSideFile(side);
            } else if (tryAcquireSpinLock(side.fileLock)) {
                closeSideFile(side);
                releaseSpinLock(side.fileLock);
            }
        }
}

void closeAllFiles() {
    for (auto& table : tableSides)
        for (TableSide& side : table) {
            SpinLockGuard guard(side.fileLock);
            closeSideFile(side);
        }
}

void forgetRegistrations() {
    for (auto& table : tableSides)
        for (TableSide& side : table) {
            side.registered.store(false);
            std::free(side.path);
            side.path = nullptr;
            std::free(side.buckets);
            side.buckets = nullptr;
            freeEmdHeader(side.emd);
            side.compressed = false;
            side.entries = 0;
        }
    for (DecodeArea* area : decodePool.areas) destroyDecodeArea(area);
    decodePool.areas.clear();
    decodePool.busy.clear();
    compressedFiles = 0;
    stamps.clear();
}

CacheBucket* bucketsOf(int table, int side) {
    if (table <= 0 || table >= TABLE_COUNT || side < 0 || side > 1) return nullptr;
    return tableSides[table][side].buckets;
}

// Registration failures: at start-up they end the program as they always
// have; typed later ("egtpath") they leave the one file out, since ending a
// running game over a bad file would lose it.
struct Registrar {
    bool fatal;
    bool fail() {
        if (fatal) std::exit(1);
        return false;
    }
};

bool buildPath(char* out, const char* directory, size_t dirLength, const char* name, const char* suffix) {
    int n = std::snprintf(out, TB_PATH_BUFFER, "%.*s%s%s%s", int(dirLength), directory, dirLength ? "/" : "", name,
                          suffix);
    return n > 0 && size_t(n) < TB_PATH_BUFFER;
}

// Opens a table file for reading: a regular file only (a directory or a
// pipe of that name is no table, and opening a pipe could wait forever).
int openTableFile(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Opens the compressed forms of a path: "x.nbw.emd", "x_nbw.emd", "xnbw.emd".
int openCompressed(const char* path, char* found) {
    char candidate[TB_PATH_BUFFER];
    if (std::snprintf(candidate, sizeof candidate, "%s.emd", path) >= int(sizeof candidate)) return -1;
    for (int variant = 0; variant < 3; variant++) {
        if (variant > 0) {
            size_t length = std::strlen(candidate);
            if (length < 8) return -1;
            char* mark = candidate + length - 8;
            if (variant == 1) *mark = '_';
            else std::memmove(mark, mark + 1, std::strlen(mark + 1) + 1);
        }
        int fd = openTableFile(candidate);
        if (fd >= 0) {
            std::memcpy(found, candidate, std::strlen(candidate) + 1);
            return fd;
        }
    }
    return -1;
}

bool registerFile(Registrar& reg, const char* directory, size_t dirLength, int table, int sideNumber) {
    const TableInfo& info = tableCatalogue[table];
    if (!info.index[sideNumber]) return false;  // a material our index scheme has no file for
    char path[TB_PATH_BUFFER];
    if (!buildPath(path, directory, dirLength, info.name, sideNumber ? ".nbb" : ".nbw")) return false;
    const bool wide = info.flags & TABLE_16BIT;
    const uint32_t expected = info.expected[sideNumber];

    uint32_t entries = 0;
    EmdHeader header;
    bool compressed = false;
    int fd = openTableFile(path);
    if (fd >= 0) {
        off_t length = lseek(fd, 0, SEEK_END);
        if (length < 0) {
            std::printf("*** Seek in %s failed\n", path);
            close(fd);
            return reg.fail();
        }
        // A two-byte table must hold exactly two bytes per entry.
        uint64_t expectedBytes = uint64_t(expected) * (wide ? 2 : 1);
        if (expected != 0 && uint64_t(length) != expectedBytes) {
            std::printf("*** %s corrupted\n", path);
            close(fd);
            return reg.fail();
        }
        entries = uint32_t(wide ? uint64_t(length) / 2 : uint64_t(length));
    } else {
        char found[TB_PATH_BUFFER];
        fd = openCompressed(path, found);
        if (fd < 0) return false;
        std::memcpy(path, found, std::strlen(found) + 1);
        compressed = true;
        compressedFiles++;
        int status = readEmdHeader(fd, header);
        if (status != DECODE_OK) {
            std::printf("*** Unable to read %s - ", path);
            if (status == DECODE_READ_ERROR) std::printf("read error\n");
            else if (status == DECODE_OUT_OF_MEMORY) std::printf("out of memory\n");
            else if (status == DECODE_FILE_BROKEN) std::printf("file broken\n");
            else std::printf("error %d\n", status);
            close(fd);
            return reg.fail();
        }
        if (header.blockSize != TB_BLOCK_SIZE) {
            std::printf("*** %s: Unsupported block size %d\n", path, int(header.blockSize));
            freeEmdHeader(header);
            close(fd);
            return reg.fail();
        }
        uint64_t count = wide ? uint64_t(header.blocks - 1) * (TB_BLOCK_SIZE / 2) + header.lastBlockSize / 2
                              : uint64_t(header.blocks - 1) * TB_BLOCK_SIZE + header.lastBlockSize;
        if ((expected != 0 && count != expected) || count > 0xFFFFFFFFull) {
            std::printf("*** %s corrupted\n", path);
            freeEmdHeader(header);
            close(fd);
            return reg.fail();
        }
        entries = uint32_t(count);
    }
    close(fd);

    int counts[10];
    int32_t* slot = countsFromName(info.name, counts) ? treeSlot(counts) : nullptr;
    int swapped[10];
    for (int i = 0; i < 10; i++) swapped[i] = counts[(i + 5) % 10];
    int32_t* mirrorSlot = (info.flags & TABLE_SYMMETRIC) ? nullptr : treeSlot(swapped);
    if (!slot || (!(info.flags & TABLE_SYMMETRIC) && !mirrorSlot)) {
        std::printf("*** Unable to register %s\n", path);
        if (compressed) freeEmdHeader(header);
        return reg.fail();
    }
    *slot = table;
    if (mirrorSlot) *mirrorSlot = -table;

    TableSide& side = tableSides[table][sideNumber];
    const size_t pathBytes = std::strlen(path) + 1;
    side.path = static_cast<char*>(std::malloc(pathBytes));
    if (!side.path) outOfMemory(pathBytes);
    std::memcpy(side.path, path, pathBytes);
    side.buckets = static_cast<CacheBucket*>(std::calloc(SIDE_BUCKETS, sizeof(CacheBucket)));
    if (!side.buckets) outOfMemory(SIDE_BUCKETS * sizeof(CacheBucket));
    side.emd = header;
    side.compressed = compressed;
    side.entries = entries;
    side.registered.store(true);
    stamps.add(path);
    return true;
}

DecodeArea* takeDecodeArea() {
    for (;;) {
        acquireSpinLock(decodePool.lock);
        for (size_t i = 0; i < decodePool.areas.size(); i++)
            if (!decodePool.busy[i]) {
                decodePool.busy[i] = 1;
                releaseSpinLock(decodePool.lock);
                return decodePool.areas[i];
            }
        releaseSpinLock(decodePool.lock);
        cpuRelax();
    }
}

void returnDecodeArea(DecodeArea* area) {
    SpinLockGuard guard(decodePool.lock);
    for (size_t i = 0; i < decodePool.areas.size(); i++)
        if (decodePool.areas[i] == area) decodePool.busy[i] = 0;
}

// Fills a cache block with file block `block`; false when the file cannot
// be opened, read or expanded.
bool readFileBlock(TableSide& side, uint32_t block, uint8_t* data, uint32_t offset) {
    acquireSpinLock(side.fileLock);
    if (side.fd < 0) {
        side.fd = openTableFile(side.path);
        if (side.fd < 0) {
            closeIdleFiles(&side);
            side.fd = openTableFile(side.path);
        }
    }
    bool ok = false;
    if (side.fd >= 0) {
        if (side.compressed) {
            if (decodePool.areas.empty()) {
                ok = false;
            } else {
                DecodeArea* area = takeDecodeArea();
                ok = decodeBlock(side.fd, side.emd, block, area, data) > offset;
                returnDecodeArea(area);
            }
        } else {
            // A short read at the end of the file is the table's last block.
            ssize_t got = pread(side.fd, data, TB_BLOCK_SIZE, off_t(uint64_t(block) * TB_BLOCK_SIZE));
            ok = got > 0 && uint32_t(got) > offset;
        }
    }
    releaseSpinLock(side.fileLock);
    return ok;
}

// Byte `offset` of file block `block` of a table side, or -1.
int readCachedByte(int table, int sideNumber, uint32_t block, uint32_t offset) {
    TableSide& side = tableSides[table][sideNumber];
    int byte = cacheLookup(side.buckets, table, sideNumber, block, offset);
    if (byte >= 0) return byte;
    int32_t id = cacheTakeBlock();
    if (id < 0) return -1;
    if (!readFileBlock(side, block, cacheBlockData(id), offset)) {
        // The table side is dropped: later probes answer "not found".
        side.registered.store(false);
        readFault.store(true, std::memory_order_relaxed);
        cacheRelease(id);
        return -1;
    }
    return cachePublish(side.buckets, table, sideNumber, block, id, offset);
}

}  // namespace

int initTablebases(const char* pathList, int processors, bool fatalErrors) {
    closeAllFiles();
    if (countTree.empty()) buildCountTree();
    forgetRegistrations();
    cacheReset();  // the bucket arrays the cached blocks hung in are gone

    Registrar reg{fatalErrors};
    int highest = 0;
    const char* list = pathList ? pathList : "";
    while (*list) {
        size_t length = std::strcspn(list, ",;");
        // An empty entry names no directory.
        if (length > 0)
            for (int t = 1; t < TABLE_COUNT; t++) {
                const bool symmetric = tableCatalogue[t].flags & TABLE_SYMMETRIC;
                for (int s = 0; s < (symmetric ? 1 : 2); s++)
                    if (!tableSides[t][s].registered.load() && registerFile(reg, list, length, t, s) && t > highest)
                        highest = t;
            }
        list += length;
        if (*list) list++;
    }

    if (compressedFiles > 0) {
        int n = processors < 1 ? 1 : processors;
        for (int i = 0; i < n; i++) {
            DecodeArea* area = createDecodeArea();
            if (!area) {
                std::printf("*** Cannot allocate decode block: error code %d\n", DECODE_OUT_OF_MEMORY);
                std::exit(1);
            }
            decodePool.areas.push_back(area);
            decodePool.busy.push_back(0);
        }
    }
    if (highest > LAST_FIVE_MAN_TABLE) return 6;
    if (highest > LAST_FOUR_MAN_TABLE) return 5;
    if (highest > LAST_THREE_MAN_TABLE) return 4;
    if (highest >= 1) return 3;
    return 0;
}

bool setTablebaseCache(void* area, size_t bytes) {
    closeAllFiles();
    for (auto& table : tableSides)
        for (TableSide& side : table)
            if (side.buckets) std::memset(static_cast<void*>(side.buckets), 0, SIDE_BUCKETS * sizeof(CacheBucket));
    return cacheInstall(bytes < CACHE_HEADER_BYTES ? nullptr : area, bytes, bucketsOf);
}

int probeTableValue(int table, int sideNumber, uint32_t index) {
    if (table <= 0 || table >= TABLE_COUNT) return TB_NOT_AVAILABLE;
    const TableInfo& info = tableCatalogue[table];
    if (info.flags & TABLE_SYMMETRIC) sideNumber = 0;
    TableSide& side = tableSides[table][sideNumber];
    if (!cacheInUse() || !side.buckets || !side.registered.load(std::memory_order_relaxed) || index >= side.entries)
        return TB_NOT_AVAILABLE;
    if (info.flags & TABLE_16BIT) {
        uint32_t block = index >> 12, offset = 2 * (index & 0xfff);
        int high = readCachedByte(table, sideNumber, block, offset);
        if (high < 0) return TB_NOT_AVAILABLE;
        int low = readCachedByte(table, sideNumber, block, offset + 1);
        if (low < 0) return TB_NOT_AVAILABLE;
        return int16_t(uint16_t(high << 8 | low));
    }
    int byte = readCachedByte(table, sideNumber, index >> 13, index & 0x1fff);
    return byte < 0 ? TB_NOT_AVAILABLE : valueFromByte(int8_t(uint8_t(byte)));
}

int lookupCountTree(const int counts[10]) {
    const int32_t* slot = treeSlot(counts);
    return slot ? *slot : 0;
}

bool tableSideRegistered(int table, int side) {
    return table > 0 && table < TABLE_COUNT && side >= 0 && side < 2 && tableSides[table][side].registered.load();
}

int compressedTableCount() { return compressedFiles; }

bool tablebaseFilesChanged() { return stamps.anyChanged(); }

bool takeTablebaseReadFault() { return readFault.exchange(false, std::memory_order_relaxed); }

void releaseTablebases() {
    closeAllFiles();
    forgetRegistrations();
    cacheInstall(nullptr, 0, bucketsOf);
}

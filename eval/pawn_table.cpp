#include "eval/pawn_table.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

PawnTable gPawnTable;

namespace {

// The slot of a key: the low half of the key, sign-extended, under the mask.
inline PawnEntry* slotOf(uint64_t key) {
    uint64_t index = uint64_t(int64_t(int32_t(uint32_t(key)))) & gPawnTable.mask;
    return gPawnTable.entries + index;
}

// Every word is read and written whole; with relaxed order a racing writer
// can tear an entry across words, never within one.
inline uint64_t loadWord(uint64_t& w) { return std::atomic_ref<uint64_t>(w).load(std::memory_order_relaxed); }
inline void storeWord(uint64_t& w, uint64_t v) { std::atomic_ref<uint64_t>(w).store(v, std::memory_order_relaxed); }

inline uint64_t checkWord(uint64_t key, uint64_t word1, uint64_t word2) { return key ^ word1 ^ uint32_t(word2); }

}  // namespace

bool createPawnTable(uint64_t bytes, PawnTable& out) {
    uint64_t fit = bytes / sizeof(PawnEntry);
    if (fit == 0) return false;
    uint64_t count = 1;
    while (count <= fit / 2) count *= 2;
    // aligned_alloc wants a multiple of the alignment.
    uint64_t size = (count * sizeof(PawnEntry) + 31) & ~uint64_t(31);
    void* memory = std::aligned_alloc(32, size_t(size));
    if (!memory) return false;
    std::memset(memory, 0, size_t(size));
    out.entries = static_cast<PawnEntry*>(memory);
    out.count = count;
    out.mask = count - 1;
    return true;
}

void installPawnTable(const PawnTable& table) {
    freePawnTable();
    gPawnTable = table;
}

bool allocatePawnTable(uint64_t bytes) {
    PawnTable table;
    if (!createPawnTable(bytes, table)) return false;
    installPawnTable(table);
    return true;
}

void freePawnTable() {
    std::free(gPawnTable.entries);
    gPawnTable = PawnTable{};
}

void clearPawnTable() {
    if (gPawnTable.entries) std::memset(gPawnTable.entries, 0, gPawnTable.count * sizeof(PawnEntry));
}

bool probePawnTable(uint64_t key, PawnEntry& out) {
    if (!gPawnTable.entries) return false;
    PawnEntry* slot = slotOf(key);
    uint64_t check = loadWord(slot->key);
    uint64_t word1 = loadWord(slot->word1);
    uint64_t word2 = loadWord(slot->word2);
    if (checkWord(check, word1, word2) != key) return false;
    out.key = key;
    out.word1 = word1;
    out.word2 = word2;
    return true;
}

void storePawnEntry(const PawnEntry& entry) {
    if (!gPawnTable.entries) return;
    PawnEntry* slot = slotOf(entry.key);
    uint64_t word2 = uint32_t(entry.word2);  // the high half is always zero in the table
    storeWord(slot->key, checkWord(entry.key, entry.word1, word2));
    storeWord(slot->word1, entry.word1);
    storeWord(slot->word2, word2);
}

void forgetPawnEntry(uint64_t key) {
    if (!gPawnTable.entries) return;
    PawnEntry* slot = slotOf(key);
    storeWord(slot->key, 0);
    storeWord(slot->word1, 0);
    storeWord(slot->word2, 0);
}

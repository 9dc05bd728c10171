#include "eval/pawn_table.h"

#include <cstdlib>
#include <cstring>

PawnTable gPawnTable;

bool allocatePawnTable(uint64_t bytes) {
    freePawnTable();
    uint64_t fit = bytes / sizeof(PawnEntry);
    if (fit == 0) return false;
    uint64_t count = 1;
    while (count * 2 <= fit) count *= 2;
    // aligned_alloc wants a multiple of the alignment; 24 * 2^k is one for k >= 2.
    size_t size = (count * sizeof(PawnEntry) + 31) & ~size_t(31);
    void* memory = std::aligned_alloc(32, size);
    if (!memory) return false;
    gPawnTable.entries = static_cast<PawnEntry*>(memory);
    gPawnTable.count = count;
    gPawnTable.mask = count - 1;
    clearPawnTable();
    return true;
}

void freePawnTable() {
    std::free(gPawnTable.entries);
    gPawnTable.entries = nullptr;
    gPawnTable.count = 0;
    gPawnTable.mask = 0;
}

void clearPawnTable() {
    if (gPawnTable.entries) std::memset(gPawnTable.entries, 0, gPawnTable.count * sizeof(PawnEntry));
}

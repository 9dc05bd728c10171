#include "egtb/tablebase_probe.h"

#include <utility>

#include "egtb/catalogue.h"
#include "egtb/tablebase_values.h"
#include "egtb/tablebase_settings.h"
#include "egtb/tablebases.h"

namespace {

// The men of one colour as a 16-slot list of tablebase squares, three slots
// per piece type (highest square first) and the king last; counts[] gets
// the number of each type. False with more than three of a type.
bool buildList(const SideRecord& side, int list[LIST_SLOTS], int* counts) {
    for (int type = PAWN; type <= QUEEN; type++) {
        Bitboard b = side.pieces[type];
        int n = 0;
        while (b) {
            if (n == 3) return false;
            int sq = highestSquare(b);
            b ^= Bitboard(1) << sq;
            list[listSlot(type, n++)] = flipRanks(sq);
        }
        counts[type - 1] = n;
    }
    list[KING_SLOT] = flipRanks(side.kingSquare);
    return true;
}

}  // namespace

int tablebaseMaxMen() { return gTablebases.count; }

int probeTablebaseValue(const Board& pos, int colour) {
    int lists[2][LIST_SLOTS] = {};
    int counts[10];
    if (!buildList(pos.sides[WHITE], lists[WHITE], counts) || !buildList(pos.sides[BLACK], lists[BLACK], counts + 5))
        return TB_NOT_AVAILABLE;
    int table = lookupCountTree(counts);
    if (table == 0) return TB_NOT_AVAILABLE;

    // The file side is the side to move in the table's colours.
    const int* first = lists[WHITE];
    const int* second = lists[BLACK];
    const bool reversed = table < 0;
    int side = 1 - colour;
    if (reversed) {
        table = -table;
        std::swap(first, second);
        side = colour;
    }
    const TableInfo& info = tableCatalogue[table];
    const int fileSide = (info.flags & TABLE_SYMMETRIC) ? 0 : side;
    if (!info.index[side] || !tableSideRegistered(table, fileSide)) return TB_NOT_AVAILABLE;

    const int ep = pos.epSquare ? flipRanks(pos.epSquare) : TB_NO_SQUARE;
    uint32_t index = info.index[side](first, second, ep, reversed);
    if (index == NO_INDEX) return TB_NOT_AVAILABLE;
    return probeTableValue(table, side, index);
}

bool probeTablebase(const Board& pos, int colour, int& score) {
    int value = probeTablebaseValue(pos, colour);
    if (value == TB_NOT_AVAILABLE) return false;
    score = scoreFromValue(value);
    return true;
}

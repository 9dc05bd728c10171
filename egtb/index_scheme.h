// Our tablebase index scheme: how a position of a given material becomes an
// entry number in a table file, and back.
//
// Squares here are counted from White's side, a1 = 0, b1 = 1 ... h8 = 63
// (the engine's square number XOR 56), and the table's White always moves
// up the board. Every table is laid out as a mixed-radix number whose digits
// are the squares of its men, most significant first:
//
//   pawnless:  king pair (462) | White pieces (64 each) | Black pieces (64 each)
//   pawns:     lead pawn (24) | other pawns (48 each) | White king (64) |
//              Black king (64) | White pieces | Black pieces
//
// Without pawns the board has eight symmetries. The White king is brought
// into the triangle a1-d1-d4 and, when it stands on the diagonal, the Black
// king onto or below the a1-h8 diagonal; the 462 king placements left are
// numbered once. When both kings are on the diagonal the rest of the
// position decides between the two reflections. With pawns only the file
// mirror is left: the lead pawn (the lowest-numbered pawn of the lead colour
// standing on files a-d) is kept on files a-d, so its digit has 24 values.
// Pieces of the same type and colour are written in ascending square order,
// so each position has one entry; of two mirror-image encodings the smaller
// entry number is the one used. Digits that name no position (an unsorted
// pair, a non-minimal lead pawn, two men on one square, adjacent kings) are
// entries no probe ever reads.
#pragma once

#include <cstdint>

// "No square" for the en-passant argument.
constexpr int TB_NO_SQUARE = 127;
// Answer of an index function for a position it does not index.
constexpr uint32_t NO_INDEX = 0xFFFFFFFFu;

constexpr int TB_MAX_MEN = 6;
// King placements left once the eight symmetries are used (pawnless tables).
constexpr int TB_KING_PAIRS = 462;

// A piece list has 16 slots: pawns 0-2, knights 3-5, bishops 6-8, rooks
// 9-11, queens 12-14 and the king in slot 15.
constexpr int LIST_SLOTS = 16;
constexpr int KING_SLOT = 15;
// Piece types as the engine numbers them: pawn 1 .. queen 5, king 6.
constexpr int listSlot(int type, int nth) { return type == 6 ? KING_SLOT : (type - 1) * 3 + nth; }

// Tablebase-square helpers.
constexpr int tbFile(int sq) { return sq & 7; }
constexpr int tbRank(int sq) { return sq >> 3; }
constexpr int flipRanks(int sq) { return sq ^ 56; }
constexpr int flipFiles(int sq) { return sq ^ 7; }

// The index layout of one material: which man each digit stands for, and
// its place value.
struct TableLayout {
    uint8_t count[2][6] = {};   // [colour][type 1..5]: men besides the king
    uint8_t men = 0;            // all men, kings included
    bool hasPawns = false;
    bool symmetric = false;     // both colours have the same men
    uint8_t leadColour = 0;     // whose pawn fixes the mirror (pawn tables)
    uint8_t leadCount = 0;      // pawns of the lead colour
    // Men in digit order: colour, type (1..6) and piece-list slot.
    uint8_t manColour[TB_MAX_MEN] = {};
    uint8_t manType[TB_MAX_MEN] = {};
    uint8_t manSlot[TB_MAX_MEN] = {};
    // First man of the run of like men (same colour and type) each man is in;
    // the lead pawn and the kings are runs of their own.
    uint8_t runStart[TB_MAX_MEN] = {};
    uint8_t kingMen[2] = {};    // positions of the White and Black king in digit order
    uint64_t stride[TB_MAX_MEN] = {};  // place value of each man's digit (pawnless: man 1 shares man 0's)
    uint64_t size = 0;          // entries per table side
    uint64_t sliceSize = 0;     // entries sharing one pawn placement (pawnless: size)
    uint8_t pawnMen = 0;        // men that are pawns (the leading digits)
};

// Layout of the material written as a table name ("kqkr", "krpkr").
// Returns false for a malformed name.
constexpr bool layoutFromName(const char* name, TableLayout& layout) {
    layout = TableLayout{};
    if (!name || name[0] != 'k') return false;
    int colour = 0;
    for (const char* c = name + 1; *c; c++) {
        int type = 0;
        switch (*c) {
            case 'k': type = 6; break;
            case 'p': type = 1; break;
            case 'n': type = 2; break;
            case 'b': type = 3; break;
            case 'r': type = 4; break;
            case 'q': type = 5; break;
            default: return false;
        }
        if (type == 6) {
            if (colour == 1) return false;
            colour = 1;
            continue;
        }
        if (++layout.count[colour][type] > 3) return false;
    }
    if (colour != 1) return false;
    int men = 2;
    for (int c = 0; c < 2; c++)
        for (int t = 1; t <= 5; t++) men += layout.count[c][t];
    if (men > TB_MAX_MEN || men < 3) return false;
    layout.men = uint8_t(men);
    layout.hasPawns = layout.count[0][1] + layout.count[1][1] > 0;
    layout.symmetric = true;
    for (int t = 1; t <= 5; t++) layout.symmetric &= layout.count[0][t] == layout.count[1][t];

    // Men in digit order.
    int m = 0;
    auto add = [&](int c, int type, int nth) {
        if (m >= TB_MAX_MEN) return;
        layout.manColour[m] = uint8_t(c);
        layout.manType[m] = uint8_t(type);
        layout.manSlot[m] = uint8_t(listSlot(type, nth));
        bool sameRun = m > 0 && type != 6 && layout.manColour[m - 1] == c && layout.manType[m - 1] == type &&
                       !(layout.hasPawns && type == 1 && m == 1 && c == layout.leadColour);
        layout.runStart[m] = sameRun ? layout.runStart[m - 1] : uint8_t(m);
        if (type == 6) layout.kingMen[c] = uint8_t(m);
        m++;
    };
    if (layout.hasPawns) {
        layout.leadColour = layout.count[0][1] ? 0 : 1;
        layout.leadCount = layout.count[layout.leadColour][1];
        for (int k = 0; k < layout.leadCount; k++) add(layout.leadColour, 1, k);
        int other = 1 - layout.leadColour;
        for (int k = 0; k < layout.count[other][1]; k++) add(other, 1, k);
        layout.pawnMen = uint8_t(m);
    }
    add(0, 6, 0);
    add(1, 6, 0);
    for (int c = 0; c < 2; c++)
        for (int t = 2; t <= 5; t++)
            for (int k = 0; k < layout.count[c][t]; k++) add(c, t, k);

    // Place values, least significant digit last.
    uint64_t place = 1;
    for (int k = men - 1; k >= 0; k--) {
        if (!layout.hasPawns && k == 1) {
            layout.stride[1] = 0;  // shares the king-pair digit
            continue;
        }
        layout.stride[k] = place;
        uint64_t radix = 64;
        if (layout.hasPawns && k == 0) radix = 24;
        else if (layout.hasPawns && k < layout.pawnMen) radix = 48;
        else if (!layout.hasPawns && k == 0) radix = TB_KING_PAIRS;
        place *= radix;
    }
    layout.size = place;
    layout.sliceSize = layout.hasPawns ? layout.stride[layout.pawnMen - 1] : place;
    return true;
}


// Index of the position given by `sq` (squares of the men in digit order;
// the pawns of one colour may come in any order) with all symmetries
// applied: NO_INDEX when the kings touch or share a square, or a pawn stands
// on the first or last rank. `sq` is reordered in place.
uint32_t canonicalIndex(const TableLayout& layout, int sq[TB_MAX_MEN]);

// The same digits without looking at symmetries: the men must already be in
// the canonical frame (as after decodeIndex). Like men are sorted.
uint32_t composeIndex(const TableLayout& layout, int sq[TB_MAX_MEN]);

// Squares of the men (digit order) of entry `index`. False when the king
// digit names no placement.
bool decodeIndex(const TableLayout& layout, uint64_t index, int sq[TB_MAX_MEN]);

// The full index function of a table side: the table's White list and Black
// list, the en-passant square (TB_NO_SQUARE for none) and whether the
// position's colours are exchanged against the table's (then every square is
// mirrored top to bottom). Answers NO_INDEX when an en-passant capture is
// possible: the table holds positions without that right.
uint32_t indexPosition(const TableLayout& layout, int side, const int* first, const int* second, int ep,
                       bool reversed);

// The eight board symmetries on tablebase squares (0..7); 0 is the identity
// and 1 the file mirror.
int applySymmetry(int t, int sq);
// What the pawn digits of a pawn table's entries (sq in digit order, only
// the pawns looked at) say about those entries: no position (two pawns on a
// square, or digits that are not the canonical form), positions whose
// orientation the pawns fix, or pawns that read the same after the file
// mirror, so that the kings and pieces decide.
enum class PawnSlice { Invalid, Asymmetric, Symmetric };
PawnSlice classifyPawnSlice(const TableLayout& layout, const int sq[TB_MAX_MEN]);
// Both kings on the a1-h8 diagonal (pawnless tables): the pieces decide the
// reflection.
inline bool kingsOnDiagonal(const TableLayout& layout, const int sq[TB_MAX_MEN]) {
    int w = sq[layout.kingMen[0]], b = sq[layout.kingMen[1]];
    return tbFile(w) == tbRank(w) && tbFile(b) == tbRank(b);
}

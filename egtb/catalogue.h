// The catalogue of endgame tables: every material with at least one man
// besides the kings, up to six men, numbered by size class.
//
//   1-5     three men: one piece or pawn against the bare king
//   6-35    four men: one against one (the stronger man with White), then
//           two against none
//   36-145  five men: two against one, then three against none
//   146-178 six men: two pieces against two, no pawns, where the two sides
//           differ by at most one step on the scale minor < rook < queen
//
// Inside a class the White men run from weakest to strongest (p, n, b, r,
// q; pairs and triples in that order with the stronger man leading, "kbnk"
// before "kbbk"), and for each White set the Black men run the same way:
// "kpkp", "knkp", "knkn", "kbkp" ... "kqkq"; "kppkp", "kppkn" ... "kqqqk";
// "knnknn", "kbnknn" ... "kqqkqq". A table name is 'k', the White men, 'k',
// the Black men, each written strongest first (q, r, b, n, p).
#pragma once

#include <array>
#include <cstdint>

#include "egtb/index_scheme.h"

constexpr int TABLE_COUNT = 179;  // entry 0, "kk", stands for no table
constexpr int LAST_THREE_MAN_TABLE = 5;
constexpr int LAST_FOUR_MAN_TABLE = 35;
constexpr int LAST_FIVE_MAN_TABLE = 145;

// Flags of a table.
constexpr uint32_t TABLE_SYMMETRIC = 1;  // both colours alike: one file, White to move
constexpr uint32_t TABLE_16BIT = 2;      // entries of two bytes, high byte first

// An index function: the table's White list, its Black list (16 slots of
// tablebase squares each), the en-passant square (TB_NO_SQUARE for none) and
// whether the position's colours are the table's exchanged.
using IndexFunction = uint32_t (*)(const int* first, const int* second, int ep, bool reversed);

struct TableInfo {
    int32_t number;
    uint32_t flags;
    IndexFunction index[2];  // White to move, Black to move
    uint32_t expected[2];    // entries per file side; 0 = not checked
    const char* name;
};

extern const std::array<TableInfo, TABLE_COUNT> tableCatalogue;

// The index layout of a table (all tables up to five men have one; the
// six-man tables do not fit our 32-bit entry numbers and have none).
const TableLayout& tableLayout(int table);
bool tableHasIndex(int table);
// Men on the board for a table, kings included.
int tableMen(int table);
// Men of a table name in count-tree order: White pawns, knights, bishops,
// rooks, queens, then Black's. False for a malformed name.
bool countsFromName(const char* name, int counts[10]);
// Table number of a name, or -1.
int findTable(const char* name);

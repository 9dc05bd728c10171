#include "egtb/catalogue.h"

#include <array>
#include <cstring>
#include <utility>

namespace {

constexpr const char* tableNames[TABLE_COUNT] = {
    "kk",
    "kpk", "knk", "kbk", "krk", "kqk", "kpkp", "knkp", "knkn",
    "kbkp", "kbkn", "kbkb", "krkp", "krkn", "krkb", "krkr", "kqkp",
    "kqkn", "kqkb", "kqkr", "kqkq", "kppk", "knpk", "knnk", "kbpk",
    "kbnk", "kbbk", "krpk", "krnk", "krbk", "krrk", "kqpk", "kqnk",
    "kqbk", "kqrk", "kqqk", "kppkp", "kppkn", "kppkb", "kppkr", "kppkq",
    "knpkp", "knpkn", "knpkb", "knpkr", "knpkq", "knnkp", "knnkn", "knnkb",
    "knnkr", "knnkq", "kbpkp", "kbpkn", "kbpkb", "kbpkr", "kbpkq", "kbnkp",
    "kbnkn", "kbnkb", "kbnkr", "kbnkq", "kbbkp", "kbbkn", "kbbkb", "kbbkr",
    "kbbkq", "krpkp", "krpkn", "krpkb", "krpkr", "krpkq", "krnkp", "krnkn",
    "krnkb", "krnkr", "krnkq", "krbkp", "krbkn", "krbkb", "krbkr", "krbkq",
    "krrkp", "krrkn", "krrkb", "krrkr", "krrkq", "kqpkp", "kqpkn", "kqpkb",
    "kqpkr", "kqpkq", "kqnkp", "kqnkn", "kqnkb", "kqnkr", "kqnkq", "kqbkp",
    "kqbkn", "kqbkb", "kqbkr", "kqbkq", "kqrkp", "kqrkn", "kqrkb", "kqrkr",
    "kqrkq", "kqqkp", "kqqkn", "kqqkb", "kqqkr", "kqqkq", "kpppk", "knppk",
    "knnpk", "knnnk", "kbppk", "kbnpk", "kbnnk", "kbbpk", "kbbnk", "kbbbk",
    "krppk", "krnpk", "krnnk", "krbpk", "krbnk", "krbbk", "krrpk", "krrnk",
    "krrbk", "krrrk", "kqppk", "kqnpk", "kqnnk", "kqbpk", "kqbnk", "kqbbk",
    "kqrpk", "kqrnk", "kqrbk", "kqrrk", "kqqpk", "kqqnk", "kqqbk", "kqqrk",
    "kqqqk", "knnknn", "kbnknn", "kbnkbn", "kbbknn", "kbbkbn", "kbbkbb", "krnknn",
    "krnkbn", "krnkbb", "krnkrn", "krbknn", "krbkbn", "krbkbb", "krbkrn", "krbkrb",
    "krrkrn", "krrkrb", "krrkrr", "kqnkrn", "kqnkrb", "kqnkrr", "kqnkqn", "kqbkrn",
    "kqbkrb", "kqbkrr", "kqbkqn", "kqbkqb", "kqrkrr", "kqrkqn", "kqrkqb", "kqrkqr",
    "kqqkqr", "kqqkqq",
};

constexpr bool sameMen(const char* name) {
    // "kXkY" with the same men on both sides.
    int second = 1;
    while (name[second] != 'k') second++;
    int i = 1, j = second + 1;
    while (i < second && name[j] && name[i] == name[j]) i++, j++;
    return i == second && name[j] == 0;
}

constexpr int menOf(const char* name) {
    int n = 0;
    while (name[n]) n++;
    return n;
}

// Distances to mate that run past what one byte holds: the six-man tables
// (some of their wins take more than two hundred moves).
constexpr uint32_t flagsOf(int number) {
    const char* name = tableNames[number];
    uint32_t flags = 0;
    if (number > 0 && sameMen(name)) flags |= TABLE_SYMMETRIC;
    if (menOf(name) == 6) flags |= TABLE_16BIT;
    return flags;
}

struct Layouts {
    TableLayout layout[TABLE_COUNT];
    bool indexed[TABLE_COUNT];
};

constexpr Layouts makeLayouts() {
    Layouts l{};
    for (int t = 1; t < TABLE_COUNT; t++) {
        l.indexed[t] = layoutFromName(tableNames[t], l.layout[t]) && l.layout[t].size <= 0xFFFFFFFFull;
        if (!l.indexed[t]) l.layout[t] = TableLayout{};
    }
    return l;
}

constexpr Layouts layouts = makeLayouts();

// One index function per table and side.
template <int Table, int Side>
uint32_t indexOf(const int* first, const int* second, int ep, bool reversed) {
    return indexPosition(layouts.layout[Table], Side, first, second, ep, reversed);
}

template <int Table>
constexpr TableInfo makeInfo() {
    TableInfo info{Table, flagsOf(Table), {nullptr, nullptr}, {0, 0}, tableNames[Table]};
    if constexpr (Table > 0) {
        if (layouts.indexed[Table]) {
            info.index[0] = &indexOf<Table, 0>;
            info.index[1] = &indexOf<Table, 1>;
            uint32_t entries = uint32_t(layouts.layout[Table].size);
            info.expected[0] = entries;
            info.expected[1] = (info.flags & TABLE_SYMMETRIC) ? 0 : entries;
        }
    }
    return info;
}

template <std::size_t... T>
constexpr std::array<TableInfo, TABLE_COUNT> makeCatalogue(std::index_sequence<T...>) {
    return {makeInfo<int(T)>()...};
}

static_assert(menOf(tableNames[LAST_THREE_MAN_TABLE]) == 3 && menOf(tableNames[LAST_THREE_MAN_TABLE + 1]) == 4);
static_assert(menOf(tableNames[LAST_FOUR_MAN_TABLE]) == 4 && menOf(tableNames[LAST_FOUR_MAN_TABLE + 1]) == 5);
static_assert(menOf(tableNames[LAST_FIVE_MAN_TABLE]) == 5 && menOf(tableNames[LAST_FIVE_MAN_TABLE + 1]) == 6);
static_assert(menOf(tableNames[TABLE_COUNT - 1]) == 6);

}  // namespace

constexpr std::array<TableInfo, TABLE_COUNT> tableCatalogue = makeCatalogue(std::make_index_sequence<TABLE_COUNT>{});

const TableLayout& tableLayout(int table) { return layouts.layout[table]; }

bool tableHasIndex(int table) { return table > 0 && table < TABLE_COUNT && layouts.indexed[table]; }

int tableMen(int table) { return menOf(tableNames[table]); }

bool countsFromName(const char* name, int counts[10]) {
    for (int i = 0; i < 10; i++) counts[i] = 0;
    if (!name || name[0] != 'k') return false;
    int colour = -1;
    for (const char* c = name; *c; c++) {
        const char* types = "pnbrq";
        if (*c == 'k') {
            if (++colour > 1) return false;
            continue;
        }
        const char* at = std::strchr(types, *c);
        if (!at) return false;
        counts[colour * 5 + int(at - types)]++;
    }
    return colour == 1;
}

int findTable(const char* name) {
    for (int t = 1; t < TABLE_COUNT; t++)
        if (std::strcmp(tableNames[t], name) == 0) return t;
    return -1;
}

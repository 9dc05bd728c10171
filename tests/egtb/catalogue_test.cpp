// The table catalogue: names, order, flags and the sizes of our files.
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "egtb/catalogue.h"

namespace {

// Strength order of the men in a name.
int strength(char c) { return int(std::strchr("pnbrq", c) - "pnbrq"); }

}  // namespace

TEST(Catalogue, SizeClassesHoldTheNamedTablesInOrder) {
    int perMen[7] = {};
    for (int t = 1; t < TABLE_COUNT; t++) perMen[tableMen(t)]++;
    EXPECT_EQ(perMen[3], 5);
    EXPECT_EQ(perMen[4], 30);
    EXPECT_EQ(perMen[5], 110);
    EXPECT_EQ(perMen[6], 33);

    const char* threeMen[] = {"kpk", "knk", "kbk", "krk", "kqk"};
    for (int t = 1; t <= 5; t++) EXPECT_STREQ(tableCatalogue[t].name, threeMen[t - 1]);
    const char* firstFourMen[] = {"kpkp", "knkp", "knkn", "kbkp", "kbkn", "kbkb", "krkp"};
    for (int i = 0; i < 7; i++) EXPECT_STREQ(tableCatalogue[6 + i].name, firstFourMen[i]);
    EXPECT_STREQ(tableCatalogue[20].name, "kqkq");
    const char* twoAgainstNone[] = {"kppk", "knpk", "knnk"};
    for (int i = 0; i < 3; i++) EXPECT_STREQ(tableCatalogue[21 + i].name, twoAgainstNone[i]);
    EXPECT_STREQ(tableCatalogue[35].name, "kqqk");
    EXPECT_STREQ(tableCatalogue[36].name, "kppkp");
    EXPECT_STREQ(tableCatalogue[145].name, "kqqqk");
    EXPECT_STREQ(tableCatalogue[146].name, "knnknn");
    EXPECT_STREQ(tableCatalogue[178].name, "kqqkqq");
    EXPECT_STREQ(tableCatalogue[0].name, "kk");
}

TEST(Catalogue, NamesAreWellFormedUniqueAndNumbered) {
    std::set<std::string> seen;
    for (int t = 1; t < TABLE_COUNT; t++) {
        const TableInfo& info = tableCatalogue[t];
        EXPECT_EQ(info.number, t);
        EXPECT_TRUE(seen.insert(info.name).second) << info.name;
        int counts[10];
        ASSERT_TRUE(countsFromName(info.name, counts)) << info.name;
        // Each side strongest first; White never the weaker side.
        const char* second = std::strchr(info.name + 1, 'k');
        const char* end = info.name + std::strlen(info.name);
        for (const char* c = info.name + 1; c + 1 < second; c++) EXPECT_GE(strength(c[0]), strength(c[1])) << info.name;
        for (const char* c = second + 1; c + 1 < end; c++) EXPECT_GE(strength(c[0]), strength(c[1])) << info.name;
        int white = 0, black = 0;
        for (int i = 0; i < 5; i++) white += counts[i], black += counts[5 + i];
        EXPECT_GE(white, black) << info.name;
        EXPECT_EQ(findTable(info.name), t);
        // A material and its colour-exchanged twin never both appear.
        std::string swapped = std::string(second) + std::string(info.name, size_t(second - info.name));
        if (swapped != info.name) {
            EXPECT_EQ(findTable(swapped.c_str()), -1) << info.name;
        }
    }
    EXPECT_EQ(findTable("kqkqq"), -1);
}

TEST(Catalogue, SixManTablesDifferByAtMostOneStep) {
    // minor 1, rook 2, queen 3
    auto steps = [](const char* side, size_t n) {
        int s = 0;
        for (size_t i = 0; i < n; i++) s += side[i] == 'q' ? 3 : side[i] == 'r' ? 2 : 1;
        return s;
    };
    for (int t = 146; t < TABLE_COUNT; t++) {
        const char* name = tableCatalogue[t].name;
        ASSERT_EQ(std::strlen(name), 6u);
        int diff = steps(name + 1, 2) - steps(name + 4, 2);
        EXPECT_TRUE(diff == 0 || diff == 1) << name;
        EXPECT_EQ(std::strpbrk(name, "p"), nullptr) << name;
    }
}

TEST(Catalogue, FlagsAndExpectedCounts) {
    for (int t = 1; t < TABLE_COUNT; t++) {
        const TableInfo& info = tableCatalogue[t];
        const char* second = std::strchr(info.name + 1, 'k');
        bool sameMen = std::strncmp(info.name + 1, second + 1, size_t(second - info.name - 1)) == 0 &&
                       std::strlen(second + 1) == size_t(second - info.name - 1);
        EXPECT_EQ(bool(info.flags & TABLE_SYMMETRIC), sameMen) << info.name;
        EXPECT_EQ(bool(info.flags & TABLE_16BIT), tableMen(t) == 6) << info.name;
        EXPECT_EQ(tableHasIndex(t), tableMen(t) <= 5) << info.name;
        if (tableHasIndex(t)) {
            EXPECT_EQ(info.expected[0], tableLayout(t).size) << info.name;
            EXPECT_EQ(info.expected[1], sameMen ? 0u : info.expected[0]) << info.name;
        } else {
            EXPECT_EQ(info.index[0], nullptr);
            EXPECT_EQ(info.expected[0], 0u);
        }
    }
    // 462 king placements times the pieces; pawns: 24 lead squares times
    // 48 per other pawn, the kings 64 each.
    EXPECT_EQ(tableCatalogue[findTable("kqk")].expected[0], 462u * 64);
    EXPECT_EQ(tableCatalogue[findTable("kqkr")].expected[0], 462u * 64 * 64);
    EXPECT_EQ(tableCatalogue[findTable("kpk")].expected[0], 24u * 64 * 64);
    EXPECT_EQ(tableCatalogue[findTable("kpkp")].expected[0], 24u * 48 * 64 * 64);
    EXPECT_EQ(tableCatalogue[findTable("krpkr")].expected[0], 24u * 64 * 64 * 64 * 64);
    EXPECT_EQ(tableCatalogue[findTable("kqqqk")].expected[0], 462u * 64 * 64 * 64);
}

// Our index scheme: every position has one entry, symmetric positions share
// it, and positions the tables do not hold are refused.
#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "egtb/catalogue.h"
#include "egtb/index_scheme.h"

namespace {

// A random placement of a table's men (digit order) on distinct squares,
// pawns on ranks 2-7, kings apart.
bool randomPlacement(const TableLayout& layout, std::mt19937& rng, int sq[TB_MAX_MEN]) {
    std::uniform_int_distribution<int> any(0, 63), pawnSquare(8, 55);
    for (int m = 0; m < layout.men; m++) {
        sq[m] = layout.manType[m] == 1 ? pawnSquare(rng) : any(rng);
        for (int k = 0; k < m; k++)
            if (sq[k] == sq[m]) return false;
    }
    int w = sq[layout.kingMen[0]], b = sq[layout.kingMen[1]];
    return std::abs(tbFile(w) - tbFile(b)) > 1 || std::abs(tbRank(w) - tbRank(b)) > 1;
}

// The 16-slot lists of a placement.
void toLists(const TableLayout& layout, const int sq[TB_MAX_MEN], int first[LIST_SLOTS], int second[LIST_SLOTS]) {
    int nth[2][7] = {};
    for (int i = 0; i < LIST_SLOTS; i++) first[i] = second[i] = 0;
    for (int m = 0; m < layout.men; m++) {
        int c = layout.manColour[m], t = layout.manType[m];
        (c ? second : first)[listSlot(t, nth[c][t]++)] = sq[m];
    }
}

const char* sampleTables[] = {"kqk", "kpk", "kbnk", "kqkq", "kpkp", "kppk", "krpkr", "kqqqk", "kppkp", "knnkb"};

}  // namespace

TEST(IndexScheme, EveryPositionDecodesBackToItsEntry) {
    std::mt19937 rng(11);
    for (const char* name : sampleTables) {
        const TableLayout& layout = tableLayout(findTable(name));
        for (int trial = 0; trial < 3000; trial++) {
            int sq[TB_MAX_MEN];
            if (!randomPlacement(layout, rng, sq)) continue;
            uint32_t index = canonicalIndex(layout, sq);
            ASSERT_NE(index, NO_INDEX) << name;
            ASSERT_LT(index, layout.size) << name;
            int back[TB_MAX_MEN];
            ASSERT_TRUE(decodeIndex(layout, index, back));
            EXPECT_EQ(canonicalIndex(layout, back), index) << name;
        }
    }
}

TEST(IndexScheme, SymmetricPositionsShareAnEntry) {
    std::mt19937 rng(5);
    for (const char* name : sampleTables) {
        const TableLayout& layout = tableLayout(findTable(name));
        // Without pawns all eight symmetries, with pawns only the file mirror.
        const int symmetries = layout.hasPawns ? 2 : 8;
        for (int trial = 0; trial < 500; trial++) {
            int sq[TB_MAX_MEN];
            if (!randomPlacement(layout, rng, sq)) continue;
            int copy[TB_MAX_MEN];
            std::copy(sq, sq + layout.men, copy);
            const uint32_t index = canonicalIndex(layout, copy);
            for (int t = 1; t < symmetries; t++) {
                int image[TB_MAX_MEN];
                for (int m = 0; m < layout.men; m++) image[m] = applySymmetry(t, sq[m]);
                EXPECT_EQ(canonicalIndex(layout, image), index) << name << " symmetry " << t;
            }
            // Like men in either order.
            for (int m = 1; m < layout.men; m++)
                if (layout.runStart[m] != m) {
                    std::copy(sq, sq + layout.men, copy);
                    std::swap(copy[m], copy[m - 1]);
                    EXPECT_EQ(canonicalIndex(layout, copy), index) << name;
                }
        }
    }
}

TEST(IndexScheme, DifferentPositionsGetDifferentEntries) {
    // Every KQK position: the entries in use are exactly the classes of
    // positions under the eight symmetries.
    const TableLayout& layout = tableLayout(findTable("kqk"));
    std::set<uint32_t> entries;
    std::set<std::vector<int>> classes;
    for (int wk = 0; wk < 64; wk++)
        for (int bk = 0; bk < 64; bk++)
            for (int q = 0; q < 64; q++) {
                int sq[3] = {wk, bk, q};
                if (wk == bk || wk == q || bk == q) continue;
                if (std::abs(tbFile(wk) - tbFile(bk)) <= 1 && std::abs(tbRank(wk) - tbRank(bk)) <= 1) continue;
                std::vector<int> smallest;
                for (int t = 0; t < 8; t++) {
                    std::vector<int> image = {applySymmetry(t, wk), applySymmetry(t, bk), applySymmetry(t, q)};
                    if (smallest.empty() || image < smallest) smallest = image;
                }
                classes.insert(smallest);
                entries.insert(canonicalIndex(layout, sq));
            }
    EXPECT_EQ(entries.size(), classes.size());
}

TEST(IndexScheme, ColourReversalAndSymmetricTables) {
    std::mt19937 rng(3);
    for (const char* name : {"kpk", "krpkr", "kpkp", "kqkq"}) {
        const int t = findTable(name);
        const TableInfo& info = tableCatalogue[t];
        const TableLayout& layout = tableLayout(t);
        for (int trial = 0; trial < 500; trial++) {
            int sq[TB_MAX_MEN];
            if (!randomPlacement(layout, rng, sq)) continue;
            int first[LIST_SLOTS], second[LIST_SLOTS];
            toLists(layout, sq, first, second);
            uint32_t plain = info.index[0](first, second, TB_NO_SQUARE, false);
            // The same position seen from the other side of the board, as
            // the engine finds it when the colours are exchanged.
            int flippedFirst[LIST_SLOTS], flippedSecond[LIST_SLOTS];
            for (int i = 0; i < LIST_SLOTS; i++) {
                flippedFirst[i] = flipRanks(first[i]);
                flippedSecond[i] = flipRanks(second[i]);
            }
            EXPECT_EQ(info.index[0](flippedFirst, flippedSecond, TB_NO_SQUARE, true), plain) << name;
            if (info.flags & TABLE_SYMMETRIC) {
                // Black to move reads the White-to-move entry of the twin.
                EXPECT_EQ(info.index[1](flippedSecond, flippedFirst, TB_NO_SQUARE, false), plain) << name;
            } else {
                EXPECT_EQ(info.index[1](first, second, TB_NO_SQUARE, false), plain) << name;
            }
        }
    }
}

TEST(IndexScheme, EnPassantRightsAreRefusedOnlyWhenACaptureIsPossible) {
    const int t = findTable("kpkp");
    const TableInfo& info = tableCatalogue[t];
    // White king e1, black king e8, white pawn d5, black pawn e5 just moved
    // e7-e5: d5xe6 is possible.
    auto sq = [](int file, int rank) { return rank * 8 + file; };
    int first[LIST_SLOTS] = {}, second[LIST_SLOTS] = {};
    first[KING_SLOT] = sq(4, 0);
    second[KING_SLOT] = sq(4, 7);
    first[0] = sq(3, 4);
    second[0] = sq(4, 4);
    EXPECT_EQ(info.index[0](first, second, sq(4, 5), false), NO_INDEX);
    const uint32_t without = info.index[0](first, second, TB_NO_SQUARE, false);
    EXPECT_NE(without, NO_INDEX);
    // With the white pawn on b5 nothing can take: the right is meaningless.
    first[0] = sq(1, 4);
    EXPECT_EQ(info.index[0](first, second, sq(4, 5), false), info.index[0](first, second, TB_NO_SQUARE, false));
    // Black to move after d2-d4 with a black pawn on e4.
    first[0] = sq(3, 3);
    second[0] = sq(4, 3);
    EXPECT_EQ(info.index[1](first, second, sq(3, 2), false), NO_INDEX);
    EXPECT_NE(info.index[1](first, second, TB_NO_SQUARE, false), NO_INDEX);
}

TEST(IndexScheme, RefusesImpossiblePlacements) {
    const TableLayout& kqk = tableLayout(findTable("kqk"));
    int touching[3] = {0, 9, 30};  // a1 and b2
    EXPECT_EQ(canonicalIndex(kqk, touching), NO_INDEX);
    const TableLayout& kpk = tableLayout(findTable("kpk"));
    int pawnOnLastRank[3] = {60, 4, 40};  // pawn e8, kings e1 and a6
    EXPECT_EQ(canonicalIndex(kpk, pawnOnLastRank), NO_INDEX);
    TableLayout layout;
    EXPECT_FALSE(layoutFromName("kqx", layout));
    EXPECT_FALSE(layoutFromName("kqqqqk", layout));
    EXPECT_FALSE(layoutFromName("kq", layout));
}

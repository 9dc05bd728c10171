// Tablebase values: the one-byte entries and the conversion to search scores.
#include <gtest/gtest.h>

#include "egtb/tablebase_values.h"

TEST(TablebaseValues, OneByteEntriesMapToValues) {
    EXPECT_EQ(valueFromByte(0), 0);
    EXPECT_EQ(valueFromByte(127), TB_NOT_AVAILABLE);
    EXPECT_EQ(valueFromByte(-128), 32640);
    EXPECT_EQ(valueFromByte(-127), -32640);
    for (int e = 1; e <= 126; e++) EXPECT_EQ(valueFromByte(int8_t(e)), e + 32640);
    for (int e = -126; e <= -1; e++) EXPECT_EQ(valueFromByte(int8_t(e)), e - 32640);
    // Every byte but "not available" comes back from its value.
    for (int e = -128; e <= 126; e++) {
        int8_t back = 0;
        ASSERT_TRUE(byteFromValue(valueFromByte(int8_t(e)), back)) << e;
        EXPECT_EQ(back, e);
    }
    int8_t unused;
    EXPECT_FALSE(byteFromValue(valueFromPlies(2 * 128 - 1), unused));  // mate in 128
    EXPECT_FALSE(byteFromValue(valueFromPlies(2 * 127), unused));      // mated in 127
    EXPECT_TRUE(byteFromValue(valueFromPlies(2 * 127 - 1), unused));   // mate in 127
    EXPECT_TRUE(byteFromValue(valueFromPlies(2 * 126), unused));       // mated in 126
}

TEST(TablebaseValues, ScoresFollowTheSearchMateScale) {
    // Mate in N moves from the root (ply 1): the mated side is at ply 2N.
    for (int n = 1; n <= 200; n++) EXPECT_EQ(scoreFromValue(valueFromPlies(2 * n - 1)), 10000 - 2 * n) << n;
    // Mated after N moves: the mated side is at ply 2N + 1.
    for (int n = 0; n <= 200; n++) EXPECT_EQ(scoreFromValue(valueFromPlies(2 * n)), 2 * n + 1 - 10000) << n;
    EXPECT_EQ(scoreFromValue(0), 0);
    // Nearer mates score higher, and every table score lies beyond the
    // mate threshold.
    EXPECT_GT(scoreFromValue(32766), scoreFromValue(32765));
    EXPECT_GT(scoreFromValue(-32640), scoreFromValue(-32766));
    EXPECT_GT(scoreFromValue(valueFromPlies(2 * 100 - 1)), 9700);
    EXPECT_LT(scoreFromValue(valueFromPlies(2 * 100)), -9700);
}

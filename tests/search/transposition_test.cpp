// The transposition table: probe answers, mate distances, replacement and
// the age, and entries that a torn write leaves behind.
#include "search_fixture.h"

namespace {

const char* const kMiddlegame = "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9";

class TranspositionTest : public SearchTest {
protected:
    HashBucket& bucketFor(uint64_t key) { return gTransposition.buckets[key & gTransposition.bucketMask]; }
    // Keys that share a bucket: same low bits, different high bits.
    uint64_t sameBucket(uint64_t key, int n) { return key ^ (uint64_t(n) << 40); }
};

TEST_F(TranspositionTest, MateScoresKeepTheirDistanceFromTheProbingNode) {
    auto pos = setUp(kMiddlegame);
    Move m = findMove(*pos, E3, H6);
    // A mate seven plies from the root found at ply 5 is a mate two plies
    // below the storing node; probed at ply 3 it is five plies from the root.
    hashStore(pos->hashKey, 5, 4, 10000 - 7, HASH_EXACT, m);
    EXPECT_EQ(entryScore(bucketFor(pos->hashKey).entries[0].data), 10000 - 3);
    pos->historyCount = 3;
    int score = 0;
    EXPECT_EQ(hashProbe(*pos, 4, -10000, 10000, score), HASH_EXACT);
    EXPECT_EQ(score, 10000 - 5);
    EXPECT_EQ(pos->hashMove[3], m);

    // Being mated counts the same way on the other side of zero.
    hashStore(pos->hashKey, 5, 4, -(10000 - 7), HASH_EXACT, m);
    EXPECT_EQ(hashProbe(*pos, 4, -10000, 10000, score), HASH_EXACT);
    EXPECT_EQ(score, -(10000 - 5));
}

TEST_F(TranspositionTest, BoundsCutOnlyOnTheirSideOfTheWindow) {
    auto pos = setUp(kMiddlegame);
    Move m = findMove(*pos, D4, C6);
    int score = 0;

    hashStore(pos->hashKey, 1, 5, 40, HASH_LOWER, m);
    EXPECT_EQ(hashProbe(*pos, 5, 0, 30, score), HASH_LOWER);
    EXPECT_EQ(score, 40);
    // Below beta the lower bound only hands over its move and score.
    pos->hashMove[1] = 0;
    EXPECT_EQ(hashProbe(*pos, 5, 0, 50, score), HASH_NONE);
    EXPECT_EQ(pos->hashMove[1], m);
    EXPECT_EQ(score, 40);

    hashStore(pos->hashKey, 1, 5, -20, HASH_UPPER, m);
    EXPECT_EQ(hashProbe(*pos, 5, -10, 30, score), HASH_UPPER);
    // Above alpha an upper bound cannot cut, but a null move would fail.
    EXPECT_EQ(hashProbe(*pos, 5, -30, 30, score), HASH_AVOID_NULL);
}

TEST_F(TranspositionTest, ExactEntriesEndTheNodeWhateverTheWindow) {
    auto pos = setUp(kMiddlegame);
    Move m = findMove(*pos, D4, C6);
    pos->historyCount = 2;
    pos->currentMove[1] = findMove(*pos, E3, H6);
    gSearch.iterationDepth = 7;
    hashStore(pos->hashKey, 2, 6, 500, HASH_EXACT, m);
    int score = 0;
    EXPECT_EQ(hashProbe(*pos, 6, -50, 50, score), HASH_EXACT);
    EXPECT_EQ(score, 500);

    // Inside the window the parent's line ends with the move that led here.
    hashStore(pos->hashKey, 2, 6, 10, HASH_EXACT, m);
    EXPECT_EQ(hashProbe(*pos, 6, -50, 50, score), HASH_EXACT);
    EXPECT_EQ(pos->pv[1].end, 2);
    EXPECT_EQ(pos->pv[1].moves[1], pos->currentMove[1]);
    EXPECT_EQ(pos->pv[1].depth, 7);
}

TEST_F(TranspositionTest, ShallowEntriesGiveTheirMoveAndTheNullMoveHint) {
    auto pos = setUp(kMiddlegame);
    Move m = findMove(*pos, D4, C6);
    int score = 12345;
    hashStore(pos->hashKey, 1, 3, -100, HASH_UPPER, m);
    // Depth 7 with 31 units of pieces: a null move would search 7 - 4 = 3
    // plies, no deeper than the stored result that failed low.
    EXPECT_EQ(hashProbe(*pos, 7, -50, 50, score), HASH_AVOID_NULL);
    EXPECT_EQ(pos->hashMove[1], m);
    EXPECT_EQ(score, 12345);  // too shallow to deliver a score
    EXPECT_EQ(hashProbe(*pos, 8, -50, 50, score), HASH_NONE);
}

TEST_F(TranspositionTest, ReplacementPrefersOldThenShallowEntries) {
    auto pos = setUp(kMiddlegame);
    const uint64_t key = pos->hashKey;
    HashBucket& bucket = bucketFor(key);
    gTransposition.age = 5;
    for (int i = 0; i < 4; i++) hashStore(sameBucket(key, i + 1), 1, 10 - i % 2, 0, HASH_EXACT, 0);  // depths 10 9 10 9
    // All four from this search: the first of the shallowest goes.
    hashStore(key, 1, 12, 0, HASH_EXACT, 0);
    EXPECT_EQ(bucket.entries[1].data ^ bucket.entries[1].check, key);

    // Next search: everything is old, the shallowest (depth 9) goes.
    gTransposition.age = 6;
    hashStore(sameBucket(key, 7), 1, 3, 0, HASH_EXACT, 0);
    EXPECT_EQ(bucket.entries[3].data ^ bucket.entries[3].check, sameBucket(key, 7));
    // An older search's entry goes before a current one, however deep it
    // is: entry 0 (depth 10, old) rather than entry 3 (depth 3, current).
    hashStore(sameBucket(key, 8), 1, 5, 0, HASH_EXACT, 0);
    EXPECT_EQ(bucket.entries[0].data ^ bucket.entries[0].check, sameBucket(key, 8));
    EXPECT_EQ(bucket.entries[3].data ^ bucket.entries[3].check, sameBucket(key, 7));
}

TEST_F(TranspositionTest, StoringAgainOverwritesTheSamePosition) {
    auto pos = setUp(kMiddlegame);
    const uint64_t key = pos->hashKey;
    hashStore(sameBucket(key, 1), 1, 1, 0, HASH_EXACT, 0);
    hashStore(key, 1, 9, 0, HASH_LOWER, 0);
    hashStore(key, 1, 2, 77, HASH_UPPER, 0);
    HashBucket& bucket = bucketFor(key);
    int holding = 0;
    for (HashEntry& e : bucket.entries) holding += (e.data ^ e.check) == key;
    EXPECT_EQ(holding, 1);
    EXPECT_EQ(entryDepth(bucket.entries[1].data), 2);
    EXPECT_EQ(entryScore(bucket.entries[1].data), 77);
}

TEST_F(TranspositionTest, AgeWrapsAfterSixteenSearches) {
    auto pos = setUp(kMiddlegame);
    const uint64_t key = pos->hashKey;
    HashBucket& bucket = bucketFor(key);
    gTransposition.age = 0;
    for (int i = 0; i < 4; i++) hashStore(sameBucket(key, i + 1), 1, 20 + i, 0, HASH_EXACT, 0);
    for (int i = 0; i < 16; i++) advanceTranspositionAge();
    EXPECT_EQ(gTransposition.age, 0);
    // Sixteen searches later the entries count as current again: the
    // shallowest (entry 0) is replaced rather than judged by age.
    hashStore(key, 1, 30, 0, HASH_EXACT, 0);
    EXPECT_EQ(bucket.entries[0].data ^ bucket.entries[0].check, key);
    EXPECT_EQ(entryDepth(bucket.entries[3].data), 23);
}

TEST_F(TranspositionTest, HitsRenewTheAge) {
    auto pos = setUp(kMiddlegame);
    hashStore(pos->hashKey, 1, 4, 0, HASH_EXACT, 0);
    advanceTranspositionAge();
    int score;
    hashProbe(*pos, 1, -10, 10, score);
    HashEntry& e = bucketFor(pos->hashKey).entries[0];
    EXPECT_EQ(entryAge(e.data), gTransposition.age);
    EXPECT_EQ(e.data ^ e.check, pos->hashKey);
}

TEST_F(TranspositionTest, TornEntryIsAMiss) {
    auto pos = setUp(kMiddlegame);
    hashStore(pos->hashKey, 1, 8, 300, HASH_EXACT, findMove(*pos, D4, C6));
    HashEntry& e = bucketFor(pos->hashKey).entries[0];
    // Another thread's data word without its check word.
    e.data = (e.data & ~0xFFull) | 2;
    int score = 0;
    EXPECT_EQ(hashProbe(*pos, 1, -10, 10, score), HASH_NONE);
    EXPECT_EQ(pos->hashMove[1], 0u);
}

TEST_F(TranspositionTest, StorePVKeepsWhatIsKnownAndAddsMoveOnlyEntries) {
    auto pos = setUp(kMiddlegame);
    Move a = findMove(*pos, D4, C6), b = findMove(*pos, E3, H6);
    hashStore(pos->hashKey, 1, 6, 25, HASH_LOWER, a);
    hashStorePV(pos->hashKey, b);
    uint64_t data = bucketFor(pos->hashKey).entries[0].data;
    EXPECT_EQ(entryMove(data), b);
    EXPECT_EQ(entryDepth(data), 6);
    EXPECT_EQ(entryBound(data), HASH_LOWER);
    EXPECT_EQ(entryScore(data), 25);

    const uint64_t other = sameBucket(pos->hashKey, 3);
    hashStorePV(other, a);
    bool found = false;
    for (HashEntry& e : bucketFor(other).entries) {
        if ((e.data ^ e.check) != other) continue;
        found = true;
        EXPECT_EQ(entryDepth(e.data), 0);
        EXPECT_EQ(entryBound(e.data), HASH_NONE);
        EXPECT_EQ(entryScore(e.data), 0);
        EXPECT_EQ(entryMove(e.data), a);
    }
    EXPECT_TRUE(found);
}

}  // namespace

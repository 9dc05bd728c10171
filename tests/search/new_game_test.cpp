// Starting a game: what a new game forgets of the one before, and what a
// rejected FEN leaves alone.
#include "search_fixture.h"
#include "search/new_game.h"

namespace {

const char* const kSetUp = "4k3/8/8/8/8/8/4P3/R3K3 b Q - 3 42";

class BeginGame : public SearchTest {
protected:
    // A game under way: a move in the record, positions in the repetition
    // list, a table entry for the game position and a pawn structure
    // stored, a few searches' age.
    std::unique_ptr<Position> gameUnderWay() {
        auto pos = setUp("r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9");
        playGameMove(*pos, findMove(*pos, F1, E2));
        gGame.gamePly = 40;
        gGame.setUpPosition = false;
        gTransposition.age = 7;
        storedKey = pos->hashKey;
        hashStore(storedKey, 1, 5, 40, HASH_EXACT, 0);
        storedPawnKey = pos->pawnKey;
        storePawnEntry(PawnEntry{storedPawnKey, 0x1234, 0});
        pos->pawnEntry = PawnEntry{storedPawnKey, 0x1234, 0};
        return pos;
    }
    // Nothing of the old game is left at the game level or in the pawn cache.
    void expectGameStarted(const Position& pos, int gamePly, bool setUp) {
        EXPECT_TRUE(gGame.gameRecord.empty()) << "no move of the old game can be taken back";
        EXPECT_EQ(gGame.gamePly, gamePly);
        EXPECT_EQ(gGame.setUpPosition, setUp);
        ASSERT_EQ(gGame.repetitionCount, 1u);
        EXPECT_EQ(gGame.repetitionList[0], pos.hashKey);
        EXPECT_EQ(pos.pawnEntry.key, 0u);
        EXPECT_EQ(gTransposition.age, 0);
    }
    bool tableKeepsEntry() {
        for (const HashEntry& entry : gTransposition.buckets[storedKey & gTransposition.bucketMask].entries)
            if ((entry.data ^ entry.check) == storedKey) return true;
        return false;
    }
    bool pawnTableKeepsEntry() {
        PawnEntry found;
        return probePawnTable(storedPawnKey, found);
    }

    uint64_t storedKey = 0;
    uint64_t storedPawnKey = 0;
};

TEST_F(BeginGame, FromAFenTheGameStartsAfresh) {
    auto pos = gameUnderWay();
    ASSERT_TRUE(beginGame(*pos, kSetUp));
    EXPECT_EQ(pos->sideToMove, BLACK);
    EXPECT_EQ(pos->historyCount, 1u);
    expectGameStarted(*pos, 84, true);
    // The pawn table goes, the transposition table only ages.
    EXPECT_FALSE(pawnTableKeepsEntry());
    EXPECT_TRUE(tableKeepsEntry());
}

TEST_F(BeginGame, FromTheInitialPositionThePawnTableStays) {
    auto pos = gameUnderWay();
    ASSERT_TRUE(beginGame(*pos));
    EXPECT_EQ(pos->hashKey, startPosition()->hashKey);
    expectGameStarted(*pos, 1, false);
    EXPECT_TRUE(pawnTableKeepsEntry());
    EXPECT_TRUE(tableKeepsEntry());
}

TEST_F(BeginGame, DroppedResultsEmptyBothTables) {
    auto pos = gameUnderWay();
    ASSERT_TRUE(beginGame(*pos, nullptr, StoredResults::Dropped));
    EXPECT_FALSE(pawnTableKeepsEntry());
    EXPECT_FALSE(tableKeepsEntry());
}

TEST_F(BeginGame, ARejectedFenLeavesBoardAndGameAsTheyWere) {
    auto pos = gameUnderWay();
    auto before = std::make_unique<Position>(*pos);
    const uint32_t repetitions = gGame.repetitionCount;
    for (const char* text : {"8/8/8/8/8/8/8/8 w - - 0 1", "4k3/8/8/8/8/8/8/R3K3 x", ""}) {
        for (StoredResults results : {StoredResults::Aged, StoredResults::Dropped}) {
            EXPECT_FALSE(beginGame(*pos, text, results)) << text;
            EXPECT_EQ(pos->hashKey, before->hashKey) << text;
            EXPECT_EQ(std::memcmp(pos->board, before->board, sizeof pos->board), 0) << text;
            EXPECT_EQ(gGame.gameRecord.size(), 1u) << text;
            EXPECT_EQ(gGame.gamePly, 40) << text;
            EXPECT_EQ(gGame.repetitionCount, repetitions) << text;
            EXPECT_EQ(gTransposition.age, 7) << text;
            EXPECT_TRUE(pawnTableKeepsEntry()) << text;
            EXPECT_TRUE(tableKeepsEntry()) << text;
        }
    }
}

}  // namespace

// Pawn-structure scores worked out by hand, and the behaviour of the shared
// pawn table and the thread's one-entry cache in front of it.
#include "eval_fixture.h"
#include "eval/eval_state.h"
#include "eval/pawns.h"

namespace {

using PawnStructure = EvalTest;

int structureOf(EvalTest& t, const std::string& fen) {
    auto pos = t.prepared(fen);
    return evaluatePawnStructure(*pos);
}

TEST_F(PawnStructure, DoubledPassersTheFrontOneCountsHalf) {
    // Kings and pawns only: endgame tables, three points per row of advance.
    // e4: 9 + 2*3 = 15, isolated, doubled -5, passer on rank 4: 32.
    // e5: 9 + 3*3 = 18, isolated, doubled -5, passer on rank 5 with a pawn
    //     behind: 60 - 30.
    // a7 (Black): 0, isolated, passer on its rank 2: 8.
    // Isolated 2 against 1: -10; unopposed 2 against 1: -5.
    EXPECT_EQ(structureOf(*this, "7k/p7/8/4P3/4P3/8/8/7K w - - 0 1"), 15 - 5 + 32 + 18 - 5 + 30 - 8 - 10 - 5);
}

TEST_F(PawnStructure, EightPawnsPayForTheMissingLever) {
    EXPECT_EQ(structureOf(*this, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 0);
    // Without Black's a-pawn: White pays 12 for keeping all eight, and its
    // a2 still earns the phalanx bonus (2) that a7 no longer matches; a7 was
    // worth 0 on its square, and b7 keeps its neighbour on c7.
    EXPECT_EQ(structureOf(*this, "rnbqkbnr/1ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), -12 + 2);
}

TEST_F(PawnStructure, BackwardPawnIsPenalised) {
    // e3 cannot advance: d5 and f5 hold e4 and no white pawn can come up
    // beside it. With f2 added, f2-f3 covers e4 and e3 is not backward.
    int backward = structureOf(*this, "4k3/8/8/3p1p2/3P4/4P3/8/4K3 w - - 0 1");
    int supported = structureOf(*this, "4k3/8/8/3p1p2/3P4/4P3/5P2/4K3 w - - 0 1");
    // The difference: no backward penalty (15, two attackers against no
    // defender), f2's square (6 in the endgame), and Black's f5 is no longer
    // an isolated pawn without opponent on its file (-5).
    EXPECT_EQ(supported - backward, 15 + 6 - 5);
}

TEST_F(PawnStructure, ShelterBytesDescribeEachWing) {
    // White: f2 g2 h2 at home, no queenside pawns of its own.
    // Black: g6 pushed one step, f7 h7 and the queenside at home.
    auto pos = prepared("r3k2r/ppp2p1p/6p1/8/8/8/5PPP/R3K2R w KQkq - 0 1");
    evaluatePawnStructure(*pos);
    const PawnEntry& e = pos->pawnEntry;
    EXPECT_EQ(kingsideShelter(e, WHITE), 0);
    EXPECT_EQ(queensideShelter(e, WHITE), 16) << "three files without an own pawn";
    EXPECT_EQ(kingsideShelter(e, BLACK), 1) << "one pawn on its third rank";
    EXPECT_EQ(queensideShelter(e, BLACK), 0);
    // No pawns at all on the queenside: also three open files (9, halved).
    auto open = prepared("4k3/8/8/8/8/8/5PPP/4K3 w - - 0 1");
    evaluatePawnStructure(*open);
    EXPECT_EQ(queensideShelter(open->pawnEntry, WHITE), 4 + 16);
    // f3 and g3 pushed together still guard each other: one defect less.
    auto twin = prepared("4k3/8/8/8/8/5PP1/7P/4K3 w - - 0 1");
    evaluatePawnStructure(*twin);
    EXPECT_EQ(kingsideShelter(twin->pawnEntry, WHITE), 1);
    // An h-pawn on h4 has advanced past its third rank.
    auto advanced = prepared("4k3/8/8/8/7P/8/5PP1/4K3 w - - 0 1");
    evaluatePawnStructure(*advanced);
    EXPECT_EQ(kingsideShelter(advanced->pawnEntry, WHITE), 3);
}

TEST_F(PawnStructure, PassedFilesAndFlagsAreRecorded) {
    // White a-pawn far from Black's kingside pawns: an outside passer.
    auto pos = prepared("6k1/5ppp/8/8/P7/8/5PPP/6K1 w - - 0 1");
    evaluatePawnStructure(*pos);
    const PawnEntry& e = pos->pawnEntry;
    EXPECT_EQ(passedFiles(e, WHITE), 0x01);
    EXPECT_EQ(passedFiles(e, BLACK), 0x00);
    EXPECT_EQ(outsidePasserFlags(e) & (WHITE_OUTSIDE_PASSER | BLACK_OUTSIDE_PASSER), WHITE_OUTSIDE_PASSER);
    // A protected passer: d5 supported by c4.
    auto guarded = prepared("6k1/p7/8/3P4/2P5/8/8/6K1 w - - 0 1");
    evaluatePawnStructure(*guarded);
    EXPECT_EQ(protectedPassers(guarded->pawnEntry), 1);
    // A candidate: White c4 and b4 against Black's b6 on a half-open c-file.
    auto candidate = prepared("6k1/8/1p6/8/1PP5/8/8/6K1 w - - 0 1");
    evaluatePawnStructure(*candidate);
    EXPECT_EQ(candidateFiles(candidate->pawnEntry, WHITE), 1 << 2);
}

TEST_F(PawnStructure, TableHitMissAndTornEntry) {
    auto pos = prepared("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    int first = evaluatePawnStructure(*pos);
    EXPECT_EQ(pos->evalStats.pawnHits, 0u);
    pos->pawnEntry = PawnEntry{};
    EXPECT_EQ(evaluatePawnStructure(*pos), first);
    EXPECT_EQ(pos->evalStats.pawnHits, 1u) << "the second probe finds the stored entry";

    // Tear the one stored slot: its score word from another write.
    PawnEntry* slot = nullptr;
    for (uint64_t i = 0; i < gPawnTable.count; ++i)
        if (gPawnTable.entries[i].key) slot = &gPawnTable.entries[i];
    ASSERT_NE(slot, nullptr);
    slot->word1 ^= 0x1234;
    pos->pawnEntry = PawnEntry{};
    EXPECT_EQ(evaluatePawnStructure(*pos), first) << "a torn entry is a miss and is recomputed";
    EXPECT_EQ(pos->evalStats.pawnHits, 1u);
    // The recomputed entry was written back whole.
    pos->pawnEntry = PawnEntry{};
    EXPECT_EQ(evaluatePawnStructure(*pos), first);
    EXPECT_EQ(pos->evalStats.pawnHits, 2u);
}

TEST_F(PawnStructure, OneEntryCacheSparesTheTable) {
    auto pos = prepared("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    int first = evaluate(*pos, -10000, 10000);
    EXPECT_EQ(pos->evalStats.pawnProbes, 1u);
    EXPECT_EQ(pos->evalStats.pawnHits, 0u);
    clearPawnTable();  // the cache alone must answer now
    EXPECT_EQ(evaluate(*pos, -10000, 10000), first);
    EXPECT_EQ(pos->evalStats.pawnProbes, 2u);
    EXPECT_EQ(pos->evalStats.pawnHits, 1u);
}

TEST_F(PawnStructure, PhaseChangeAfterLeavingTheBookEmptiesTheTable) {
    // The same pawns with queens and rooks (middlegame) and with a rook
    // each (endgame, where every step of e4 and d6 counts three).
    auto middle = positionFromFen("r3k2r/ppp2ppp/3p4/8/4P3/8/PPP2PPP/R2QK2R w - - 0 1");
    auto late = positionFromFen("r3k3/ppp2ppp/3p4/8/4P3/8/PPP2PPP/R3K3 w - - 0 1");
    ASSERT_EQ(late->pawnKey, middle->pawnKey);
    PawnEntry probe;

    gEvalSettings.bookLeft = true;
    prepareEvaluation(*middle);
    int middleScore = evaluatePawnStructure(*middle);
    ASSERT_TRUE(probePawnTable(middle->pawnKey, probe));
    prepareEvaluation(*late);
    EXPECT_FALSE(probePawnTable(late->pawnKey, probe)) << "emptied: the phase changed";
    EXPECT_NE(evaluatePawnStructure(*late), middleScore);

    // Still in the book: the table stays as it is.
    gEvalSettings.bookLeft = false;
    prepareEvaluation(*middle);
    EXPECT_TRUE(probePawnTable(late->pawnKey, probe));
    // A thread's private copy from before the change is not trusted.
    uint32_t hits = late->evalStats.pawnHits;
    evaluate(*late, -10000, 10000);
    EXPECT_EQ(late->evalStats.pawnHits, hits + 1) << "found in the table, not in the stale copy";
}

TEST_F(PawnStructure, BlockedPawnsCountOnlyForTheEngine) {
    // Six white pawns, three of them rammed: blocked table[3] = 24 when the
    // engine plays White and White is to move.
    const char* fen = "4k3/8/8/2ppp3/2PPP3/8/PPP5/4K3 w - - 0 1";
    int neutral = structureOf(*this, fen);
    gGame.engineSide = WHITE;
    clearPawnTable();
    EXPECT_EQ(structureOf(*this, fen), neutral - 24);
    gEvalSettings.computerOpponent = true;
    clearPawnTable();
    EXPECT_EQ(structureOf(*this, fen), neutral);
}

TEST_F(PawnStructure, ConnectedPassersOnTheSixth) {
    // d6 and e6: 48 for the pair, and 125 more while the king can still
    // reach their queening squares; 425 when it is outside both squares.
    auto near = prepared("4k3/8/3PP3/8/8/8/8/4K3 w - - 0 1");
    evaluatePawnStructure(*near);
    EXPECT_EQ(evaluatePassedPawns(*near), 48 + 125);
    auto far = prepared("8/8/3PP3/8/8/8/8/k3K3 w - - 0 1");
    evaluatePawnStructure(*far);
    EXPECT_EQ(evaluatePassedPawns(*far), 48 + 425);
    // A blockader in front of the front pawn: rank 6 blockade 45.
    auto blocked = prepared("3k4/3n4/3P4/8/8/8/8/4K3 w - - 0 1");
    evaluatePawnStructure(*blocked);
    EXPECT_EQ(evaluatePassedPawns(*blocked), -45);
}

TEST_F(PawnStructure, PawnRaces) {
    auto race = [this](const std::string& fen) {
        auto pos = prepared(fen);
        evaluatePawnStructure(*pos);
        return evaluatePawnRace(*pos);
    };
    // The king in front of its pawn on the sixth rank: a won ending.
    EXPECT_EQ(race("4k3/8/4K3/4P3/8/8/8/8 w - - 0 1"), 600);
    EXPECT_EQ(race("8/8/8/8/4p3/4k3/8/4K3 b - - 0 1"), -600);
    // The king behind its pawn and the defender in front: nothing yet.
    EXPECT_EQ(race("8/8/8/4k3/8/8/4P3/4K3 w - - 0 1"), 0);
    // A rook pawn the black king cannot catch: five moves to queen.
    EXPECT_EQ(race("8/8/8/8/8/7k/P7/K7 w - - 0 1"), 600);
    EXPECT_EQ(race("8/8/8/8/8/7k/P7/K7 b - - 0 1"), 600);
    // Both sides have a passer: the king on a8 catches b5, nothing stops
    // g3, which needs two moves: 600 + 10 * (5 - 2) for Black.
    EXPECT_EQ(race("k7/8/8/1P6/8/6p1/8/K7 b - - 0 1"), -(600 + 30));
    // Both run: b6 needs two moves, g4 three, Black to move. White queens at
    // ply 4, Black right after at ply 5. The queen on b8 neither covers g1
    // nor checks the king on h4: undecided.
    EXPECT_EQ(race("8/8/1P6/8/6pk/8/8/K7 b - - 0 1"), 0);
    // With the king on h2 the new queen checks along b8-h2 and wins the tempo.
    EXPECT_EQ(race("8/8/1P6/8/6p1/8/7k/K7 b - - 0 1"), 600 + 30);
}

}  // namespace

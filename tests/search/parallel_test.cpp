// The parallel search: what one thread never does, what several threads
// must find, and the bookkeeping of splits (records back in the pool, the
// owner's wait, stopped workers, the root's line).
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/spin_lock.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search_fixture.h"

namespace {

const char* const kMiddlegame = "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 0 9";
// Win at Chess 1: Qg6 mates.
const char* const kMateForWhite = "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1";

class ParallelTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        // The threads say when they start.
        reportNotesAsLines();
    }
    void TearDown() override {
        changeThreadCount(1);
        gGame.engineSide = -1;
        gSearch.ponderingDisabled = false;
        gSearch.inputHook = nullptr;
    }

    // After a search every copy is back in the pool and nobody works for
    // the root any more.
    void expectPoolEmpty(Position& root) {
        EXPECT_EQ(gThreadPool.recordsInUse, 0u);
        for (unsigned k = 0; k < gThreadPool.recordCount; k++)
            EXPECT_EQ(gThreadPool.records[k]->inUse, 0u) << "record " << k;
        EXPECT_EQ(root.workerCount, 0u);
    }

    bool legalAtRoot(Position& pos, Move move) {
        Move list[MAX_MOVES];
        Move* end = generateAllMoves(pos, list);
        for (Move* m = list; m < end; m++)
            if (*m == move) return isLegalMove(move, pos);
        return false;
    }
};

TEST_F(ParallelTest, OneThreadNeverSplitsNorStartsAThread) {
    changeThreadCount(1);
    auto pos = setUp(kMiddlegame);
    searchToDepth(*pos, 8);
    EXPECT_EQ(gParallel.splitCount, 0u);
    EXPECT_EQ(gThreadPool.startedCount.load(), 0);
    EXPECT_EQ(gThreadPool.recordCount, 0u) << "one thread needs no copies";
    EXPECT_EQ(searchOutput.find("starting thread"), std::string::npos);
}

TEST_F(ParallelTest, TwoThreadsSplitAndAgreeWithOneOnTheMate) {
    changeThreadCount(2);
    auto pos = setUp(kMateForWhite);
    int score = searchToDepth(*pos, 7);
    EXPECT_GT(score, MATE_THRESHOLD);
    EXPECT_EQ(pos->pv[0].moves[1], findMove(*pos, G3, G6));
    EXPECT_NE(searchOutput.find("starting thread 1\n"), std::string::npos) << searchOutput;
    EXPECT_NE(searchOutput.find("done\n"), std::string::npos);
    expectPoolEmpty(*pos);

    // A quiet middlegame is big enough to be split many times.
    auto quiet = setUp(kMiddlegame);
    searchToDepth(*quiet, 9);
    EXPECT_GT(gParallel.splitCount, 0u);
    EXPECT_TRUE(legalAtRoot(*quiet, quiet->pv[0].moves[1]));
    expectPoolEmpty(*quiet);
    EXPECT_EQ(searchOutput.find("starting thread"), std::string::npos) << "the helper stayed between searches";
}

TEST_F(ParallelTest, RootLineIsTheBestRootMoveAfterSplitsOfTheRoot) {
    // The move the game plays is the root record's line; whoever found the
    // best root move (thread 0 or a worker at a split of the root), the
    // line and the front of the root list must agree after each search.
    changeThreadCount(3);
    const char* fens[] = {kMiddlegame, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10"};
    for (const char* fen : fens) {
        auto pos = setUp(fen);
        searchToDepth(*pos, 9);
        ASSERT_GT(gSearch.rootMoveCount, 0);
        EXPECT_EQ(pos->pv[0].moves[1], gSearch.rootMoves[0].move) << fen;
        EXPECT_TRUE(legalAtRoot(*pos, pos->pv[0].moves[1])) << fen;
        expectPoolEmpty(*pos);
    }
}

TEST_F(ParallelTest, WorkersLineReachesTheRootRecord) {
    auto root = setUp(kMiddlegame);
    auto worker = positionFromFen(kMiddlegame);
    gSearch.iterationDepth = 3;
    nextRootMove(*root);  // builds the root list
    const Move second = gSearch.rootMoves[1].move;
    worker->historyCount = 1;
    worker->pv[1].moves[1] = second;
    worker->pv[1].end = 2;
    testing::internal::CaptureStdout();
    rootNewBest(*worker, *root, 50, 100, second);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(root->pv[0].moves[1], second);
    EXPECT_EQ(root->pv[1].moves[1], second);
    EXPECT_EQ(gSearch.rootMoves[0].move, second) << "the new best goes to the front";
}

// What a worker reads of its copy must be what its parent had at the split:
// the whole board, the evaluation's scratch, the path above the split and
// the split node's own ply. The pool's records are filled with rubbish
// first, as a record that served an earlier split would be, so a field the
// copy leaves out shows.
TEST_F(ParallelTest, CopyAgreesWithItsParentOnEverythingAWorkerReads) {
    allocateRecordPool(2);
    for (unsigned k = 0; k < gThreadPool.recordCount; k++) {
        std::memset(static_cast<void*>(gThreadPool.records[k]), 0xA5, sizeof(Position));
        gThreadPool.records[k]->inUse = 0;
    }
    auto parent = setUp("rnbqkbnr/ppp1pppp/8/8/3p4/8/PPPPPPPP/RNBQKBNR w KQkq - 4 9");
    // Three plies down a search path; the last, a double step beside the
    // black pawn, leaves an en-passant square.
    const int path[3][2] = {{G1, F3}, {B8, C6}, {E2, E4}};
    for (int i = 0; i < 3; i++) {
        const int ply = int(parent->historyCount);
        const Move m = findMove(*parent, path[i][0], path[i][1]);
        parent->currentMove[ply] = m;
        parent->inCheck[ply] = uint8_t(ply & 1);
        parent->movesSearched[ply] = uint32_t(10 + ply);
        parent->pathKeys[ply] = parent->hashKey;
        ASSERT_TRUE(makeMove(*parent, m, false));
    }
    const int p = int(parent->historyCount);
    ASSERT_EQ(p, 4);
    ASSERT_NE(parent->epSquare, 0);
    parent->inCheck[p] = 1;
    parent->movesSearched[p] = 3;
    parent->pathKeys[p] = parent->hashKey;
    parent->hashMove[p] = findMove(*parent, D4, E3);
    parent->currentMove[p] = findMove(*parent, G8, F6);
    for (int ply = 0; ply < PLY_SLOTS; ply++)
        for (int k = 0; k < 2; k++) parent->killers[ply][k] = Move(1000 + 2 * ply + k);
    for (int row : {p - 1, p}) {
        for (int i = 0; i <= MAX_PLY; i++) parent->pv[row].moves[i] = Move(row * 100 + i);
        parent->pv[row].end = uint8_t(row + 2);
        parent->pv[row].depth = uint8_t(row + 5);
    }
    parent->picker[p] = PickerState{2, 3, 17, 21};
    parent->movesDelivered[p] = 7;
    parent->gamePhase = 1;
    parent->pawnEntry = PawnEntry{parent->pawnKey, 0x1234, 0x5678};
    parent->splitDepth = 6;
    parent->splitAlpha = -30;
    parent->splitBeta = 40;
    parent->stats.nodes = 123;
    parent->evalStats.evals = 45;

    Position* copy = copyToChild(*parent, 1);
    ASSERT_NE(copy, nullptr);
    const Position& c = *copy;
    // The board.
    EXPECT_EQ(std::memcmp(c.board, parent->board, sizeof c.board), 0);
    EXPECT_EQ(c.hashKey, parent->hashKey);
    EXPECT_EQ(c.pawnKey, parent->pawnKey);
    EXPECT_EQ(c.occFileMajor, parent->occFileMajor);
    EXPECT_EQ(c.occA1H8, parent->occA1H8);
    EXPECT_EQ(c.occA8H1, parent->occA8H1);
    for (int colour : {WHITE, BLACK}) {
        const SideRecord &mine = c.sides[colour], &theirs = parent->sides[colour];
        EXPECT_EQ(std::memcmp(mine.pieces, theirs.pieces, sizeof mine.pieces), 0) << colour;
        EXPECT_EQ(mine.pawnCount, theirs.pawnCount) << colour;
        EXPECT_EQ(mine.pieceMaterial, theirs.pieceMaterial) << colour;
        EXPECT_EQ(mine.minorCount, theirs.minorCount) << colour;
        EXPECT_EQ(mine.majorCount, theirs.majorCount) << colour;
        EXPECT_EQ(mine.kingSquare, theirs.kingSquare) << colour;
        EXPECT_EQ(mine.materialScore, theirs.materialScore) << colour;
    }
    EXPECT_EQ(c.sideToMove, parent->sideToMove);
    EXPECT_EQ(c.castling, parent->castling);
    EXPECT_EQ(c.epSquare, parent->epSquare);
    EXPECT_EQ(c.historyCount, parent->historyCount);
    for (int ply = 0; ply <= p; ply++) {
        const HistoryEntry &mine = c.history[ply], &theirs = parent->history[ply];
        EXPECT_EQ(mine.move, theirs.move) << ply;
        EXPECT_EQ(mine.castling, theirs.castling) << ply;
        EXPECT_EQ(mine.epSquare, theirs.epSquare) << ply;
        EXPECT_EQ(mine.reversibleMoves, theirs.reversibleMoves) << ply;
        EXPECT_EQ(mine.hashKey, theirs.hashKey) << ply;
        EXPECT_EQ(mine.pawnKey, theirs.pawnKey) << ply;
    }
    // The evaluation's scratch.
    EXPECT_EQ(c.gamePhase, parent->gamePhase);
    EXPECT_EQ(c.pawnEntry.key, parent->pawnEntry.key);
    EXPECT_EQ(c.pawnEntry.word1, parent->pawnEntry.word1);
    EXPECT_EQ(c.pawnEntry.word2, parent->pawnEntry.word2);
    // The path above the split, and the split node's ply.
    for (int ply = 0; ply <= p; ply++) {
        EXPECT_EQ(c.currentMove[ply], parent->currentMove[ply]) << ply;
        EXPECT_EQ(c.inCheck[ply], parent->inCheck[ply]) << ply;
        EXPECT_EQ(c.movesSearched[ply], parent->movesSearched[ply]) << ply;
        EXPECT_EQ(c.pathKeys[ply], parent->pathKeys[ply]) << ply;
    }
    EXPECT_EQ(c.hashMove[p], parent->hashMove[p]);
    EXPECT_EQ(std::memcmp(c.killers, parent->killers, sizeof c.killers), 0);
    for (int row : {p - 1, p}) {
        EXPECT_EQ(std::memcmp(c.pv[row].moves, parent->pv[row].moves, sizeof c.pv[row].moves), 0) << row;
        EXPECT_EQ(c.pv[row].end, parent->pv[row].end) << row;
        EXPECT_EQ(c.pv[row].depth, parent->pv[row].depth) << row;
    }
    EXPECT_EQ(c.picker[p].reportedStage, parent->picker[p].reportedStage);
    EXPECT_EQ(c.picker[p].status, parent->picker[p].status);
    EXPECT_EQ(c.picker[p].badCaptureMark, parent->picker[p].badCaptureMark);
    EXPECT_EQ(c.picker[p].next, parent->picker[p].next);
    EXPECT_EQ(c.movesDelivered[p], parent->movesDelivered[p]);
    EXPECT_EQ(c.splitDepth, parent->splitDepth);
    EXPECT_EQ(c.splitAlpha, parent->splitAlpha);
    EXPECT_EQ(c.splitBeta, parent->splitBeta);
    // What starts afresh: the counters, the copy's own move stack and its
    // place among the splits.
    EXPECT_EQ(c.stats.nodes, 0u);
    EXPECT_EQ(c.stats.selDepth, 0u);
    EXPECT_EQ(c.evalStats.evals, 0u);
    EXPECT_EQ(c.evalStats.pawnHits, 0u);
    for (int32_t start : c.listStart) EXPECT_EQ(start, 0) << "the copy's moves go on its own stack";
    EXPECT_EQ(c.parent, nullptr);
    for (Position* below : c.children) EXPECT_EQ(below, nullptr);
    EXPECT_EQ(c.workerCount, 0u);
    EXPECT_FALSE(stopFlagSet(c));
    EXPECT_EQ(c.splitBestScore, 0);
    EXPECT_EQ(c.splitBestMove, 0u);

    EXPECT_EQ(gThreadPool.recordsInUse, 1u);
    copyToParent(*parent, *copy, -MATE);
    EXPECT_EQ(gThreadPool.recordsInUse, 0u);
}

TEST_F(ParallelTest, StoppedWorkersPassOnCountsButNoKillers) {
    allocateRecordPool(3);
    auto parent = setUp(kMiddlegame);
    parent->splitAlpha = 0;
    parent->splitBestScore = 0;
    Position* a = copyToChild(*parent, 1);
    Position* b = copyToChild(*parent, 2);
    ASSERT_TRUE(a && b);
    parent->children[1] = a;
    parent->children[2] = b;
    // b is itself split with a copy of its own below it.
    Position* below = copyToChild(*b, 0);
    ASSERT_NE(below, nullptr);
    b->children[0] = below;

    stopChildren(*b);
    EXPECT_TRUE(stopFlagSet(*b));
    EXPECT_TRUE(stopFlagSet(*below)) << "a stop reaches the copies below";
    EXPECT_FALSE(stopFlagSet(*a));

    const Move killer = findMove(*parent, G2, G4);
    b->stats.nodes = 1000;
    b->evalStats.pawnHits = 40;
    b->killers[5][0] = killer;
    parent->splitBestScore = 900;  // as if b had got there before it was stopped
    copyToParent(*parent, *b, 900);
    EXPECT_NE(parent->killers[5][0], killer) << "a stopped copy's killers are not taken";
    EXPECT_EQ(parent->stats.nodes, 1000u) << "its nodes still count";
    EXPECT_EQ(parent->evalStats.pawnHits, 40u) << "and so do its evaluations";

    a->stats.nodes = 10;
    a->killers[5][0] = killer;
    copyToParent(*parent, *a, 900);
    EXPECT_EQ(parent->killers[5][0], killer) << "the copy that found the best move passes on its killers";
    EXPECT_EQ(parent->stats.nodes, 1010u);
    copyToParent(*b, *below, 0);
    EXPECT_EQ(gThreadPool.recordsInUse, 0u);
}

TEST_F(ParallelTest, OwnerKeepsPollingInputWhileItsWorkersSearch) {
    // Thread 0 waits as the owner of a split whose worker (played here by
    // the test) takes long: the input and the clock are still looked at.
    allocateRecordPool(2);
    auto root = setUp(kMiddlegame);
    root->threadNumber = 0;
    root->workerCount = 1;
    static std::atomic<int> polls;
    static Position* waitingOn;
    polls = 0;
    waitingOn = root.get();
    gSearch.inputHook = [](Position& pos) {
        EXPECT_EQ(&pos, waitingOn) << "commands see the search's root record";
        if (++polls == 3) std::atomic_ref<uint32_t>(waitingOn->workerCount).store(0);
    };
    gParallel.work[0] = nullptr;
    gSearch.iterationDepth = 1;  // the time check leaves the first iterations alone
    threadWait(0, root.get());
    EXPECT_GE(polls.load(), 3);
    EXPECT_EQ(gParallel.work[0].load(), root.get()) << "the owner is busy with its node again";
}

TEST_F(ParallelTest, OwnerWaitsForItsWorkersEvenInForceModeWithPonderingOff) {
    // "force" and "easy" may arrive while workers still search for the
    // owner; leaving then would lose their results.
    allocateRecordPool(2);
    auto root = setUp(kMiddlegame);
    root->workerCount = 1;
    gGame.engineSide = -1;
    gSearch.ponderingDisabled = true;
    gParallel.work[1] = nullptr;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        workerDone = true;
        std::atomic_ref<uint32_t>(root->workerCount).store(0);
        // As the last worker of a split does: the owner may sleep.
        ringDoorbell(gParallel.doorbells[1]);
    });
    const auto start = std::chrono::steady_clock::now();
    threadWait(1, root.get());
    EXPECT_TRUE(workerDone.load());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100 + IDLE_SLEEP_MS / 2))
        << "the ring woke the sleeping owner, not its safety timeout";
    worker.join();
}

TEST_F(ParallelTest, IdleThreadsSleepBetweenSearchesAndAreNotStartedAgain) {
    // Force mode and pondering off: the engine will not think before the
    // opponent moves, yet the helpers stay, asleep, for the next search.
    changeThreadCount(3);
    auto pos = setUp(kMiddlegame);
    gGame.engineSide = -1;
    gSearch.ponderingDisabled = true;
    testing::internal::CaptureStdout();
    beginParallelSearch(*pos);
    const std::string started = testing::internal::GetCapturedStdout();
    EXPECT_NE(started.find("starting thread 1\n"), std::string::npos) << started;
    EXPECT_NE(started.find("starting thread 2\n"), std::string::npos) << started;
    endParallelSearch();
    auto asleep = [] {
        return gParallel.doorbells[1].sleeping.load() == 1 && gParallel.doorbells[2].sleeping.load() == 1;
    };
    for (int i = 0; i < 2000 && !asleep(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(asleep()) << "idle helpers sleep once they have waited a while";
    EXPECT_EQ(gThreadPool.startedCount.load(), 2) << "and do not end";
    EXPECT_EQ(gParallel.idleCount.load(), 2);

    // The next searches find them there, wake them at their splits, and
    // start nobody.
    const char* fens[] = {kMiddlegame, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"};
    for (const char* fen : fens) {
        pos = setUp(fen);
        searchToDepth(*pos, 8);
        EXPECT_EQ(searchOutput.find("starting thread"), std::string::npos) << searchOutput;
        EXPECT_GT(gParallel.splitCount, 0u);
        expectPoolEmpty(*pos);
    }
    EXPECT_EQ(gThreadPool.startedCount.load(), 2);

    // A new thread count ends them, asleep or not.
    changeThreadCount(1);
    EXPECT_EQ(gThreadPool.startedCount.load(), 0);
}

TEST_F(ParallelTest, MoreThreadsThanCoresAndThanCopiesAtASplit) {
    // Ten threads on a smaller machine: at most eight copies work at one
    // split, any idle thread may be among them, and the search still ends
    // with every record back.
    changeThreadCount(10);
    auto pos = setUp(kMiddlegame);
    searchToDepth(*pos, 8);
    EXPECT_TRUE(legalAtRoot(*pos, pos->pv[0].moves[1]));
    EXPECT_GT(gParallel.splitCount, 0u);
    expectPoolEmpty(*pos);
}

}  // namespace

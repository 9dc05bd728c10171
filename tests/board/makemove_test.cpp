// Making and taking back moves, and the game-level history.
#include "board/board_helpers.h"

namespace {

// The generated move written as coordinates in this position.
Move findMove(Board& pos, const char* text) {
    MoveC parsed;
    parseMove(parsed, pos, text);
    EXPECT_TRUE(isLegalMove(parsed.move, pos)) << text;
    return parsed.move;
}

// Makes the move, checks the new position against a recount, takes it
// back and checks that nothing changed.
void checkMakeUnmake(Board& pos, Move m, const std::string& what) {
    auto before = std::make_unique<Board>(pos);
    const uint32_t n = pos.historyCount;
    ASSERT_TRUE(makeMove(pos, m, true)) << what;
    expectConsistent(pos, what + " made");
    EXPECT_EQ(pos.history[n].move, m);
    EXPECT_EQ(pos.history[n].hashKey, before->hashKey);
    EXPECT_EQ(pos.history[n + 1].castling, pos.castling);
    unmakeMove(pos);
    expectSameBoard(*before, pos, what + " unmade");
}

TEST(MakeUnmake, RestoresEveryFieldForEveryMoveType) {
    struct Case {
        const char* fen;
        const char* move;
        const char* what;
    };
    const Case cases[] = {
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", "e5f7", "capture"},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", "d2c1", "quiet"},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", "a2a4", "double push"},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", "e1g1", "white short castling"},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", "e1c1", "white long castling"},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1", "e8g8", "black short castling"},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1", "e8c8", "black long castling"},
        {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", "e5f6", "white en passant"},
        {"rnbqkbnr/pppp1ppp/8/8/3Pp3/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 2", "e4d3", "black en passant"},
        {"4k3/1P6/8/8/8/8/6p1/4K3 w - - 0 1", "b7b8q", "promotion to queen"},
        {"4k3/1P6/8/8/8/8/6p1/4K3 w - - 0 1", "b7b8r", "promotion to rook"},
        {"4k3/1P6/8/8/8/8/6p1/4K3 w - - 0 1", "b7b8b", "promotion to bishop"},
        {"4k3/1P6/8/8/8/8/6p1/4K3 w - - 0 1", "b7b8n", "promotion to knight"},
        {"4k3/8/8/8/8/8/6p1/4K2R b K - 0 1", "g2h1q", "black promotion with capture"},
        {"r3k1n1/1P6/8/8/8/8/8/4K3 w q - 0 1", "b7a8n", "white promotion with capture of a rook"},
    };
    for (const Case& c : cases) {
        auto pos = positionFromFen(c.fen);
        checkMakeUnmake(*pos, findMove(*pos, c.move), c.what);
    }
}

TEST(MakeUnmake, RestoresEveryFieldOnRandomGames) {
    forEachRandomPosition(8, 80, [](Board& pos) {
        Move moves[MAX_MOVES];
        Move* end = inCheck(pos) ? generateEvasions(pos, moves) : generateAllMoves(pos, moves);
        for (Move* m = moves; m < end; m++) checkMakeUnmake(pos, *m, moveText(*m));
        ASSERT_FALSE(testing::Test::HasFailure());
    });
}

TEST(MakeMove, EnPassantSquareOnlyWhenAPawnCanTake) {
    auto pos = startPosition();
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, "e2e4"), false));
    EXPECT_EQ(pos->epSquare, 0);
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, "d7d5"), false));
    EXPECT_EQ(pos->epSquare, 0);  // the e4 pawn takes on d5 the ordinary way
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, "e4e5"), false));
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, "f7f5"), false));
    EXPECT_EQ(pos->epSquare, 21);  // f6
    EXPECT_EQ(pos->hashKey, computeHashKey(*pos));
}

TEST(MakeMove, CastlingRightsLostByRookCaptureAndKingMoves) {
    auto pos = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, "h1h8"), false));
    EXPECT_EQ(pos->castling, WHITE_QUEENSIDE | BLACK_QUEENSIDE);
    EXPECT_EQ(pos->hashKey, computeHashKey(*pos));

    auto king = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    ASSERT_TRUE(makeMove(*king, findMove(*king, "e1e2"), false));
    ASSERT_TRUE(makeMove(*king, findMove(*king, "a8b8"), false));
    ASSERT_TRUE(makeMove(*king, findMove(*king, "e2e1"), false));
    EXPECT_EQ(king->castling, BLACK_KINGSIDE);
    EXPECT_EQ(king->hashKey, computeHashKey(*king));
}

TEST(MakeMove, IllegalMoveIsTakenBack) {
    // The knight on d2 is pinned by the bishop on b4.
    auto pos = positionFromFen("4k3/8/8/8/1b6/8/3N4/4K3 w - - 0 1");
    auto before = std::make_unique<Position>(*pos);
    Move pinned = encodeMove(D2, F3, KNIGHT);
    EXPECT_FALSE(makeMove(*pos, pinned, false));
    expectSameBoard(*before, *pos, "refused move");
    EXPECT_FALSE(isLegalMove(pinned, *pos));
    expectSameBoard(*before, *pos, "legality test");
}

TEST(MakeMove, ReversibleMoveCount) {
    auto pos = positionFromFen("4k3/8/8/8/8/8/4p3/R3K3 w - - 254 200");
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, "a1a2"), false));
    EXPECT_EQ(pos->history[2].reversibleMoves, 255);
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, "e8d7"), false));
    EXPECT_EQ(pos->history[3].reversibleMoves, 255);  // stays at its largest value
    ASSERT_TRUE(makeMove(*pos, findMove(*pos, "a2e2"), false));
    EXPECT_EQ(pos->history[4].reversibleMoves, 0);  // capture
}

TEST(GameMoves, RecordRepetitionListAndPly) {
    auto pos = startPosition();
    gGame.gameRecord.clear();
    const uint64_t start = pos->hashKey;
    playGameMove(*pos, findMove(*pos, "g1f3"));
    EXPECT_EQ(pos->historyCount, 1u);
    EXPECT_EQ(gGame.gamePly, 2);
    ASSERT_EQ(gGame.gameRecord.size(), 1u);
    EXPECT_EQ(gGame.gameRecord[0].hashKey, start);
    EXPECT_EQ(gGame.gameRecord[0].reversibleMoves, 0);
    EXPECT_EQ(pos->history[0].reversibleMoves, 1);
    EXPECT_EQ(pos->history[1].reversibleMoves, 1);
    EXPECT_EQ(gGame.repetitionCount, 2u);
    EXPECT_EQ(gGame.repetitionList[1], pos->hashKey);
    playGameMove(*pos, findMove(*pos, "e7e5"));  // irreversible
    EXPECT_EQ(gGame.repetitionCount, 1u);
    EXPECT_EQ(pos->history[0].reversibleMoves, 0);
}

TEST(GameMoves, CastlingStartsTheRepetitionListButNotTheCount) {
    auto pos = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 5 20");
    playGameMove(*pos, findMove(*pos, "a1b1"));
    playGameMove(*pos, findMove(*pos, "e8g8"));
    EXPECT_EQ(gGame.repetitionCount, 1u);
    EXPECT_EQ(gGame.repetitionList[0], pos->hashKey);
    EXPECT_EQ(pos->history[0].reversibleMoves, 7);
    expectConsistent(*pos, "after castling");
}

TEST(GameMoves, ThreefoldRepetitionIncludesTheInitialPosition) {
    auto pos = startPosition();
    const char* shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (int round = 0; round < 2; round++) {
        for (int i = 0; i < 4; i++) {
            EXPECT_FALSE(gameDrawCheck(*pos)) << round << " " << i;
            playGameMove(*pos, findMove(*pos, shuffle[i]));
        }
    }
    EXPECT_TRUE(gameDrawCheck(*pos));
}

TEST(GameMoves, FiftyMoveRule) {
    auto pos = positionFromFen("4k3/8/8/8/8/8/8/R3K3 w - - 99 80");
    EXPECT_FALSE(gameDrawCheck(*pos));
    playGameMove(*pos, findMove(*pos, "a1a2"));
    EXPECT_TRUE(gameDrawCheck(*pos));
}

TEST(GameMoves, TakeBackRestoresPositionRootAndRepetitions) {
    for (bool removeFirst : {true, false}) {
        auto pos = startPosition();
        gGame.gameRecord.clear();
        const char* moves[] = {"e2e4", "e7e5", "g1f3", "b8c6", "f1c4"};
        std::vector<std::unique_ptr<Position>> positions;
        std::vector<std::vector<uint64_t>> lists;
        for (const char* text : moves) {
            positions.push_back(std::make_unique<Position>(*pos));
            lists.emplace_back(gGame.repetitionList, gGame.repetitionList + gGame.repetitionCount);
            playGameMove(*pos, findMove(*pos, text));
        }
        for (int i = 4; i >= 0; i--) {
            HistoryEntry last = gGame.gameRecord.back();
            if (removeFirst) gGame.gameRecord.pop_back();
            takeBackGameMove(*pos, last);
            if (!removeFirst) gGame.gameRecord.pop_back();
            expectSameBoard(*positions[i], *pos, "taken back to " + std::to_string(i));
            EXPECT_EQ(pos->history[1].reversibleMoves, positions[i]->history[1].reversibleMoves);
            EXPECT_EQ(std::vector<uint64_t>(gGame.repetitionList, gGame.repetitionList + gGame.repetitionCount), lists[i])
                << "after taking back move " << i;
        }
    }
}

TEST(GameMoves, LongReversibleGameNeverOverrunsTheRepetitionList) {
    auto pos = positionFromFen("8/8/8/3k4/8/8/8/3K4 w - - 0 1");
    gGame.gameRecord.clear();
    std::mt19937 rng(5);
    for (int ply = 0; ply < 2500; ply++) {
        std::vector<Move> moves = legalMoves(*pos);
        ASSERT_FALSE(moves.empty());
        playGameMove(*pos, moves[rng() % moves.size()]);
        ASSERT_LE(gGame.repetitionCount, uint32_t(REPETITION_CAPACITY));
        ASSERT_EQ(gGame.repetitionList[gGame.repetitionCount - 1], pos->hashKey);
    }
    EXPECT_EQ(pos->history[0].reversibleMoves, 255);
    EXPECT_TRUE(gameDrawCheck(*pos));
    EXPECT_EQ(gGame.gameRecord.size(), 2500u);
}

}  // namespace

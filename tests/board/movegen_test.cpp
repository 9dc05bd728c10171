// The move generators: their order, their sets against slow references,
// the pin test, perft and the legal-move test.
#include <cstdlib>
#include <set>

#include "bench/perft_epd.h"
#include "board/board_helpers.h"

namespace {

std::vector<std::string> texts(const std::vector<Move>& moves) {
    std::vector<std::string> result;
    for (Move m : moves) {
        MoveC c(m);
        result.push_back(moveToCoordinate(c));
    }
    return result;
}

std::vector<Move> generated(Move* (*generator)(const Board&, Move*), const Board& pos) {
    Move moves[MAX_MOVES];
    return listOf(moves, generator(pos, moves));
}

TEST(GeneratorOrder, InitialPosition) {
    auto pos = startPosition();
    EXPECT_EQ(texts(generated(generateAllMoves, *pos)),
              (std::vector<std::string>{"b1a3", "b1c3", "g1f3", "g1h3", "a2a4", "a2a3", "b2b4", "b2b3", "c2c4", "c2c3",
                                        "d2d4", "d2d3", "e2e4", "e2e3", "f2f4", "f2f3", "g2g4", "g2g3", "h2h4", "h2h3"}));
    ASSERT_TRUE(makeMove(*pos, encodeMove(E2, E4, PAWN), false));
    // Black scans from the highest square down.
    std::vector<std::string> black = texts(generated(generateAllMoves, *pos));
    ASSERT_EQ(black.size(), 20u);
    EXPECT_EQ(std::vector<std::string>(black.begin(), black.begin() + 6),
              (std::vector<std::string>{"g8h6", "g8f6", "b8c6", "b8a6", "h7h5", "h7h6"}));
    EXPECT_EQ(black.back(), "a7a6");
}

TEST(GeneratorOrder, PushPromotionsBeforeCapturePromotions) {
    auto pos = positionFromFen("7r/6P1/8/8/8/8/8/K6k w - - 0 1");
    EXPECT_EQ(texts(generated(generateCaptures, *pos)),
              (std::vector<std::string>{"g7g8=Q", "g7g8=R", "g7g8=B", "g7g8=N", "g7h8=Q", "g7h8=R", "g7h8=B", "g7h8=N"}));
}

TEST(GeneratorOrder, CastlingFirstKingSideBeforeQueenSide) {
    auto pos = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    std::vector<Move> all = generated(generateAllMoves, *pos);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0], WHITE_CASTLE_KINGSIDE);
    EXPECT_EQ(all[1], WHITE_CASTLE_QUEENSIDE);
    EXPECT_EQ(generated(generateQuiets, *pos)[0], WHITE_CASTLE_KINGSIDE);
    // Castling is only generated when it is legal: here the knight on e2
    // covers g1 and c1, where the king would land.
    auto covered = positionFromFen("r3k2r/8/8/8/8/8/4n3/R3K2R w KQkq - 0 1");
    for (Move m : generated(generateAllMoves, *covered)) EXPECT_FALSE(isCastling(m)) << moveText(m);
    auto crossing = positionFromFen("r3k2r/8/8/8/8/8/3n4/R3K2R w KQkq - 0 1");  // f1 covered
    std::vector<Move> moves = generated(generateQuiets, *crossing);
    EXPECT_EQ(std::count(moves.begin(), moves.end(), WHITE_CASTLE_KINGSIDE), 0);
    EXPECT_EQ(std::count(moves.begin(), moves.end(), WHITE_CASTLE_QUEENSIDE), 1);
}

// Where a move stands in generator order: castling, knights, bishops,
// rooks, queens, king, pawns; then the from square and the target square
// in scan order; promotions queen first.
std::tuple<int, int, int, int> orderKey(Move m, int side) {
    static const int groupOfType[7] = {0, 6, 1, 2, 3, 4, 5};
    static const int promotionRank[6] = {0, 0, 3, 2, 1, 0};
    auto scan = [side](int sq) { return side == WHITE ? sq : 63 - sq; };
    if (isCastling(m)) return {0, 0, moveTo(m) == G1 || moveTo(m) == G8 ? 0 : 1, 0};
    return {groupOfType[movePiece(m)], scan(moveFrom(m)), scan(moveTo(m)), promotionRank[movePromotion(m)]};
}

TEST(GeneratorOrder, ScanOrderOnRandomGames) {
    forEachRandomPosition(8, 80, [](Board& pos) {
        if (inCheck(pos)) return;
        for (auto generator : {generateAllMoves, generateCaptures, generateQuiets}) {
            std::vector<Move> moves = generated(generator, pos);
            for (size_t i = 1; i < moves.size(); i++)
                ASSERT_LT(orderKey(moves[i - 1], pos.sideToMove), orderKey(moves[i], pos.sideToMove))
                    << moveText(moves[i - 1]) << " before " << moveText(moves[i]);
        }
    });
}

TEST(Generators, CapturesAndQuietsSplitAllMoves) {
    forEachRandomPosition(8, 80, [](Board& pos) {
        std::vector<Move> all = generated(generateAllMoves, pos);
        std::vector<Move> captures = generated(generateCaptures, pos);
        std::vector<Move> quiets = generated(generateQuiets, pos);
        for (Move m : captures) ASSERT_TRUE(isCapture(m) || movePromotion(m)) << moveText(m);
        for (Move m : quiets) ASSERT_FALSE(isCapture(m) || movePromotion(m)) << moveText(m);
        std::vector<Move> both = captures;
        both.insert(both.end(), quiets.begin(), quiets.end());
        ASSERT_EQ(sorted(both), sorted(all));
        // Every move describes the board: mover and victim as they stand.
        for (Move m : all) {
            ASSERT_EQ(std::abs(pos.board[moveFrom(m)]), movePiece(m)) << moveText(m);
            if (!isEnPassant(m)) {
                ASSERT_EQ(std::abs(pos.board[moveTo(m)]), moveCaptured(m)) << moveText(m);
            }
        }
    });
}

// Every position in check that a random game passes through or reaches in
// one move.
void forEachPositionInCheck(const std::function<void(Board&)>& visit) {
    forEachRandomPosition(12, 80, [&](Board& pos) {
        if (inCheck(pos)) visit(pos);
        for (Move m : legalMoves(pos)) {
            makeMove(pos, m, true);
            if (inCheck(pos)) visit(pos);
            unmakeMove(pos);
        }
    });
}

TEST(Evasions, AreExactlyTheLegalMoves) {
    int positions = 0;
    forEachPositionInCheck([&](Board& pos) {
        positions++;
        std::vector<Move> evasions = generated(generateEvasions, pos);
        ASSERT_EQ(sorted(evasions), sorted(legalMoves(pos))) << "position " << positions;
        ASSERT_EQ(std::set<Move>(evasions.begin(), evasions.end()).size(), evasions.size());
    });
    EXPECT_GT(positions, 500);
}

TEST(Evasions, SpecialCases) {
    struct Case {
        const char* fen;
        const char* what;
    };
    const Case cases[] = {
        {"4k3/8/8/8/8/8/4r3/R3K2r w Q - 0 1", "double check"},
        {"4r1k1/8/8/8/4K3/8/8/8 w - - 0 1", "no step back along the checking file"},
        {"1k2r3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "no castling out of check"},
        {"4k3/8/8/8/1b6/5n2/3N4/4K3 w - - 0 1", "pinned knight cannot take the checker"},
        {"8/8/8/3k4/4Pp2/8/8/4K3 b - e3 0 1", "en passant takes the checking pawn"},
        {"4k3/8/2b5/2PpP3/4K3/8/8/8 w - d6 0 1", "en passant would open the diagonal"},
    };
    for (const Case& c : cases) {
        auto pos = positionFromFen(c.fen);
        ASSERT_TRUE(inCheck(*pos)) << c.what;
        std::vector<Move> evasions = generated(generateEvasions, *pos);
        EXPECT_EQ(sorted(evasions), sorted(legalMoves(*pos))) << c.what;
    }
    auto doubleCheck = positionFromFen(cases[0].fen);
    EXPECT_EQ(texts(generated(generateEvasions, *doubleCheck)), std::vector<std::string>{"e1e2"});
    auto file = positionFromFen(cases[1].fen);
    for (const std::string& text : texts(generated(generateEvasions, *file))) EXPECT_NE(text, "e4e3");
    auto castle = positionFromFen(cases[2].fen);
    EXPECT_FALSE(isLegalMove(WHITE_CASTLE_KINGSIDE, *castle));
    EXPECT_FALSE(isLegalMove(WHITE_CASTLE_QUEENSIDE, *castle));
    auto pinned = positionFromFen(cases[3].fen);
    for (Move m : generated(generateEvasions, *pinned)) EXPECT_EQ(movePiece(m), KING);
}

TEST(Generators, EnPassantThatOpensTheRankIsPseudoLegalOnly) {
    // Taking d3 would empty d4 and e4 at once and let the queen see the king.
    auto pos = positionFromFen("8/8/8/8/k2Pp2Q/8/8/4K3 b - d3 0 1");
    const Move ep = encodeMove(E4, D3, PAWN, PAWN) | EN_PASSANT_FLAG;
    std::vector<Move> all = generated(generateAllMoves, *pos);
    EXPECT_NE(std::find(all.begin(), all.end(), ep), all.end());
    EXPECT_FALSE(isLegalMove(ep, *pos));
    auto before = std::make_unique<Position>(*pos);
    EXPECT_FALSE(makeMove(*pos, ep, false));
    expectSameBoard(*before, *pos, "refused en passant");
}

// The pieces of the side to move that attack the enemy king after m.
Bitboard checkersAfter(Board& pos, Move m) {
    const int us = pos.sideToMove;
    makeMove(pos, m, true);
    Bitboard checkers = attackersOf(pos, pos.sides[us ^ 1].kingSquare) & pos.sides[us].pieces[ALL_PIECES];
    unmakeMove(pos);
    return checkers;
}

TEST(Checks, AreTheQuietCheckingMovesTheGeneratorLooksFor) {
    // The generator looks for direct checks and for discovered checks by a
    // knight, a king, a pawn, a rook leaving a diagonal or a bishop leaving
    // a rank or file. It leaves out discovered checks by a queen, by a
    // bishop leaving a diagonal and by a rook leaving a rank or file, king
    // steps next to the other king, and judges castling before the king
    // and rook move (so a check along the back rank is not seen).
    int checking = 0;
    forEachRandomPosition(16, 80, [&](Board& pos) {
        if (inCheck(pos)) return;
        const int us = pos.sideToMove;
        const int enemyKing = pos.sides[us ^ 1].kingSquare;
        std::vector<Move> candidates = generated(generateQuiets, pos);
        // King steps the opponent attacks are not filtered here.
        const int king = pos.sides[us].kingSquare;
        for (Bitboard t = kingAttacks[king] & ~occupied(pos); t; t &= t - 1)
            if (isSquareAttacked(pos, lowestSquare(t), us ^ 1)) candidates.push_back(encodeMove(king, lowestSquare(t), KING));
        std::vector<Move> expected;
        for (Move m : candidates) {
            const Bitboard checkers = checkersAfter(pos, m);
            if (!checkers) continue;
            if (isCastling(m)) {
                if (rowOf(enemyKing) != rowOf(moveTo(m))) expected.push_back(m);
                continue;
            }
            const int type = movePiece(m);
            if (type == KING) {
                if (!(kingAttacks[enemyKing] & squareMask[moveTo(m)])) expected.push_back(m);
                continue;
            }
            if (checkers & squareMask[moveTo(m)]) {  // the moved piece checks
                expected.push_back(m);
                continue;
            }
            const int line = direction[enemyKing][moveFrom(m)];
            const bool diagonal = line == 7 || line == -7 || line == 9 || line == -9;
            if (type == QUEEN || (type == BISHOP && diagonal) || (type == ROOK && !diagonal)) continue;
            expected.push_back(m);
        }
        std::vector<Move> checks = generated(generateChecks, pos);
        checking += int(checks.size());
        ASSERT_EQ(std::set<Move>(checks.begin(), checks.end()).size(), checks.size()) << "duplicates";
        std::vector<std::string> got = texts(sorted(checks)), want = texts(sorted(expected));
        ASSERT_EQ(got, want);
    });
    EXPECT_GT(checking, 200);
}

TEST(Checks, DiscoveredChecksByAKnight) {
    auto pos = positionFromFen("8/7k/8/8/8/3N4/8/1B5K w - - 0 1");
    std::vector<std::string> checks = texts(generated(generateChecks, *pos));
    for (const char* target : {"b2", "b4", "c1", "c5", "e1", "e5", "f2", "f4"}) {
        std::string move = std::string("d3") + target;
        EXPECT_NE(std::find(checks.begin(), checks.end(), move), checks.end()) << move;
    }
}

TEST(Checks, CastlingThatChecks) {
    auto pos = positionFromFen("5k2/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_EQ(generated(generateChecks, *pos)[0], WHITE_CASTLE_KINGSIDE);
    auto queenSide = positionFromFen("3k4/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_EQ(generated(generateChecks, *queenSide)[0], WHITE_CASTLE_QUEENSIDE);
}

TEST(IsPinned, MatchesRemovingThePiece) {
    forEachRandomPosition(8, 80, [](Board& pos) {
        const int us = pos.sideToMove;
        const int king = pos.sides[us].kingSquare;
        for (Bitboard own = pos.sides[us].pieces[ALL_PIECES] & ~squareMask[king]; own; own &= own - 1) {
            const int sq = lowestSquare(own);
            // Pinned: taking the piece away lets an enemy slider see the king.
            int8_t without[64];
            std::memcpy(without, pos.board, 64);
            without[sq] = 0;
            bool expected = false;
            for (int from = 0; from < 64; from++) {
                int piece = without[from] * (us == WHITE ? -1 : 1);
                if (piece < BISHOP || piece > QUEEN) continue;
                if ((slowAttacks(without, from, piece) & squareMask[king]) && !(slowAttacks(pos.board, from, piece) & squareMask[king]))
                    expected = true;
            }
            ASSERT_EQ(isPinned(pos, sq), expected) << squareName[sq];
        }
    });
}

TEST(Perft, ReferenceCounts) {
    const bool sanitized = std::getenv("TARNO_SANITIZED") != nullptr;
    const uint64_t budget = sanitized ? 300000 : 40000000;  // largest count run per position
    std::vector<PerftCase> cases = readPerftFile(testDataPath("perft.epd"));
    ASSERT_EQ(cases.size(), 21u);
    for (const PerftCase& entry : cases) {
        auto pos = positionFromFen(entry.fen);
        for (auto [depth, expected] : entry.counts) {
            if (expected > budget && depth > 1) continue;
            EXPECT_EQ(perft(*pos, depth), expected) << entry.comment << ", depth " << depth;
        }
    }
}

TEST(Perft, MostMovesInOnePosition) {
    // The position with the most legal moves known: 218.
    auto pos = positionFromFen("R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1");
    EXPECT_EQ(perft(*pos, 1), 218u);
    EXPECT_EQ(generated(generateAllMoves, *pos).size(), 218u);
}

TEST(Perft, DepthLimitsAndStaleHashMoves) {
    auto pos = startPosition();
    EXPECT_EQ(perft(*pos, 0), 1u);
    EXPECT_EQ(perft(*pos, 66), 0u);  // deeper than the history can hold
    // Stale hash moves from an earlier search must not skip legality tests.
    auto pinned = positionFromFen("4k3/8/8/8/1b6/8/3N4/4K3 w - - 0 1");
    const uint32_t honest = perft(*pinned, 2);
    for (Move& m : pinned->hashMove) m = encodeMove(D2, F3, KNIGHT);
    EXPECT_EQ(perft(*pinned, 2), honest);
    EXPECT_EQ(perft(*pinned, 1), 4u);  // only king moves
}

TEST(IsLegalMove, AcceptsLegalAndRejectsEverythingElse) {
    auto pos = startPosition();
    EXPECT_TRUE(isLegalMove(encodeMove(E2, E4, PAWN), *pos));
    EXPECT_FALSE(isLegalMove(encodeMove(E2, E5, PAWN), *pos));
    EXPECT_FALSE(isLegalMove(encodeMove(E2, E4, KNIGHT), *pos));
    EXPECT_FALSE(isLegalMove(0, *pos));
    EXPECT_FALSE(isLegalMove(WHITE_CASTLE_KINGSIDE, *pos));
}

}  // namespace

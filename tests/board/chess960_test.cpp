// Fischer random chess on the board: castling for any king and rook files,
// its FENs and its notation, and the standard game left exactly as it was.
#include <cstdlib>
#include <random>

#include "bench/perft_epd.h"
#include "board/game_state.h"
#include "board_helpers.h"

namespace {

// The rules of the game in play for the test's span.
struct Chess960Game {
    explicit Chess960Game(bool on = true) : before(gGame.chess960) { gGame.chess960 = on; }
    ~Chess960Game() { gGame.chess960 = before; }
    bool before;
};

std::unique_ptr<Position> chess960Position(const std::string& fen) {
    Chess960Game game;
    return positionFromFen(fen);
}

bool accepted(const std::string& fen, bool chess960) {
    initEngineTables();
    auto pos = std::make_unique<Position>();
    return setBoardFromFen(*pos, fen.c_str(), nullptr, chess960) == 0;
}

Move parsed(Board& pos, const char* text) {
    MoveC m;
    parseMove(m, pos, text);
    return m.valid ? m.move : 0;
}

std::string coordinate(Move m) {
    MoveC c(m);
    return moveToPureCoordinate(c);
}

std::string san(Board& pos, Move m) {
    MoveC c(m);
    return moveToSan(c, pos);
}

// The hash key as the standard game has always computed it: the castling
// rights' raw bits, no castling keys at all.
uint64_t standardKey(const Board& pos) {
    uint64_t key = 0;
    for (int sq = 0; sq < 64; sq++) {
        const int piece = pos.board[sq];
        if (piece) key ^= zobrist.piece[pieceIndex(piece > 0 ? WHITE : BLACK, std::abs(piece))][sq];
    }
    key ^= zobrist.side[pos.sideToMove];
    if (pos.epSquare) key ^= zobrist.enPassant[pos.epSquare];
    return key ^ pos.castling;
}

std::vector<Move> generated(Move* (*generator)(const Board&, Move*), const Board& pos) {
    Move moves[MAX_MOVES];
    return std::vector<Move>(moves, generator(pos, moves));
}

std::vector<Move> castlingMoves(Board& pos) {
    std::vector<Move> found;
    for (Move m : legalMoves(pos))
        if (isCastling(m)) found.push_back(m);
    return found;
}

}  // namespace

TEST(Chess960Perft, ReferenceCounts) {
    const bool sanitized = std::getenv("TARNO_SANITIZED") != nullptr;
    // Under the sanitizers every 25th start position and the rest of the
    // file, to shallower depths.
    const uint64_t budget = sanitized ? 30000 : 10000000;
    std::vector<PerftCase> cases = readPerftFile(testDataPath("perft960.epd"));
    ASSERT_EQ(cases.size(), 1012u);
    int deepStarts = 0;
    for (size_t i = 0; i < cases.size(); i++) {
        const PerftCase& entry = cases[i];
        if (sanitized && i < 960 && i % 25 != 0) continue;
        auto pos = chess960Position(entry.fen);
        for (auto [depth, expected] : entry.counts) {
            if (expected > budget && depth > 1) continue;
            EXPECT_EQ(perft(*pos, depth), expected) << entry.comment << ", depth " << depth;
            if (i < 960 && depth == 5) deepStarts++;
        }
    }
    if (!sanitized) {
        EXPECT_EQ(deepStarts, 24);
    }
}

TEST(Chess960Castling, KingAndRookMayStartOnOrLandOnEachOthersSquares) {
    struct Case {
        const char* fen;
        const char* castle;   // the move as UCI writes it
        const char* king;     // where king and rook stand afterwards
        const char* rook;
    };
    const Case cases[] = {
        {"6kr/pppppppp/8/8/8/8/PPPPPPPP/6KR w Hh - 0 1", "g1h1", "g1", "f1"},  // the king stays
        {"5kr1/pppppppp/8/8/8/8/PPPPPPPP/5KR1 w Gg - 0 1", "f1g1", "g1", "f1"},  // they swap squares
        {"rk6/pppppppp/8/8/8/8/PPPPPPPP/RK6 w Aa - 0 1", "b1a1", "c1", "d1"},
        {"4kr2/pppppppp/8/8/8/8/PPPPPPPP/4KR2 w Ff - 0 1", "e1f1", "g1", "f1"},  // the rook stays
        {"1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w GBgb - 0 1", "e1b1", "c1", "d1"},
        {"1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 b GBgb - 0 1", "e8g8", "g8", "f8"},
    };
    for (const Case& c : cases) {
        auto pos = chess960Position(c.fen);
        auto before = std::make_unique<Board>(*pos);
        const Move m = parsed(*pos, c.castle);
        ASSERT_TRUE(isCastling(m)) << c.fen;
        ASSERT_TRUE(isLegalMove(m, *pos)) << c.fen;
        EXPECT_EQ(coordinate(m), c.castle);
        ASSERT_TRUE(makeMove(*pos, m, false));
        const int sign = pos->sideToMove == BLACK ? 1 : -1;
        auto square = [](const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); };
        EXPECT_EQ(pos->board[square(c.king)], sign * KING) << c.fen;
        EXPECT_EQ(pos->board[square(c.rook)], sign * ROOK) << c.fen;
        EXPECT_EQ(popCount(occupied(*pos)), popCount(occupied(*before))) << c.fen;
        expectConsistent(*pos, c.fen);
        unmakeMove(*pos);
        expectSameBoard(*before, *pos, c.fen);
    }
}

TEST(Chess960Castling, NoCastlingOutOfThroughOrIntoCheck) {
    // The rook on b1 keeps the rook on a1 off c1, where the king would
    // stand once the rook has gone to d1.
    auto shielded = chess960Position("4k3/8/8/8/8/8/8/rRK5 w B - 0 1");
    EXPECT_TRUE(castlingMoves(*shielded).empty());
    EXPECT_FALSE(isLegalMove(parsed(*shielded, "O-O-O"), *shielded));
    // The same without the enemy rook: castling is there.
    auto free = chess960Position("4k3/8/8/8/8/8/8/1RK5 w B - 0 1");
    EXPECT_EQ(castlingMoves(*free).size(), 1u);
    // A bishop covering e1, crossed by the king on its way from b1 to g1.
    auto crossed = chess960Position("4k3/8/8/8/8/8/3b4/1K5R w H - 0 1");
    EXPECT_TRUE(castlingMoves(*crossed).empty());
    // In check: no castling, and the evasions never castle.
    auto checked = chess960Position("4k3/8/8/8/8/8/8/r3K1R1 w G - 0 1");
    EXPECT_TRUE(castlingMoves(*checked).empty());
    // Something between the rook and its destination.
    auto blocked = chess960Position("4k3/8/8/8/8/8/8/RNK5 w A - 0 1");
    EXPECT_TRUE(castlingMoves(*blocked).empty());
}

TEST(Chess960Castling, GeneratorsAgreeAndMoveTestsJudgeIt) {
    // Castling is quiet; a castling move that gives check along the rank
    // (the king has left it) is among the checking moves.
    auto pos = chess960Position("8/8/8/8/8/8/8/R2K2k1 w A - 0 1");
    const Move castle = parsed(*pos, "O-O-O");
    ASSERT_TRUE(isLegalMove(castle, *pos));
    auto quiets = generated(generateQuiets, *pos);
    EXPECT_EQ(std::count(quiets.begin(), quiets.end(), castle), 1);
    auto captures = generated(generateCaptures, *pos);
    EXPECT_EQ(std::count(captures.begin(), captures.end(), castle), 0);
    // After O-O-O the king is on c1 and the rook on d1; the rook sees g1.
    auto checks = generated(generateChecks, *pos);
    EXPECT_EQ(std::count(checks.begin(), checks.end(), castle), 1);
    // A rights bit that the board's rules do not know names no move.
    EXPECT_FALSE(isLegalMove(WHITE_CASTLE_KINGSIDE, *pos));
    EXPECT_FALSE(castlingIsPossible(*pos, WHITE_CASTLE_QUEENSIDE));
    EXPECT_TRUE(castlingIsPossible(*pos, castle));
}

TEST(Chess960Castling, MakeAndUnmakeStayConsistentInRandomGames) {
    std::mt19937 rng(960);
    Chess960Game game;
    std::vector<PerftCase> cases = readPerftFile(testDataPath("perft960.epd"));
    int castlesMade = 0;
    for (int g = 0; g < 60; g++) {
        const std::string& fen = cases[rng() % 960].fen;
        auto pos = positionFromFen(fen);
        for (int ply = 0; ply < 60; ply++) {
            std::vector<Move> legal = legalMoves(*pos);
            if (legal.empty()) break;
            // Captures and quiet moves split the whole list; every checking
            // move is a quiet move and, when legal, gives check.
            std::vector<Move> split = generated(generateCaptures, *pos), quiets = generated(generateQuiets, *pos);
            split.insert(split.end(), quiets.begin(), quiets.end());
            ASSERT_EQ(sorted(split), sorted(generated(generateAllMoves, *pos))) << fen;
            for (Move m : generated(generateChecks, *pos)) {
                ASSERT_NE(std::find(quiets.begin(), quiets.end(), m), quiets.end()) << fen << " " << moveText(m);
                if (!makeMove(*pos, m, false)) continue;
                EXPECT_TRUE(inCheck(*pos)) << fen << " " << moveText(m);
                unmakeMove(*pos);
            }
            if (inCheck(*pos)) {
                EXPECT_EQ(sorted(generated(generateEvasions, *pos)), sorted(legal)) << fen;
            }
            for (Move m : legal) {
                auto before = std::make_unique<Board>(*pos);
                ASSERT_TRUE(makeMove(*pos, m, false));
                castlesMade += isCastling(m);
                expectConsistent(*pos, fen + " " + moveText(m));
                unmakeMove(*pos);
                expectSameBoard(*before, *pos, fen + " " + moveText(m));
                if (::testing::Test::HasFailure()) return;
            }
            // Castle whenever it can, to get on with the rights.
            Move next = legal[rng() % legal.size()];
            for (Move m : legal)
                if (isCastling(m)) next = m;
            playGameMove(*pos, next);
        }
    }
    EXPECT_GT(castlesMade, 40);
}

TEST(Chess960Fen, ShredderAndXFenReadTheSame) {
    // Rooks on b and g: KQkq names the outermost rooks, as the file letters do.
    auto xfen = chess960Position("1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w KQkq - 0 1");
    auto shredder = chess960Position("1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w GBgb - 0 1");
    expectSameBoard(*xfen, *shredder, "KQkq and GBgb");
    // An inner rook needs its letter: K is the h-rook, G the g-rook. The
    // same men and rights bits, but another position, so another key.
    auto outer = chess960Position("4k1rr/8/8/8/8/8/8/4K1RR w Kk - 0 1");
    auto inner = chess960Position("4k1rr/8/8/8/8/8/8/4K1RR w Gg - 0 1");
    EXPECT_EQ(outer->castling, inner->castling);
    EXPECT_NE(outer->hashKey, inner->hashKey);
    EXPECT_NE(coordinate(parsed(*outer, "O-O")), coordinate(parsed(*inner, "O-O")));
    EXPECT_EQ(coordinate(parsed(*inner, "O-O")), "e1g1");
    EXPECT_EQ(coordinate(parsed(*outer, "O-O")), "e1h1");
    expectConsistent(*inner, "inner rook");
}

TEST(Chess960Fen, BadCastlingFieldsAreRefused) {
    struct Case {
        const char* fen;
        bool chess960;
        const char* why;
    };
    const Case cases[] = {
        {"4k3/8/8/8/8/8/8/4K3 w H - 0 1", true, "a letter that names no rook"},
        {"4k3/8/8/8/8/8/8/4K2R w G - 0 1", true, "a letter that names an empty square"},
        {"4k3/8/8/8/8/8/8/4K2N w H - 0 1", true, "a letter that names a knight"},
        {"4k3/8/8/8/8/8/8/4K3 w K - 0 1", true, "K with no rook on the king's side"},
        {"4k3/8/8/8/8/8/8/4K1RR w HG - 0 1", true, "two rooks for one side"},
        {"4k3/8/8/8/8/8/8/RR2K3 w KQ - 0 1", true, "a king not between its rooks"},
        {"4k3/8/8/8/8/8/8/RR2K3 w AB - 0 1", true, "a king not between its rooks (by files)"},
        {"4k3/8/8/8/8/8/4K3/R6R w HA - 0 1", true, "a king off the back rank"},
        {"rk6/8/8/8/8/8/8/RK6 w Qq - 0 1", false, "a Chess960 start in the standard game (X-FEN)"},
        {"1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w GBgb - 0 1", false, "inner rooks in the standard game"},
        {"r3k2r/8/8/8/8/8/8/R2K3R w KQkq - 0 1", false, "the king off e1 with castling in the standard game"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(accepted(c.fen, c.chess960)) << c.why;
        // The board is left as it was.
        auto pos = startPosition();
        auto before = std::make_unique<Board>(*pos);
        EXPECT_NE(setBoardFromFen(*pos, c.fen, nullptr, c.chess960), 0) << c.why;
        expectSameBoard(*before, *pos, c.why);
    }
    // Every standard FEN is a Chess960 one as well (start position 518), and
    // the standard game still drops rights that have no rook at all.
    EXPECT_TRUE(accepted("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", true));
    EXPECT_TRUE(accepted("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1", false));
    EXPECT_TRUE(accepted("4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1", false));
}

TEST(Chess960Notation, CastlingInEveryForm) {
    auto pos = chess960Position("rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1");
    const Move kingSide = parsed(*pos, "O-O"), queenSide = parsed(*pos, "O-O-O");
    ASSERT_TRUE(isLegalMove(kingSide, *pos));
    ASSERT_TRUE(isLegalMove(queenSide, *pos));
    EXPECT_EQ(coordinate(kingSide), "b1h1");
    EXPECT_EQ(coordinate(queenSide), "b1a1");
    EXPECT_EQ(san(*pos, kingSide), "O-O");
    EXPECT_EQ(san(*pos, queenSide), "O-O-O");
    for (const char* text : {"0-0", "o-o", "O-O+", "b1h1"}) EXPECT_EQ(parsed(*pos, text), kingSide) << text;
    for (const char* text : {"0-0-0", "O-O-O#", "b1a1"}) EXPECT_EQ(parsed(*pos, text), queenSide) << text;
    // b1c1 is the king's step, not castling (though the king ends there too).
    const Move step = parsed(*pos, "b1c1");
    EXPECT_FALSE(isCastling(step));
    EXPECT_TRUE(isLegalMove(step, *pos));
    // The king's two-square step to the castling square names castling too.
    auto e = chess960Position("r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1");
    EXPECT_EQ(coordinate(parsed(*e, "e1g1")), "e1h1");
    EXPECT_EQ(coordinate(parsed(*e, "e1c1")), "e1a1");
    // A king taking an enemy rook on its own rook's first square captures.
    auto taken = chess960Position("k6r/8/8/8/8/8/8/6KR b H - 0 1");
    playGameMove(*taken, parsed(*taken, "h8h1"));
    const Move capture = parsed(*taken, "g1h1");
    EXPECT_FALSE(isCastling(capture));
    EXPECT_TRUE(isLegalMove(capture, *taken));
    // Black's.
    auto black = chess960Position("rk5r/8/8/8/8/8/8/RK5R b HAha - 0 1");
    EXPECT_EQ(coordinate(parsed(*black, "O-O")), "b8h8");
    EXPECT_EQ(san(*black, parsed(*black, "b8a8")), "O-O-O");
}

TEST(Chess960StandardGame, KeysCountsAndMovesAreThoseOfTheStandardGame) {
    // Standard positions: the key is the one the standard game always had.
    forEachRandomPosition(3, 40, [](Board& pos) { ASSERT_EQ(pos.hashKey, standardKey(pos)); });
    // The standard array under Chess960 rules is start position 518: the
    // same key and counts, castling written as the king taking its rook.
    auto standard = startPosition();
    std::unique_ptr<Position> under960;
    {
        Chess960Game game;
        under960 = startPosition();
    }
    EXPECT_EQ(under960->hashKey, standard->hashKey);
    EXPECT_EQ(under960->hashKey, 0xab52c6e2117d7be8ull);
    for (int depth = 1; depth <= 4; depth++) EXPECT_EQ(perft(*under960, depth), perft(*standard, depth));
    const std::string line = "r3k2r/pppqbppp/2npbn2/4p3/4P3/2NPBN2/PPPQBPPP/R3K2R w KQkq - 0 1";
    auto kiwi = positionFromFen(line);
    auto kiwi960 = chess960Position(line);
    EXPECT_EQ(kiwi->hashKey, kiwi960->hashKey);
    EXPECT_EQ(coordinate(parsed(*kiwi, "O-O")), "e1g1");
    EXPECT_EQ(parsed(*kiwi, "O-O"), WHITE_CASTLE_KINGSIDE);
    EXPECT_EQ(coordinate(parsed(*kiwi960, "O-O")), "e1h1");
    playGameMove(*kiwi, parsed(*kiwi, "O-O"));
    playGameMove(*kiwi960, parsed(*kiwi960, "O-O"));
    EXPECT_EQ(kiwi->hashKey, kiwi960->hashKey);
    EXPECT_EQ(0, std::memcmp(kiwi->board, kiwi960->board, sizeof kiwi->board));
}

TEST(Chess960Mirror, CastlingRooksSwapColoursAndRanks) {
    auto pos = chess960Position("1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/R3K1R1 w GAgb - 0 1");
    auto mirrored = std::make_unique<Position>();
    auto back = std::make_unique<Position>();
    mirrorPosition(*pos, *mirrored);
    int rooks[4];
    castlingRookSquares(*mirrored, rooks);
    // White's rights become Black's on the other rank, and the other way.
    EXPECT_EQ(rooks[castlingIndex(BLACK, 0)], G8);
    EXPECT_EQ(rooks[castlingIndex(BLACK, 1)], A8);
    EXPECT_EQ(rooks[castlingIndex(WHITE, 0)], G1);
    EXPECT_EQ(rooks[castlingIndex(WHITE, 1)], B1);
    EXPECT_EQ(mirrored->hashKey, computeHashKey(*mirrored));
    // Both of White's castling moves become Black's.
    mirrored->historyCount = 1;
    EXPECT_EQ(castlingMoves(*pos).size(), 2u);
    EXPECT_EQ(castlingMoves(*mirrored).size(), 2u);
    mirrorPosition(*mirrored, *back);
    EXPECT_EQ(back->hashKey, pos->hashKey);
    EXPECT_EQ(0, std::memcmp(back->board, pos->board, sizeof pos->board));
}

// Move texts: SAN and coordinate notation, both ways.
#include <map>

#include "board/board_helpers.h"

namespace {

Move parsed(Board& pos, const char* text, int* valid = nullptr) {
    MoveC result;
    parseMove(result, pos, text);
    if (valid) *valid = result.valid;
    return result.move;
}

std::string san(Board& pos, Move m) {
    MoveC c(m);
    return moveToSan(c, pos);
}

// Every legal move's SAN and coordinate text reads back as the same move,
// and no two legal moves share a SAN text.
void checkRoundTrips(Board& pos) {
    std::map<std::string, Move> seen;
    for (Move m : legalMoves(pos)) {
        std::string text = san(pos, m);
        int valid = 0;
        ASSERT_EQ(parsed(pos, text.c_str(), &valid), m) << text;
        ASSERT_EQ(valid, 1);
        ASSERT_TRUE(seen.emplace(text, m).second) << "two moves read " << text;
        MoveC coordinate(m);
        std::string coordinateText = moveToCoordinate(coordinate);
        ASSERT_EQ(parsed(pos, coordinateText.c_str()), m) << coordinateText;
    }
}

TEST(RoundTrips, SanAndCoordinatesOnRandomGames) {
    forEachRandomPosition(10, 80, [](Board& pos) { checkRoundTrips(pos); });
}

TEST(RoundTrips, PositionsThatNeedDisambiguation) {
    const char* fens[] = {
        // Three queens: some moves need the whole square.
        "4k3/8/8/8/8/Q7/8/Q1Q4K w - - 0 1",
        // Rooks a1, a3, h3: Rad3 is the a3 rook, the a1 rook cannot go.
        "4k3/8/8/8/8/R6R/8/R6K w - - 0 1",
        // A pinned bishop that can still move along its pin line.
        "8/8/5b2/7k/8/2B5/5B2/K7 w - - 0 1",
        // Knights and rooks doubled on files and ranks, some pinned.
        "3rk3/8/8/1N3N2/8/1N3N2/8/R3K2R w - - 0 1",
        "r3k3/8/8/8/8/8/1n1R4/3RK3 w - - 0 1",
    };
    for (const char* fen : fens) {
        auto pos = positionFromFen(fen);
        checkRoundTrips(*pos);
    }
}

TEST(ParseMove, CoordinateAndSanForms) {
    auto pos = startPosition();
    EXPECT_EQ(parsed(*pos, "e2e4"), encodeMove(E2, E4, PAWN));
    EXPECT_EQ(parsed(*pos, "e4"), encodeMove(E2, E4, PAWN));
    EXPECT_EQ(parsed(*pos, "Nf3"), encodeMove(G1, F3, KNIGHT));
    EXPECT_EQ(parsed(*pos, "NF3"), encodeMove(G1, F3, KNIGHT));
    EXPECT_EQ(parsed(*pos, "Ng1f3"), encodeMove(G1, F3, KNIGHT));
    EXPECT_EQ(parsed(*pos, "Nf3+"), encodeMove(G1, F3, KNIGHT));
    int valid = 0;
    Move noPawn = parsed(*pos, "exd5", &valid);
    EXPECT_EQ(valid, 1);
    EXPECT_FALSE(isLegalMove(noPawn, *pos));
    // A pawn capture onto an empty square is not read as a push.
    auto pawns = positionFromFen("4k3/8/8/3PP3/8/8/8/4K3 w - - 0 1");
    EXPECT_FALSE(isLegalMove(parsed(*pawns, "exd6"), *pawns));
    EXPECT_EQ(parsed(*pawns, "d6"), encodeMove(D5, D6, PAWN));
}

TEST(ParseMove, CastlingForms) {
    auto pos = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    for (const char* text : {"O-O", "0-0", "o-o+", "O-O#", "O-O+"}) EXPECT_EQ(parsed(*pos, text), WHITE_CASTLE_KINGSIDE) << text;
    for (const char* text : {"O-O-O+", "0-0-0", "o-o-o"}) EXPECT_EQ(parsed(*pos, text), WHITE_CASTLE_QUEENSIDE) << text;
    EXPECT_EQ(parsed(*pos, "e1g1"), WHITE_CASTLE_KINGSIDE);
    pos->sideToMove = BLACK;
    EXPECT_EQ(parsed(*pos, "O-O"), BLACK_CASTLE_KINGSIDE);
    EXPECT_EQ(parsed(*pos, "O-O-O"), BLACK_CASTLE_QUEENSIDE);
}

TEST(ParseMove, PromotionsNeedTheirSign) {
    auto pos = positionFromFen("1k6/4P3/8/8/8/8/8/4K3 w - - 0 1");
    const Move queen = encodeMove(E7, E8, PAWN, 0, QUEEN);
    EXPECT_EQ(parsed(*pos, "e8=Q"), queen);
    EXPECT_EQ(parsed(*pos, "e8=q"), queen);
    EXPECT_EQ(parsed(*pos, "e7e8q"), queen);
    EXPECT_EQ(parsed(*pos, "e7e8=Q"), queen);  // as the engine writes it
    EXPECT_EQ(parsed(*pos, "e8=N"), encodeMove(E7, E8, PAWN, 0, KNIGHT));
    EXPECT_FALSE(isLegalMove(parsed(*pos, "e8Q"), *pos));
    EXPECT_FALSE(isLegalMove(parsed(*pos, "e8"), *pos));
}

TEST(ParseMove, BishopOrBFile) {
    auto pos = positionFromFen("4k3/8/8/8/8/8/2P5/2B1K3 w - - 0 1");
    EXPECT_EQ(parsed(*pos, "bb2"), encodeMove(C1, B2, BISHOP));
    EXPECT_EQ(parsed(*pos, "c4"), encodeMove(C2, C4, PAWN));
    auto pawn = positionFromFen("4k3/8/8/8/8/8/1P6/1B2K3 w - - 0 1");
    EXPECT_EQ(parsed(*pawn, "bb4"), 0u);  // a bishop move no bishop can make
    EXPECT_EQ(parsed(*pawn, "b4"), encodeMove(B2, B4, PAWN));
    auto file = positionFromFen("4k3/8/8/8/8/8/2P5/4K3 w - - 0 1");
    EXPECT_EQ(parsed(*file, "bc4"), encodeMove(C2, C4, PAWN));
}

TEST(ParseMove, RejectedTexts) {
    auto pos = startPosition();
    for (const char* text : {"", "e2e4e2e4e", "e2 e4", "Nf3 ", "O-O-O-O-O"}) {
        int valid = 1;
        parsed(*pos, text, &valid);
        EXPECT_EQ(valid, 0) << '"' << text << '"';
    }
    std::string endless(100000, 'e');
    int valid = 1;
    parsed(*pos, endless.c_str(), &valid);
    EXPECT_EQ(valid, 0);
    MoveC none;
    parseMove(none, *pos, nullptr);
    EXPECT_EQ(none.valid, 0);
}

TEST(ParseMove, ReadingNeverChangesThePosition) {
    // Captures written without "x", moves onto own pieces and ambiguous
    // texts must all leave the board as it was.
    auto pos = positionFromFen("4k3/8/8/4p3/2N5/5N2/8/R3K2R w KQ - 0 1");
    auto before = std::make_unique<Position>(*pos);
    for (const char* text : {"Ne5", "Nxe5", "Nxe4", "Ne2", "Rh2", "Kxe1", "Ra1", "Rxa1", "Qd4", "Nc3", "e1e1", "a1h1"}) {
        MoveC result;
        parseMove(result, *pos, text);
        isLegalMove(result.move, *pos);
        expectSameBoard(*before, *pos, text);
    }
    EXPECT_FALSE(isLegalMove(parsed(*pos, "Ne5"), *pos));  // a capture written as a move
    EXPECT_FALSE(isLegalMove(parsed(*pos, "Nce5"), *pos));
    EXPECT_EQ(parsed(*pos, "Ncxe5"), encodeMove(C4, E5, KNIGHT, PAWN));
}

TEST(ParseMove, AmbiguousTextTakesTheLegalCandidate) {
    // Knights b3 and f1 both reach d2; the f1 knight is pinned.
    auto pos = positionFromFen("4k3/8/8/8/8/1N6/8/r4N1K w - - 0 1");
    EXPECT_EQ(parsed(*pos, "Nd2"), encodeMove(B3, D2, KNIGHT));
    // Both pinned: the text names no move.
    auto both = positionFromFen("4k3/8/8/8/b7/1N6/8/3K1N1r w - - 0 1");
    int valid = 1;
    parsed(*both, "Nd2", &valid);
    EXPECT_EQ(valid, 0);
}

TEST(MoveToSan, Forms) {
    auto pinned = positionFromFen("4k3/8/8/3b4/8/5N2/8/1N5K w - - 0 1");
    EXPECT_EQ(san(*pinned, encodeMove(B1, D2, KNIGHT)), "Nd2");
    auto free = positionFromFen("4k3/8/8/8/8/5N2/8/1N5K w - - 0 1");
    EXPECT_EQ(san(*free, encodeMove(B1, D2, KNIGHT)), "Nbd2");
    auto ranks = positionFromFen("4k3/8/8/8/8/5N2/8/5N1K w - - 0 1");
    EXPECT_EQ(san(*ranks, encodeMove(F1, D2, KNIGHT)), "N1d2");
    auto start = startPosition();
    EXPECT_EQ(san(*start, 0), "<null>");
    EXPECT_EQ(san(*start, encodeMove(E2, E4, PAWN)), "e4");
    EXPECT_EQ(san(*start, encodeMove(G1, F3, KNIGHT)), "Nf3");
    auto castle = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(san(*castle, WHITE_CASTLE_KINGSIDE), "O-O");
    EXPECT_EQ(san(*castle, WHITE_CASTLE_QUEENSIDE), "O-O-O");
    auto pawns = positionFromFen("3r3k/4P3/8/3p4/4P3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(san(*pawns, encodeMove(E4, D5, PAWN, PAWN)), "exd5");
    EXPECT_EQ(san(*pawns, encodeMove(E7, D8, PAWN, ROOK, QUEEN)), "exd8=Q");
    EXPECT_EQ(san(*pawns, encodeMove(E7, E8, PAWN, 0, KNIGHT)), "e8=N");
    // Two knights able to take: written with the file.
    auto takes = positionFromFen("4k3/8/8/4p3/2N5/5N2/8/4K3 w - - 0 1");
    EXPECT_EQ(san(*takes, encodeMove(C4, E5, KNIGHT, PAWN)), "Ncxe5");
}

TEST(MoveToSan, CachesItsText) {
    auto pos = startPosition();
    MoveC move(encodeMove(G1, F3, KNIGHT));
    EXPECT_STREQ(moveToSan(move, *pos), "Nf3");
    EXPECT_EQ(move.state, 2);
    EXPECT_STREQ(moveToSan(move, *pos), "Nf3");
    EXPECT_EQ(move.state, 1);
}

TEST(MoveToCoordinate, PromotionLetters) {
    MoveC black(encodeMove(B2, A1, PAWN, ROOK, KNIGHT));
    EXPECT_STREQ(moveToCoordinate(black), "b2a1=n");
    EXPECT_EQ(black.state, 1);
    MoveC white(encodeMove(E7, E8, PAWN, 0, QUEEN));
    EXPECT_STREQ(moveToCoordinate(white), "e7e8=Q");
    MoveC plain(encodeMove(G1, F3, KNIGHT));
    EXPECT_STREQ(moveToCoordinate(plain), "g1f3");
}

TEST(SanIsUnambiguous, Texts) {
    auto pos = positionFromFen("4k3/8/8/8/8/5N2/8/1N5K w - - 0 1");
    EXPECT_TRUE(sanIsUnambiguous(*pos, "e4"));
    EXPECT_TRUE(sanIsUnambiguous(*pos, "Kg2"));
    EXPECT_FALSE(sanIsUnambiguous(*pos, "Nd2"));
    EXPECT_TRUE(sanIsUnambiguous(*pos, "Nbd2"));
    EXPECT_TRUE(sanIsUnambiguous(*pos, "Nh4"));
    EXPECT_FALSE(sanIsUnambiguous(*pos, "Nd5"));  // no knight gets there
    EXPECT_FALSE(sanIsUnambiguous(*pos, "Nbcd2"));
}

}  // namespace

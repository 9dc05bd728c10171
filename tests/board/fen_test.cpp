// Setting up positions from FEN, good and bad.
#include "board/board_helpers.h"

namespace {

TEST(Fen, PositionAfterE4) {
    auto pos = startPosition();
    int gamePly = 0;
    ASSERT_EQ(setBoardFromFen(*pos, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", &gamePly), 0);
    EXPECT_EQ(pos->epSquare, 44);
    EXPECT_EQ(pos->sideToMove, BLACK);
    EXPECT_EQ(gamePly, 2);
    EXPECT_EQ(pos->castling, 15);
    expectConsistent(*pos, "after e4");
    // The same position reached by playing e4 has no en-passant square, as
    // no black pawn can take; the keys differ by that square alone.
    auto played = startPosition();
    makeMove(*played, encodeMove(E2, E4, PAWN), false);
    EXPECT_EQ(pos->hashKey ^ played->hashKey, zobrist.enPassant[44]);
}

TEST(Fen, ClocksAndMoveNumber) {
    auto pos = startPosition();
    int gamePly = 0;
    ASSERT_EQ(setBoardFromFen(*pos, "4k3/8/8/8/8/8/8/R3K3 w Q - 37 42", &gamePly), 0);
    EXPECT_EQ(pos->history[1].reversibleMoves, 37);
    EXPECT_EQ(pos->history[0].reversibleMoves, 37);  // the game's count goes on from it
    EXPECT_EQ(pos->history[1].castling, WHITE_QUEENSIDE);
    EXPECT_EQ(pos->historyCount, 1u);
    EXPECT_EQ(gamePly, 83);
    ASSERT_EQ(setBoardFromFen(*pos, "4k3/8/8/8/8/8/8/R3K3 b - - 999 7", &gamePly), 0);
    EXPECT_EQ(pos->history[1].reversibleMoves, 255);
    EXPECT_EQ(gamePly, 14);
}

TEST(Fen, EpdStyleTextWithoutClocks) {
    auto pos = startPosition();
    for (const char* text : {"4k3/8/8/8/8/8/8/R3K3 b - - ", "4k3/8/8/8/8/8/8/R3K3 b -", "4k3/8/8/8/8/8/8/R3K3 b",
                             "4k3/8/8/8/8/8/8/R3K3  b  -  -  0  1 ", "4k3/8/8/8/8/8/8/R3K3\tb - - 0 1\r\n"}) {
        int gamePly = 0;
        ASSERT_EQ(setBoardFromFen(*pos, text, &gamePly), 0) << text;
        EXPECT_EQ(pos->sideToMove, BLACK);
        EXPECT_EQ(pos->history[1].reversibleMoves, 0);
        EXPECT_EQ(gamePly, 2);  // a missing move number is the first move
    }
}

TEST(Fen, FillsTheBoardAlone) {
    auto pos = startPosition();
    gGame.gamePly = 17;
    gGame.repetitionCount = 3;
    ASSERT_EQ(setBoardFromFen(*pos, "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1"), 0);
    EXPECT_EQ(gGame.gamePly, 17);
    EXPECT_EQ(gGame.repetitionCount, 3u);
}

TEST(Fen, RejectedTextLeavesThePositionAlone) {
    const char* bad[] = {
        "",
        "   ",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",             // no side to move
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1",  // unknown side
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR white",
        "rnbqkbnr/ppppXppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",  // unknown piece letter
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",  // nine empty squares
        "rnbqkbnr/ppp5pp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",    // rank runs past h
        "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",  // nine pieces on a rank
        "rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",   // seven squares on a rank
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w - - 0 1",   // nine ranks
        "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",    // seven ranks
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR//// w - - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 1000 1",  // clock too long
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1000",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 bm e4",  // more after the move number
        "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1",    // no black king
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKKBNR w kq - 0 1",    // two white kings
        "4k3/8/8/8/8/8/4R3/4K3 w - - 0 1",                           // the side that moved is in check
        "8/8/8/8/8/8/3kK3/8 b - - 0 1",                              // kings side by side
        "1QQQQQ2/Q1QQQQ2/8/8/8/8/8/K6k w - - 0 1",                   // more queens than promotions allow
        "4k3/pppppppp/p7/8/8/8/8/4K3 w - - 0 1",                     // nine pawns
    };
    auto pos = positionFromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    auto before = std::make_unique<Position>(*pos);
    for (const char* text : bad) {
        int gamePly = 17;
        EXPECT_EQ(setBoardFromFen(*pos, text, &gamePly), -1) << text;
        expectSameBoard(*before, *pos, text);
        EXPECT_EQ(gamePly, 17) << text;
    }
    EXPECT_EQ(setBoardFromFen(*pos, nullptr), -1);
    std::string endless = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" + std::string(100000, '1');
    EXPECT_EQ(setBoardFromFen(*pos, endless.c_str()), -1);
    std::string placement(100000, 'p');
    EXPECT_EQ(setBoardFromFen(*pos, placement.c_str()), -1);
    expectSameBoard(*before, *pos, "long texts");
}

TEST(Fen, ImpossibleCastlingRightsAreDropped) {
    auto pos = positionFromFen("4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1");
    EXPECT_EQ(pos->castling, 0);
    auto some = positionFromFen("r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1");
    EXPECT_EQ(some->castling, WHITE_KINGSIDE | BLACK_QUEENSIDE);
    EXPECT_EQ(some->history[1].castling, some->castling);
    // A king off e1 between its rooks can castle only in Chess960: in the
    // standard game the text is refused.
    auto kingAway = startPosition();
    EXPECT_NE(setBoardFromFen(*kingAway, "r3k2r/8/8/8/8/8/8/R2K3R w KQkq - 0 1"), 0);
    auto kingAwayNoRights = positionFromFen("r3k2r/8/8/8/8/8/8/R2K3R w kq - 0 1");
    EXPECT_EQ(kingAwayNoRights->castling, BLACK_KINGSIDE | BLACK_QUEENSIDE);
    // Castling rights ignore letters they do not know.
    auto odd = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w KxQ - 0 1");
    EXPECT_EQ(odd->castling, WHITE_KINGSIDE | WHITE_QUEENSIDE);
    expectConsistent(*odd, "castling letters");
}

TEST(Fen, ImpossibleEnPassantSquaresAreDropped) {
    struct Case {
        const char* fen;
        int expected;
    };
    const Case cases[] = {
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", D6},   // black pawn just came from d7
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 1", 0},    // wrong row for White to move
        {"4k3/8/8/4P3/8/8/8/4K3 w - d6 0 1", 0},     // no pawn in front of it
        {"4k3/3p4/8/3pP3/8/8/8/4K3 w - d6 0 1", 0},  // d7 still occupied
        {"4k3/8/3n4/3pP3/8/8/8/4K3 w - d6 0 1", 0},  // d6 occupied
        {"4k3/8/8/3PP3/8/8/8/4K3 w - d6 0 1", 0},    // own pawn in front
        {"4k3/8/8/8/4Pp2/8/8/4K3 b - e3 0 1", E3},
        {"4k3/8/8/8/4Pp2/8/8/4K3 b - e6 0 1", 0},
        {"4k3/8/8/8/4Pp2/8/8/4K3 b - z9 0 1", 0},
        {"4k3/8/8/8/4Pp2/8/8/4K3 b - e 0 1", 0},
    };
    for (const Case& c : cases) {
        auto pos = positionFromFen(c.fen);
        EXPECT_EQ(pos->epSquare, c.expected) << c.fen;
        expectConsistent(*pos, c.fen);
    }
}

TEST(Fen, PieceLetters) {
    const char letters[] = "KQRBNPkqrbnp";
    const int codes[] = {6, 5, 4, 3, 2, 1, -6, -5, -4, -3, -2, -1};
    for (int i = 0; i < 12; i++) EXPECT_EQ(pieceFromLetter(letters[i]), codes[i]);
    for (char c : {'x', 'L', '1', ' ', '\0'}) EXPECT_EQ(pieceFromLetter(c), 0);
}

}  // namespace

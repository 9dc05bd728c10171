// The board record as a whole: keys, counters, mirroring and display.
#include <cstdio>
#include <unistd.h>

#include "board/board_helpers.h"

namespace {

TEST(ZobristKeys, MatchTheGeneratorsReferenceValues) {
    initEngineTables();
    EXPECT_EQ(zobrist.piece[0][A8], 0x4890d6a4039b11bfull);
    EXPECT_EQ(zobrist.piece[11][H1], 0x9475361b15b45cd5ull);
    EXPECT_EQ(zobrist.side[WHITE], 0x954a4958636c67a5ull);
    EXPECT_EQ(zobrist.side[BLACK], 0x5d48cacfe43437f9ull);
    // Drawing the keys again gives the same keys.
    initZobristKeys();
    EXPECT_EQ(zobrist.piece[0][A8], 0x4890d6a4039b11bfull);
}

TEST(ZobristKeys, InitialPositionAndAfterE4) {
    auto pos = startPosition();
    EXPECT_EQ(pos->hashKey, 0xab52c6e2117d7be8ull);
    EXPECT_EQ(pos->pawnKey, 0x1bc1c4c60b6229f0ull);
    ASSERT_TRUE(makeMove(*pos, encodeMove(E2, E4, PAWN), false));
    EXPECT_EQ(pos->epSquare, 0);  // no black pawn can take
    EXPECT_EQ(pos->hashKey, 0x1091a083c5f55eabull);
    EXPECT_EQ(pos->pawnKey, 0x6d74e27d7da7426dull);
    EXPECT_EQ(pos->hashKey, computeHashKey(*pos));
}

TEST(ZobristKeys, CastlingRightsChangeOnlyTheLowBits) {
    auto all = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    auto some = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1");
    EXPECT_EQ(all->hashKey ^ some->hashKey, uint64_t(15 ^ (1 | 8)));
}

TEST(InitialPosition, CountersAndKingSquares) {
    auto pos = startPosition();
    for (int colour : {WHITE, BLACK}) {
        const SideRecord& side = pos->sides[colour];
        EXPECT_EQ(side.materialScore, 3900);
        EXPECT_EQ(side.pieceMaterial, 31);
        EXPECT_EQ(side.minorCount, 4);
        EXPECT_EQ(side.majorCount, 4);
        EXPECT_EQ(side.pawnCount, 8);
    }
    EXPECT_EQ(pos->sides[WHITE].kingSquare, E1);
    EXPECT_EQ(pos->sides[BLACK].kingSquare, E8);
    EXPECT_EQ(pos->historyCount, 1u);
    EXPECT_EQ(pos->castling, 15);
    expectConsistent(*pos, "initial position");
}

TEST(RebuildDerivedState, EmptyBoardClearsEverythingButKingSquares) {
    auto pos = startPosition();
    std::memset(pos->board, 0, sizeof pos->board);
    rebuildDerivedState(*pos);
    EXPECT_EQ(pos->occFileMajor | pos->occA1H8 | pos->occA8H1, 0u);
    for (const SideRecord& side : pos->sides) {
        for (Bitboard b : side.pieces) EXPECT_EQ(b, 0u);
        EXPECT_EQ(side.pawnCount + side.pieceMaterial + side.minorCount + side.majorCount, 0);
        EXPECT_EQ(side.materialScore, 0);
    }
    EXPECT_EQ(pos->sides[WHITE].kingSquare, E1);
    EXPECT_EQ(pos->sides[BLACK].kingSquare, E8);
}

TEST(MirrorPosition, SwapsColoursAndRoundTrips) {
    auto pos = positionFromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/Pp2P3/2N2Q1p/1PPBBPPP/R3K1R1 b Qkq a3 0 1");
    EXPECT_EQ(pos->epSquare, A3);
    auto mirror = std::make_unique<Position>();
    auto back = std::make_unique<Position>();
    mirrorPosition(*pos, *mirror);
    EXPECT_EQ(mirror->sideToMove, WHITE);
    EXPECT_EQ(mirror->castling, BLACK_QUEENSIDE | WHITE_KINGSIDE | WHITE_QUEENSIDE);
    EXPECT_EQ(mirror->epSquare, A6);
    EXPECT_EQ(mirror->board[E8], -KING);
    EXPECT_EQ(mirror->board[E1], KING);
    EXPECT_EQ(mirror->sides[WHITE].materialScore, pos->sides[BLACK].materialScore);
    expectConsistent(*mirror, "mirror");
    mirrorPosition(*mirror, *back);
    EXPECT_EQ(0, std::memcmp(back->board, pos->board, 64));
    EXPECT_EQ(back->castling, pos->castling);
    EXPECT_EQ(back->epSquare, pos->epSquare);
    EXPECT_EQ(back->hashKey, pos->hashKey);
}

// Runs f with standard output captured.
std::string captureOutput(const std::function<void()>& f) {
    std::fflush(stdout);
    char path[] = "/tmp/tarno-board-XXXXXX";
    int fd = mkstemp(path);
    int saved = dup(1);
    dup2(fd, 1);
    f();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    char buffer[512];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    close(fd);
    unlink(path);
    return text;
}

TEST(DisplayBoard, InitialPosition) {
    auto pos = startPosition();
    std::string text = captureOutput([&] { displayBoard(*pos); });
    EXPECT_EQ(text,
              "\n r n b q k b n r"
              "\n p p p p p p p p"
              "\n - - - - - - - -"
              "\n - - - - - - - -"
              "\n - - - - - - - -"
              "\n - - - - - - - -"
              "\n P P P P P P P P"
              "\n R N B Q K B N R\n\n");
}

TEST(DisplayBoard, UnknownPieceCodePrintsOnlyItsBlank) {
    auto pos = positionFromFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    pos->board[A8] = 7;  // in no bitboard
    std::string text = captureOutput([&] { displayBoard(*pos); });
    EXPECT_EQ(text.substr(0, 17), "\n  - - - k - - -\n");
}

}  // namespace

// The board record as a whole: the Zobrist keys and their generator,
// setting up the initial position, recounting everything that is derived
// from the board array, full key computation, mirroring and the board
// display.
#include "board/board.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "board/attacks.h"

ZobristKeys zobrist;

// --- Zobrist keys --------------------------------------------------------

namespace {

// Knuth's additive lagged-Fibonacci generator (TAOCP Vol. 2, 3.2.2,
// Algorithm A) with lags 24 and 55. The opening book stores positions by
// bits of the hash key, so this generator, its seed and the order of the
// draws fix the book format: none of it may change.
constexpr uint32_t zobristSeed[55] = {
    1410651636, 3012776752, 3497475623, 2892145026, 1571949714, 3253082284, 3489895018,
    387949491,  2597396737, 1981903553, 3160251843, 129444464,  1851443344, 4156445905,
    224604922,  1455067070, 3953493484, 1460937157, 2528362617, 317430674,  3229354360,
    117491133,  832845075,  1961600170, 1321557429, 747750121,  545747446,  810476036,
    503334515,  4088144633, 2824216555, 3738252341, 3493754131, 3672533954, 29494241,
    1180928407, 4213624418, 33062851,   3221315737, 1145213552, 2957984897, 4078668503,
    2262661702, 65478801,   2527208841, 1960622036, 315685891,  1196037864, 804614524,
    1421733266, 2017105031, 3882325900, 810735053,  384606609,  2393861397,
};

struct LaggedFibonacci {
    uint32_t y[55];
    int j, k;
    bool seeded = false;

    void seed() {
        std::memcpy(y, zobristSeed, sizeof y);
        j = 23;
        k = 54;
        seeded = true;
    }
    uint32_t next() {
        if (!seeded) seed();
        y[k] += y[j];
        uint32_t result = y[k];
        j = j == 0 ? 54 : j - 1;
        k = k == 0 ? 54 : k - 1;
        return result;
    }
};

LaggedFibonacci generator;

uint64_t drawKey() {
    uint64_t low = zobristGenerator();
    uint64_t high = zobristGenerator();
    return high << 32 | low;
}

}  // namespace

uint32_t zobristGenerator() { return generator.next(); }

void initZobristKeys() {
    // Start from the seed every time, so drawing twice gives the same keys.
    generator.seed();
    for (auto& pieceKeys : zobrist.piece)
        for (uint64_t& key : pieceKeys) key = drawKey();
    for (int sq = 0; sq < 64; sq++) {
        zobrist.enPassant[sq] = drawKey();
        zobrist.pawn[WHITE][sq] = drawKey();
        zobrist.pawn[BLACK][sq] = drawKey();
    }
    zobrist.side[WHITE] = drawKey();
    zobrist.side[BLACK] = drawKey();
    // Drawn after every other key, so those stay what they always were.
    for (auto& fileKeys : zobrist.castlingFile)
        for (uint64_t& key : fileKeys) key = drawKey();
}

// --- whole-position operations -------------------------------------------

namespace {

constexpr int8_t initialBoard[64] = {
    -4, -2, -3, -5, -6, -3, -2, -4,
    -1, -1, -1, -1, -1, -1, -1, -1,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     1,  1,  1,  1,  1,  1,  1,  1,
     4,  2,  3,  5,  6,  3,  2,  4,
};

}  // namespace

void setInitialBoard(Board& pos) {
    std::memcpy(pos.board, initialBoard, sizeof pos.board);
    pos.sideToMove = WHITE;
    pos.castling = WHITE_KINGSIDE | WHITE_QUEENSIDE | BLACK_KINGSIDE | BLACK_QUEENSIDE;
    pos.epSquare = 0;
    pos.historyCount = 1;
    pos.history[0].reversibleMoves = 0;
    pos.history[1].reversibleMoves = 0;
    pos.history[1].castling = pos.castling;
    pos.history[1].epSquare = 0;
    rebuildDerivedState(pos);
    static constexpr int corners[4] = {H1, A1, H8, A8};
    setCastlingRules(pos, corners, false);
    pos.hashKey = computeHashKey(pos);
    pos.pawnKey = computePawnKey(pos);
}

void rebuildDerivedState(Board& pos) {
    pos.occFileMajor = pos.occA1H8 = pos.occA8H1 = 0;
    for (SideRecord& side : pos.sides) {
        for (Bitboard& b : side.pieces) b = 0;
        side.pawnCount = side.pieceMaterial = side.minorCount = side.majorCount = 0;
        side.materialScore = 0;
    }
    for (int sq = 0; sq < 64; sq++) {
        int piece = pos.board[sq];
        if (piece == 0) continue;
        int type = std::abs(piece);
        if (type > KING) continue;  // not a piece code; the FEN reader never writes one
        SideRecord& side = pos.sides[piece > 0 ? WHITE : BLACK];
        pos.occFileMajor |= 1ull << fileMajorIndex[sq];
        pos.occA1H8 |= 1ull << a1h8Index[sq];
        pos.occA8H1 |= 1ull << a8h1Index[sq];
        side.pieces[ALL_PIECES] |= 1ull << sq;
        side.pieces[type] |= 1ull << sq;
        side.materialScore += pieceValue[type];
        switch (type) {
            case PAWN: side.pawnCount++; break;
            case KNIGHT:
            case BISHOP: side.pieceMaterial += 3; side.minorCount++; break;
            case ROOK: side.pieceMaterial += 5; side.majorCount++; break;
            case QUEEN: side.pieceMaterial += 9; side.majorCount += 2; break;
            case KING: side.kingSquare = uint8_t(sq); break;
        }
    }
}

uint64_t computeHashKey(const Board& pos) {
    uint64_t key = 0;
    for (int sq = 0; sq < 64; sq++) {
        int piece = pos.board[sq];
        if (piece > 0 && piece <= KING) key ^= zobrist.piece[pieceIndex(WHITE, piece)][sq];
        if (piece < 0 && piece >= -KING) key ^= zobrist.piece[pieceIndex(BLACK, -piece)][sq];
    }
    key ^= zobrist.side[pos.sideToMove];
    if (pos.epSquare) key ^= zobrist.enPassant[pos.epSquare];
    // Rights whose rooks start in the corners add their raw bits (the
    // standard game has no random castling keys), others a key per file.
    return key ^ pos.castlingSetup.key[pos.castling];
}

uint64_t computePawnKey(const Board& pos) {
    uint64_t key = 0;
    for (int colour : {WHITE, BLACK})
        for (Bitboard b = pos.sides[colour].pieces[PAWN]; b; b &= b - 1)
            key ^= zobrist.pawn[colour][lowestSquare(b)];
    return key;
}

void mirrorPosition(const Board& in, Board& out) {
    std::memset(&out, 0, sizeof out);
    for (int sq = 0; sq < 64; sq++) out.board[squareAt(7 - rowOf(sq), fileOf(sq))] = int8_t(-in.board[sq]);
    out.castling = uint8_t((in.castling >> 2) | ((in.castling & 3) << 2));
    out.history[1].castling = out.castling;
    // An en-passant square on row 2 (rank 6) maps to row 5 (rank 3) and back.
    if (in.epSquare == 0)
        out.epSquare = 0;
    else if (in.epSquare < 24)
        out.epSquare = uint8_t(in.epSquare + 24);
    else if (in.epSquare > 39)
        out.epSquare = uint8_t(in.epSquare - 24);
    else
        out.epSquare = in.epSquare;
    rebuildDerivedState(out);
    // The castling rooks swap colours and ranks with everything else.
    int inRooks[4], outRooks[4];
    castlingRookSquares(in, inRooks);
    for (int index = 0; index < 4; index++) {
        const int rook = inRooks[index ^ 2];
        outRooks[index] = rook < 0 ? -1 : squareAt(7 - rowOf(rook), fileOf(rook));
    }
    setCastlingRules(out, outRooks, in.castlingSetup.chess960);
    out.sideToMove = in.sideToMove ^ 1;
    out.pawnKey = computePawnKey(out);
    out.hashKey = computeHashKey(out);
}

void displayBoard(const Board& pos) {
    static const char whiteLetters[] = " PNBRQ";
    static const char blackLetters[] = " pnbrq";
    char text[64 * 2 + 8 + 2 + 1];
    int length = 0;
    for (int sq = 0; sq < 64; sq++) {
        if (fileOf(sq) == 0) text[length++] = '\n';
        text[length++] = ' ';
        int piece = pos.board[sq];
        if (piece == 0) {
            text[length++] = '-';
            continue;
        }
        int colour = piece > 0 ? WHITE : BLACK;
        const SideRecord& side = pos.sides[colour];
        if (sq == side.kingSquare) {
            text[length++] = colour == WHITE ? 'K' : 'k';
            continue;
        }
        // The letter comes from the bitboard that holds the square; a code
        // the bitboards do not know leaves just the blank.
        for (int type = PAWN; type <= QUEEN; type++) {
            if (side.pieces[type] & (1ull << sq)) {
                text[length++] = colour == WHITE ? whiteLetters[type] : blackLetters[type];
                break;
            }
        }
    }
    text[length++] = '\n';
    text[length++] = '\n';
    std::fwrite(text, 1, size_t(length), stdout);
    std::fflush(stdout);
}

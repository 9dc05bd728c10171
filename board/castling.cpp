// The castling rules of a position: where king and rook go, which squares
// must be empty and safe, which moves lose which rights, and what the
// rights add to the hash key. They are worked out once, when a position is
// set up, so that making and generating a castling move stays a matter of
// reading a few fields.
#include "board/board.h"

#include <utility>

#include "board/attacks.h"

namespace {

// Squares of one row from a to b, both included, in either order.
Bitboard squaresFromTo(int a, int b) {
    if (a > b) std::swap(a, b);
    Bitboard squares = 0;
    for (int sq = a; sq <= b; sq++) squares |= 1ull << sq;
    return squares;
}

constexpr int cornerOf[4] = {H1, A1, H8, A8};

CastlingRule ruleFor(int colour, int queenSide, int king, int rook, bool chess960) {
    const int backRow = colour == WHITE ? 7 : 0;
    CastlingRule rule{};
    rule.right = uint8_t(1 << castlingIndex(colour, queenSide));
    rule.kingFrom = uint8_t(king);
    rule.rookFrom = uint8_t(rook);
    rule.kingTo = uint8_t(squareAt(backRow, queenSide ? 2 : 6));
    rule.rookTo = uint8_t(squareAt(backRow, queenSide ? 3 : 5));
    const Bitboard ownSquares = (1ull << king) | (1ull << rook);
    rule.mustBeEmpty = (squaresFromTo(king, rule.kingTo) | squaresFromTo(rook, rule.rookTo)) & ~ownSquares;
    rule.kingPath = squaresFromTo(king, rule.kingTo);
    // A rook between the king's destination and the edge, not on the edge
    // itself, may be what keeps a rook or queen in the corner off that
    // square: with the rook gone, the king would stand in check.
    const int rookFile = fileOf(rook), kingToFile = fileOf(rule.kingTo);
    rule.rookShieldsKing = queenSide ? rookFile > 0 && rookFile < kingToFile : rookFile < 7 && rookFile > kingToFile;
    // The king's two-square step in the standard game, the king taking its
    // own rook in Chess960.
    rule.move = encodeMove(king, chess960 ? rook : rule.kingTo, KING) | CASTLING_FLAG;
    return rule;
}

}  // namespace

void setCastlingRules(Board& pos, const int rookSquare[4], bool chess960) {
    CastlingSetup& setup = pos.castlingSetup;
    setup = CastlingSetup{};
    setup.chess960 = chess960;
    for (uint8_t& kept : setup.rightsKept) kept = 15;
    for (int index = 0; index < 4; index++) {
        const int colour = index / 2, queenSide = index % 2;
        CastlingRule& rule = setup.rules[colour][queenSide];
        if (!chess960) {
            // The fixed rules of the corners, whatever stands there now.
            rule = ruleFor(colour, queenSide, colour == WHITE ? E1 : E8, cornerOf[index], false);
        } else if (rookSquare[index] >= 0) {
            rule = ruleFor(colour, queenSide, pos.sides[colour].kingSquare, rookSquare[index], true);
        } else {
            continue;  // this side of this colour never castles
        }
        // Moving the king ends both of its colour's rights, moving the rook
        // (or losing it) ends its own.
        setup.rightsKept[rule.kingFrom] &= uint8_t(~(3 << (2 * colour)));
        setup.rightsKept[rule.rookFrom] &= uint8_t(~rule.right);
    }
    for (int rights = 0; rights < 16; rights++) {
        uint64_t key = 0;
        for (int index = 0; index < 4; index++) {
            if (!(rights & (1 << index))) continue;
            const CastlingRule& rule = setup.rules[index / 2][index % 2];
            const bool corner = rule.move == 0 || rule.rookFrom == cornerOf[index];
            key ^= corner ? uint64_t(1) << index : zobrist.castlingFile[index][fileOf(rule.rookFrom)];
        }
        setup.key[rights] = key;
    }
}

void castlingRookSquares(const Board& pos, int rookSquare[4]) {
    for (int index = 0; index < 4; index++) {
        const CastlingRule& rule = pos.castlingSetup.rules[index / 2][index % 2];
        rookSquare[index] = rule.move ? rule.rookFrom : -1;
    }
}

// Material that cannot win: which side can still win a position at all.
#include "eval/eval_util.h"
#include "eval/evaluate.h"

namespace {

constexpr int WHITE_CAN_WIN = 1;
constexpr int BLACK_CAN_WIN = 2;

constexpr Bitboard A_FILE = 0x0101010101010101ull;
constexpr Bitboard H_FILE = A_FILE << 7;
constexpr Bitboard FILES_B_TO_G = ~(A_FILE | H_FILE);

// King and rook pawns (perhaps with the bishop that does not control the
// queening corner) against a king that reaches the corner in time: the
// defender just shuffles there, a dead draw. c is the side with the pawns.
bool defenderHoldsCorner(const Board& pos, int c) {
    const SideRecord& own = pos.sides[c];
    Bitboard pawns = own.pieces[PAWN];
    if (!pawns || (pawns & FILES_B_TO_G)) return false;
    if ((pawns & A_FILE) && (pawns & H_FILE)) return false;
    bool loneBishop = own.pieceMaterial == 3 && !own.pieces[KNIGHT];
    if (own.pieceMaterial != 0 && !loneBishop) return false;
    int corner = whiteView(c, (pawns & A_FILE) ? A8 : H8);
    // The right bishop drives the king out of the corner.
    if (own.pieces[BISHOP] & ((bit(corner) & LIGHT_SQUARES) ? LIGHT_SQUARES : ~LIGHT_SQUARES)) return false;

    int pawn = frontmost(c, pawns);
    int tempo = pos.sideToMove == c ? 1 : 0;
    int defender = kingDistance(pos.sides[c ^ 1].kingSquare, corner);
    int attacker = kingDistance(own.kingSquare, corner);
    return defender <= 1 || (defender < attacker - tempo && defender <= kingDistance(pawn, corner) - tempo);
}

// Two minor pieces without pawns cannot force mate against a minor piece,
// except two bishops against a knight.
bool minorsCannotWin(const SideRecord& strong, const SideRecord& weak) {
    if (strong.pawnCount || strong.pieceMaterial != 6 || weak.pieceMaterial != 3) return false;
    bool twoBishops = popCount(strong.pieces[BISHOP]) == 2;
    return !(twoBishops && weak.pieces[KNIGHT]);
}

// Two knights cannot force mate against a bare king.
bool twoKnightsAlone(const SideRecord& strong, const SideRecord& weak) {
    return !strong.pawnCount && strong.pieceMaterial == 6 && !strong.pieces[BISHOP] && !weak.pawnCount &&
           weak.pieceMaterial == 0;
}

}  // namespace

int recogniseDraw(const Board& pos) {
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    if (w.pieceMaterial > 8 || b.pieceMaterial > 8) return 3;
    // Bishop and knight (or two minors with a bishop) with a pawn win.
    if (w.pieceMaterial == 6 && w.pieces[BISHOP] && w.pawnCount) return 3;
    if (b.pieceMaterial == 6 && b.pieces[BISHOP] && b.pawnCount) return 3;
    Bitboard pawns = w.pieces[PAWN] | b.pieces[PAWN];
    if (w.pieceMaterial == 0 && b.pieceMaterial == 0 && (pawns & FILES_B_TO_G)) return 3;

    int mask = WHITE_CAN_WIN | BLACK_CAN_WIN;
    // A single minor cannot mate, nor can it with one pawn against pieces
    // that will take the pawn.
    if (b.pieceMaterial <= 3 && (b.pawnCount == 0 || (b.pawnCount == 1 && w.pieceMaterial > 0)))
        mask = WHITE_CAN_WIN;
    if (w.pieceMaterial <= 3 && (w.pawnCount == 0 || (w.pawnCount == 1 && b.pieceMaterial > 0)))
        mask &= BLACK_CAN_WIN;

    if (defenderHoldsCorner(pos, WHITE)) mask &= BLACK_CAN_WIN;
    if (defenderHoldsCorner(pos, BLACK)) mask &= WHITE_CAN_WIN;
    if (w.pawnCount && b.pawnCount) return mask;

    if (minorsCannotWin(w, b)) mask &= BLACK_CAN_WIN;
    else if (minorsCannotWin(b, w)) mask &= WHITE_CAN_WIN;
    if (twoKnightsAlone(w, b)) mask &= BLACK_CAN_WIN;
    if (twoKnightsAlone(b, w)) mask &= WHITE_CAN_WIN;
    return mask;
}

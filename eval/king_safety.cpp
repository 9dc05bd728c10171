// Development in the opening and the safety of both kings.
#include "board/attacks.h"
#include "board/game_state.h"
#include "eval/eval_state.h"
#include "eval/eval_util.h"
#include "eval/pieces.h"

namespace {

// How exposed a king is on each square before its shelter is counted: the
// further up the board, the worse; the corners behind the pawns are best.
constexpr uint8_t squareWeakness[64] = {
    8, 8, 8, 8, 8, 8, 8, 8,
    7, 7, 7, 7, 7, 7, 7, 7,
    6, 6, 6, 6, 6, 6, 6, 6,
    5, 5, 5, 5, 5, 5, 5, 5,
    4, 4, 4, 4, 4, 4, 4, 4,
    3, 3, 3, 3, 3, 3, 3, 3,
    1, 1, 2, 3, 3, 2, 1, 1,
    1, 0, 2, 3, 3, 2, 0, 1};

constexpr int ATTACK_PATTERN = 600;

// Castling rights of colour c within a rights byte: bit 0 kingside, bit 1
// queenside.
inline int rightsOf(int rights, int c) { return c == WHITE ? rights & 3 : (rights >> 2) & 3; }

bool fileHasNoPawns(const Board& pos, int f) {
    return !((pos.sides[WHITE].pieces[PAWN] | pos.sides[BLACK].pieces[PAWN]) & wholeFile(f));
}

// Open centre files are highways to a king that has not left the centre.
int openCentre(const Board& pos, int left, int middle, int right) {
    return (fileHasNoPawns(pos, left) ? 2 : 0) + (fileHasNoPawns(pos, middle) ? 4 : 0) +
           (fileHasNoPawns(pos, right) ? 2 : 0);
}

int weaknessOf(const EvalBoard& pos, int c) {
    const SideRecord& own = pos.sides[c];
    const SideRecord& enemy = pos.sides[c ^ 1];
    auto at = [c](int whiteSquare) { return bit(whiteView(c, whiteSquare)); };
    int k = own.kingSquare;
    int f = fileOf(k);
    int index = squareWeakness[whiteView(c, k)];
    int rights = rightsOf(pos.castling, c);
    bool centreKing = true;
    // A missing fianchetto pawn with an enemy pawn or bishop already on the
    // weakened squares in front is a mating net once the queen arrives.
    auto holeInvaded = [&](int pawnSquare, int left, int right) {
        return !(own.pieces[PAWN] & at(pawnSquare)) &&
               ((enemy.pieces[PAWN] | enemy.pieces[BISHOP]) & (at(left) | at(right))) && enemy.pieces[QUEEN];
    };
    if (rights == 0) {
        if (f >= 4) {
            index += kingsideShelter(pos.pawnEntry, c);
            if (fileOf(enemy.kingSquare) <= 3) index += 5;  // opposite castling: pawn storms
            if (holeInvaded(G2, F3, H3)) index += 3;
            centreKing = f == 4;
        } else {
            index += queensideShelter(pos.pawnEntry, c);
            if (fileOf(enemy.kingSquare) >= 4) index += 5;
            if (holeInvaded(B2, A3, C3)) index += 3;
            if (f == 3) index += openCentre(pos, 2, 3, 4);
            centreKing = false;
        }
    } else if (rights == 1) {
        index += kingsideShelter(pos.pawnEntry, c) / 2;
    } else if (rights == 2) {
        index += queensideShelter(pos.pawnEntry, c) / 2;
    }
    if (centreKing) index += openCentre(pos, 3, 4, 5);
    return index;
}

}  // namespace

int evaluateDevelopment(const Board& pos, int c) {
    const SideRecord& own = pos.sides[c];
    const SideRecord& enemy = pos.sides[c ^ 1];
    auto at = [c](int whiteSquare) { return bit(whiteView(c, whiteSquare)); };
    int score = 0;
    // Nc3 in front of the c-pawn in a d4 opening blocks c2-c4.
    if ((own.pieces[PAWN] & at(D4)) && (own.pieces[PAWN] & at(C2)) && !(own.pieces[PAWN] & at(E4)) &&
        ((own.pieces[KNIGHT] | own.pieces[BISHOP]) & at(C3)))
        score -= 6;
    int rights = rightsOf(pos.castling, c);
    // An early queen sortie before castling only invites tempo-gaining attacks.
    if (rights && !(own.pieces[QUEEN] & at(D1))) score -= 18;
    if ((own.pieces[ROOK] & at(A1)) && (own.pieces[KNIGHT] & at(B1))) score -= 7;
    if ((own.pieces[ROOK] & at(H1)) && (own.pieces[KNIGHT] & at(G1))) score -= 7;

    int rootRights = rightsOf(pos.history[1].castling, c);
    if (!rootRights) return score;
    int f = fileOf(own.kingSquare);
    // Castled (or as good as castled): the king is on a wing with the rook
    // already out of its corner.
    if (f >= 5 && !(own.pieces[ROOK] & (at(G1) | at(H1)))) return score;
    if (f <= 2 && !(own.pieces[ROOK] & (at(A1) | at(B1)))) return score;
    score -= 24;
    if (rights == rootRights) return score;
    // Rights thrown away during the search without castling: worse the more
    // are gone, and much worse with the enemy queen still on the board.
    int lost = rights == 0 ? 20 : 10;
    if (enemy.pieces[QUEEN]) lost *= 3;
    return score - lost;
}

int evaluateKingSafety(EvalBoard& pos) {
    int white = weaknessOf(pos, WHITE);
    int black = weaknessOf(pos, BLACK);
    // Without the enemy queen a weak king is only half the problem.
    if (!pos.sides[WHITE].pieces[QUEEN]) black /= 2;
    if (!pos.sides[BLACK].pieces[QUEEN]) white /= 2;
    pos.kingWeakness[WHITE] = uint8_t(clampIndex(white, 256));
    pos.kingWeakness[BLACK] = uint8_t(clampIndex(black, 256));
    int score = gEval.kingSafety[BLACK][clampIndex(black, 64)] - gEval.kingSafety[WHITE][clampIndex(white, 64)];

    if (gEval.attackPattern && gGame.engineSide == pos.sideToMove) {
        int c = pos.sideToMove;
        const SideRecord& enemy = pos.sides[c ^ 1];
        Bitboard hPawns = (pos.sides[WHITE].pieces[PAWN] | pos.sides[BLACK].pieces[PAWN]) & wholeFile(7);
        if (fileOf(pos.sides[c].kingSquare) >= 4 && !hPawns && enemy.pieces[QUEEN] && enemy.pieces[ROOK])
            score -= sideSign(c) * ATTACK_PATTERN;
    }
    return score;
}

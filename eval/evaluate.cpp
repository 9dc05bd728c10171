// The evaluation driver: material, the lazy exits, the order of the terms,
// and the corrections for drawish material at the end.
#include "eval/evaluate.h"

#include "board/attacks.h"
#include "eval/eval_state.h"
#include "eval/eval_util.h"
#include "eval/pawns.h"
#include "eval/pieces.h"

namespace {

// Row: (White major count - Black major count) + 4, column: the same for
// minor pieces, both clamped to 0..8. Positive favours White: it prices the
// classic imbalances (two minors against a rook, three minors against a
// queen) beyond their plain material sum.
constexpr int imbalance[9][9] = {
    {-126, -126, -126, -126, -126, -126, -126, -126, -42},
    {-126, -126, -126, -126, -126, -126, -126, -42, 42},
    {-126, -126, -126, -126, -126, -126, -42, 42, 84},
    {-126, -126, -126, -126, -104, -42, 42, 84, 126},
    {-126, -126, -126, -88, 0, 88, 126, 126, 126},
    {-126, -84, -42, 42, 104, 126, 126, 126, 126},
    {-84, -42, 42, 126, 126, 126, 126, 126, 126},
    {-42, 42, 126, 126, 126, 126, 126, 126, 126},
    {42, 126, 126, 126, 126, 126, 126, 126, 126},
};

constexpr int TEMPO = 5;
// Margins of the two lazy exits: the most the pawn and king terms, and then
// the piece terms, are expected to move the score.
constexpr int LAZY_MARGIN_PAWNS = 295;
constexpr int LAZY_MARGIN_PIECES = 200;
constexpr int TRAPPED_BISHOP = 175;
constexpr int PASSED_PAWN_PERCENT = 100;

// King-attack multiplier in sixteenths, by the defending king's weakness
// index: the same pressure is worth more against a more exposed king.
struct AttackMultiplier {
    int32_t value[64];
    constexpr AttackMultiplier() : value() {
        for (int i = 0; i < 64; ++i) {
            int v = i < 4 ? 16 : 16 + (i - 2) / 2;
            value[i] = v > 32 ? 32 : v;
        }
    }
};
constexpr AttackMultiplier kingAttackMultiplier;

// Outside-passer bonuses by the opponent's piece material: an outside
// passer decoys the enemy king, which matters most when little else is left.
// Flat from 20 on; more material (several promoted queens) reads the last entry.
constexpr uint8_t outsideBonus[21] = {96, 48, 48, 48, 45, 42, 40, 40, 36, 36, 32,
                                      32, 28, 28, 24, 24, 20, 20, 16, 16, 12};
constexpr uint8_t lesserOutsideBonus[21] = {72, 36, 36, 36, 34, 31, 30, 30, 27, 27, 24,
                                            24, 21, 21, 18, 18, 15, 15, 12, 12, 10};

// Mating tables for king, bishop and knight against king: the defending
// king is driven towards a corner of the bishop's colour.
struct MatingTable {
    int32_t value[64];
    constexpr MatingTable(bool dark) : value() {
        for (int sq = 0; sq < 64; ++sq) {
            int f = fileOf(sq), r = rowOf(sq);
            int d = dark ? f - r : f + r - 7;
            value[sq] = 30 + 10 * (d < 0 ? -d : d);
        }
    }
};
constexpr MatingTable darkBishopMate(true);
constexpr MatingTable lightBishopMate(false);

// A lone king is pushed to the edge against any material plus.
constexpr int32_t loneKingEdge[64] = {
    100, 96, 93, 90, 90, 93, 96, 100,
    96,  80, 70, 60, 60, 70, 80, 96,
    93,  70, 60, 50, 50, 60, 70, 93,
    90,  60, 50, 40, 40, 50, 60, 90,
    90,  60, 50, 40, 40, 50, 60, 90,
    93,  70, 60, 50, 50, 60, 70, 93,
    96,  80, 70, 60, 60, 70, 80, 96,
    100, 96, 93, 90, 90, 93, 96, 100};

inline int forSideToMove(const Board& pos, int whiteScore) { return pos.sideToMove == WHITE ? whiteScore : -whiteScore; }


// Bishop and knight alone against a bare king: the mating table of the
// bishop's colour at the defending king, signed for the stronger side.
int bishopKnightMate(const Board& pos, int c) {
    const SideRecord& own = pos.sides[c];
    if (pos.sides[c ^ 1].pieceMaterial != 0 || own.pieceMaterial != 6 || !own.pieces[BISHOP] || !own.pieces[KNIGHT])
        return 0;
    bool dark = !(own.pieces[BISHOP] & LIGHT_SQUARES);
    const MatingTable& table = dark ? darkBishopMate : lightBishopMate;
    return sideSign(c) * table.value[pos.sides[c ^ 1].kingSquare];
}

// A bishop that took the a7 (h7) pawn and is now cut off by b6 (g6): it is
// usually lost.
int trappedBishops(const Board& pos) {
    auto trapped = [&pos](int c, int bishopSquare, int pawnSquare) {
        return (pos.sides[c].pieces[BISHOP] & bit(bishopSquare)) &&
               (pos.sides[c ^ 1].pieces[PAWN] & bit(pawnSquare)) && isDefended(pos, pawnSquare);
    };
    int score = 0;
    if (trapped(WHITE, A7, B6) || trapped(WHITE, H7, G6)) score -= TRAPPED_BISHOP;
    if (trapped(BLACK, A2, B3) || trapped(BLACK, H2, G3)) score += TRAPPED_BISHOP;
    return score;
}

int passedPawnTerms(const EvalBoard& pos) {
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    uint8_t flags = outsidePasserFlags(pos.pawnEntry);
    int score = evaluatePassedPawns(pos);
    if (flags & WHITE_OUTSIDE_PASSER) score += outsideBonus[clampIndex(b.pieceMaterial, 21)];
    if (flags & BLACK_OUTSIDE_PASSER) score -= outsideBonus[clampIndex(w.pieceMaterial, 21)];
    if ((w.pieceMaterial == 0 && passedFiles(pos.pawnEntry, BLACK)) ||
        (b.pieceMaterial == 0 && passedFiles(pos.pawnEntry, WHITE)))
        score += evaluatePawnRace(pos);
    return score * PASSED_PAWN_PERCENT / 100;
}

int lesserOutsidePassers(const EvalBoard& pos) {
    uint8_t flags = outsidePasserFlags(pos.pawnEntry);
    int score = 0;
    if (!(flags & WHITE_OUTSIDE_PASSER) && (flags & WHITE_OUTSIDE_CANDIDATE))
        score += lesserOutsideBonus[clampIndex(pos.sides[BLACK].pieceMaterial, 21)];
    if (!(flags & BLACK_OUTSIDE_PASSER) && (flags & BLACK_OUTSIDE_CANDIDATE))
        score -= lesserOutsideBonus[clampIndex(pos.sides[WHITE].pieceMaterial, 21)];
    return score;
}

// Pressure on each king, weighted by how weak that king is.
int kingAttack(const EvalBoard& pos) {
    auto curve = [](int units) { return gEval.kingAttackCurve[clampIndex(units + 8, 128)]; };
    auto multiplier = [](int weakness) { return kingAttackMultiplier.value[clampIndex(weakness, 64)]; };
    return ((multiplier(pos.kingWeakness[BLACK]) * curve(pos.attackUnits[WHITE])) >> 4) -
           ((curve(pos.attackUnits[BLACK]) * multiplier(pos.kingWeakness[WHITE])) >> 4);
}

// With one bishop each on opposite colours and little else, the weaker side
// builds a fortress: damp everything but the material.
int dampOppositeBishops(const Board& pos, int score) {
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    if (w.pieceMaterial > 11 || b.pieceMaterial > 11) return score;
    if (popCount(w.pieces[BISHOP]) != 1 || popCount(b.pieces[BISHOP]) != 1) return score;
    if (!(w.pieces[BISHOP] & LIGHT_SQUARES) == !(b.pieces[BISHOP] & LIGHT_SQUARES)) return score;
    int material = w.materialScore - b.materialScore;
    int rest = score - material;
    int magnitude = rest < 0 ? -rest : rest;
    if (w.pieceMaterial == 3 && b.pieceMaterial == 3) magnitude >>= 2;
    else if (w.pieceMaterial == b.pieceMaterial) magnitude >>= 1;
    else return score;
    return (rest < 0 ? -magnitude : magnitude) + material;
}

}  // namespace

int materialBalance(const Board& pos) {
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    int row = clampIndex(int(w.majorCount) - int(b.majorCount) + 4, 9);
    int col = clampIndex(int(w.minorCount) - int(b.minorCount) + 4, 9);
    return w.materialScore - b.materialScore + imbalance[row][col] + (pos.sideToMove == WHITE ? TEMPO : -TEMPO);
}

int evaluatePawnless(const Board& pos) {
    int mate = bishopKnightMate(pos, WHITE) + bishopKnightMate(pos, BLACK);
    if (mate) return mate;
    int difference = pos.sides[WHITE].materialScore - pos.sides[BLACK].materialScore;
    int wk = pos.sides[WHITE].kingSquare, bk = pos.sides[BLACK].kingSquare;
    int distance = kingDistance(wk, bk);
    // Drive the lone king to the edge and bring the own king close.
    if (difference > 0) return loneKingEdge[bk] + 15 * (3 - distance);
    if (difference < 0) return -loneKingEdge[wk] + 15 * (distance - 3);
    return 0;
}

int evaluate(EvalBoard& pos, int lower, int upper) {
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    pos.attackUnits[WHITE] = pos.attackUnits[BLACK] = 0;
    pos.gamePhase = uint8_t(gamePhaseOf(pos));

    int canWin = 3;
    if (w.pieceMaterial <= 8 && b.pieceMaterial <= 8) {
        canWin = recogniseDraw(pos);
        if (canWin == 0) return 0;
    }

    int score = materialBalance(pos);
    int s = forSideToMove(pos, score);
    if (s + LAZY_MARGIN_PAWNS < lower || s - LAZY_MARGIN_PAWNS > upper) return s;

    ++pos.evalStats.evals;
    if (w.pawnCount == 0 && b.pawnCount == 0) return forSideToMove(pos, score + evaluatePawnless(pos));

    ++pos.evalStats.pawnProbes;
    const PawnEntry& entry = pos.pawnEntry;
    if (pos.pawnKey == entry.key && uint32_t(entry.word2 >> 32) == gEval.generation) {
        ++pos.evalStats.pawnHits;
        score += pawnScore(entry);
    } else {
        score += evaluatePawnStructure(pos);
    }

    if (passedFiles(entry, WHITE) | passedFiles(entry, BLACK)) score += passedPawnTerms(pos);
    score += lesserOutsidePassers(pos);
    score += trappedBishops(pos);

    uint8_t rootRights = pos.history[1].castling;
    if (rootRights & (WHITE_KINGSIDE | WHITE_QUEENSIDE)) score += evaluateDevelopment(pos, WHITE);
    if (rootRights & (BLACK_KINGSIDE | BLACK_QUEENSIDE)) score -= evaluateDevelopment(pos, BLACK);

    pos.kingWeakness[WHITE] = pos.kingWeakness[BLACK] = 0;
    if (pos.gamePhase != 2) score += evaluateKingSafety(pos);

    s = forSideToMove(pos, score);
    if (s + LAZY_MARGIN_PIECES > lower && s - LAZY_MARGIN_PIECES < upper) {
        score += evaluateKnights(pos);
        score += evaluateBishops(pos);
        score += evaluateRooks(pos);
        score += evaluateQueens(pos);
        score += evaluateKingPlacement(pos);
    } else {
        ++pos.evalStats.lazyEvals;
    }

    score += kingAttack(pos);
    score = dampOppositeBishops(pos, score);

    if (canWin != 3) {
        if ((canWin & 2) && score > 0) score = 0;
        else if ((canWin & 1) && score < 0) score = 0;
    }
    return forSideToMove(pos, score);
}

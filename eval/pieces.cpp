// Knights, bishops, rooks, queens and the king's own placement.
#include "eval/pieces.h"

#include "board/attacks.h"
#include "eval/eval_util.h"

namespace {

// Piece-square tables from White's side, rank 8 first (a8 = index 0).
constexpr int8_t knightSquare[64] = {
    -32, -16, -8, -8, -8, -8, -16, -32,
    -24, -24, 4,  4,  4,  4,  -24, -24,
    -8,  2,   6,  6,  6,  6,  2,   -8,
    -8,  2,   6,  6,  6,  6,  2,   -8,
    -8,  2,   4,  4,  4,  4,  2,   -8,
    -8,  2,   2,  2,  2,  2,  2,   -8,
    -8,  -8,  0,  0,  0,  0,  -8,  -8,
    -8,  -8,  -8, -8, -8, -8, -8,  -8};

constexpr int8_t bishopSquare[64] = {
    -16, -16, 0,  0,  0,  0,  -16, -16,
    -16, 2,   4,  4,  4,  4,  2,   -16,
    -4,  2,   6,  6,  6,  6,  2,   -4,
    -4,  2,   6,  6,  6,  6,  2,   -4,
    -4,  2,   4,  4,  4,  4,  2,   -4,
    -4,  2,   2,  2,  2,  2,  2,   -4,
    -16, 2,   0,  0,  0,  0,  2,   -16,
    -16, -16, -8, -8, -8, -8, -16, -16};

// Rooks only care about the file: central files are the ones that open.
constexpr int8_t rookFile[8] = {0, 0, 4, 6, 6, 4, 0, 0};

constexpr int8_t queenSquare[64] = {
    0,   0,   0,  0,  0,  0,  0,   0,
    -15, 2,   4,  5,  5,  4,  2,   -15,
    0,   2,   4,  10, 10, 4,  2,   0,
    0,   2,   10, 12, 12, 10, 2,   0,
    -10, 2,   10, 12, 12, 10, 2,   -10,
    -10, -10, 4,  10, 10, 4,  -10, -10,
    -10, 2,   8,  8,  8,  8,  2,   -10,
    -10, -8,  0,  0,  0,  0,  -8,  -10};

// Knight outposts: central squares in the enemy half.
constexpr int8_t outpost[64] = {
    0, 0, 0, 0,  0,  0, 0, 0,
    0, 0, 4, 8,  8,  4, 0, 0,
    0, 0, 8, 12, 12, 8, 0, 0,
    0, 0, 8, 10, 10, 8, 0, 0,
    0, 0, 0, 4,  4,  0, 0, 0,
    0, 0, 0, 0,  0,  0, 0, 0,
    0, 0, 0, 0,  0,  0, 0, 0,
    0, 0, 0, 0,  0,  0, 0, 0};

// Endgame king tables: the king belongs where the pawns are.
constexpr int8_t kingEndgameBothWings[64] = {
    -50, -40, -40, -40, -40, -40, -40, -50,
    -40, -40, -10, -10, -10, -10, -40, -40,
    -40, -10, 60,  60,  60,  60,  -10, -40,
    -40, -10, 60,  60,  60,  60,  -10, -40,
    -40, -10, 40,  40,  40,  40,  -10, -40,
    -40, -10, 20,  20,  20,  20,  -10, -40,
    -40, -40, -10, -10, -10, -10, -40, -40,
    -50, -40, -40, -40, -40, -40, -40, -50};

constexpr int8_t kingEndgameKingside[64] = {
    -60, -40, -20, -20, -20, -20, -20, -20,
    -60, -40, -20, 20,  40,  40,  40,  40,
    -60, -40, -20, 20,  60,  60,  60,  40,
    -60, -40, -20, 20,  60,  60,  60,  40,
    -60, -40, -20, 20,  40,  40,  40,  40,
    -60, -40, -20, 20,  20,  20,  20,  20,
    -60, -40, -20, 0,   0,   0,   0,   0,
    -60, -40, -20, -20, -20, -20, -20, -20};

// Attack units a piece earns by its distance to the enemy king, and the
// rook's and queen's by the file distance (a file blocked by an own pawn
// counts as far away).
constexpr int minorRookByDistance[8] = {3, 3, 3, 2, 1, 0, 0, 0};
constexpr int queenByDistance[8] = {4, 4, 4, 2, 1, 0, 0, 0};
constexpr int rookByFile[8] = {4, 3, 1, 0, 0, 0, 0, 0};
constexpr int queenByFile[8] = {5, 5, 3, 0, 0, 0, 0, 0};
constexpr int BLOCKED_FILE = 7;

constexpr int BISHOP_PAIR = 24;
constexpr int FIANCHETTO = 20;
constexpr int BISHOP_OVER_KNIGHT = 20;
constexpr int OUTPOST_BEFORE_PAWN = 12;
constexpr int OPEN_FILE = 24;
constexpr int HALF_OPEN_FILE = 5;
constexpr int BEHIND_PASSER = 16;
constexpr int SEVENTH_RANK = 30;
constexpr int SEVENTH_RANK_PASSER = 20;
constexpr int SEVENTH_RANK_DOUBLED = 16;
constexpr int QUEEN_ON_SEVENTH = 20;
constexpr int QUEEN_VS_WEAK_KING = 30;
constexpr int QUEEN_OFFSIDE_UNITS = 8;
constexpr int NO_ESCAPE_SQUARE = 12;
constexpr int ROOK_SHUT_IN = 40;

struct SideView {
    int c;
    const SideRecord& own;
    const SideRecord& enemy;
    SideView(const Board& pos, int colour) : c(colour), own(pos.sides[colour]), enemy(pos.sides[colour ^ 1]) {}
    Bitboard at(int whiteSquare) const { return bit(whiteView(c, whiteSquare)); }
};

Bitboard squaresOfColour(int sq) { return (bit(sq) & LIGHT_SQUARES) ? LIGHT_SQUARES : ~LIGHT_SQUARES; }

// No enemy pawn on a neighbouring file in front can ever chase the piece away.
bool safeFromPawns(const SideView& v, int sq) {
    return !(v.enemy.pieces[PAWN] & neighbourFiles(fileOf(sq)) & rowsAhead(v.c, sq));
}

// A minor on d6/e6 (d3/e3) in front of a backward enemy centre pawn.
bool plugsCentrePawn(const SideView& v, int sq) {
    int w = whiteView(v.c, sq);
    return (w == D6 || w == E6) && (v.enemy.pieces[PAWN] & bit(stepAhead(v.c, sq)));
}

int knightsOf(EvalBoard& pos, int c) {
    SideView v(pos, c);
    int score = 0;
    int units = 0;
    for (Bitboard b = v.own.pieces[KNIGHT]; b; b &= b - 1) {
        int sq = lowestSquare(b);
        int w = whiteView(c, sq);
        int value = outpost[w];
        if (value && safeFromPawns(v, sq)) {
            score += value;
            int defenders = popCount(v.own.pieces[PAWN] & pawnCaptures[c ^ 1][sq]);
            if (defenders) {
                // Nothing can ever trade it off: the outpost is worth double.
                bool unopposed = !v.enemy.pieces[KNIGHT] && !(v.enemy.pieces[BISHOP] & squaresOfColour(sq));
                if (unopposed || defenders >= 2) score += value;
                else score += value >> 1;
            }
            if (plugsCentrePawn(v, sq)) score += OUTPOST_BEFORE_PAWN;
        }
        score += knightSquare[w];
        units += minorRookByDistance[kingDistance(sq, v.enemy.kingSquare)];
    }
    pos.attackUnits[c] = addUnits(pos.attackUnits[c], units);
    return score;
}

// Pawns of either colour on both wings: the long-range bishop can play on
// both sides at once, the knight cannot.
bool pawnsOnBothWings(const Board& pos) {
    Bitboard pawns = pos.sides[WHITE].pieces[PAWN] | pos.sides[BLACK].pieces[PAWN];
    constexpr Bitboard filesAC = 0x0707070707070707ull, filesFH = 0xE0E0E0E0E0E0E0E0ull;
    return (pawns & filesAC) && (pawns & filesFH);
}

int bishopsOf(EvalBoard& pos, int c) {
    SideView v(pos, c);
    int score = 0;
    int units = 0;
    Bitboard bishops = v.own.pieces[BISHOP];
    for (Bitboard b = bishops; b; b &= b - 1) {
        int sq = lowestSquare(b);
        int w = whiteView(c, sq);
        score += bishopSquare[w] + popCount(bishopAttacks(pos, sq) & ~v.own.pieces[PAWN]);
        if (outpost[w] && safeFromPawns(v, sq) && plugsCentrePawn(v, sq)) score += OUTPOST_BEFORE_PAWN;
        units += minorRookByDistance[kingDistance(sq, v.enemy.kingSquare)];
    }
    pos.attackUnits[c] = addUnits(pos.attackUnits[c], units);

    int count = popCount(bishops);
    if (count >= 2) {
        score += BISHOP_PAIR;
    } else if (count == 1 && pos.gamePhase == 2) {
        // Own pawns fixed on the bishop's colour shut it in.
        score -= 2 * popCount(v.own.pieces[PAWN] & squaresOfColour(lowestSquare(bishops)));
    }
    if (pos.gamePhase != 2) {
        int k = v.own.kingSquare;
        Bitboard pawns = v.own.pieces[PAWN];
        bool kingside = fileOf(k) >= 5 && !(pawns & v.at(G2)) && (pawns & v.at(G3)) &&
                        kingDistance(k, whiteView(c, G2)) == 1 && (bishops & (v.at(G2) | v.at(F1) | v.at(H1)));
        bool queenside = fileOf(k) <= 2 && !(pawns & v.at(B2)) && (pawns & v.at(B3)) &&
                         kingDistance(k, whiteView(c, B2)) == 1 && (bishops & (v.at(B2) | v.at(A1) | v.at(C1)));
        if (kingside || queenside) score += FIANCHETTO;
    }
    // Bishop against knight, nothing else, pawns on both wings.
    if (v.own.pieceMaterial == 3 && count == 1 && v.enemy.pieceMaterial == 3 && v.enemy.pieces[KNIGHT] &&
        pawnsOnBothWings(pos))
        score += BISHOP_OVER_KNIGHT;
    return score;
}

// Squares strictly between two squares of one file.
Bitboard betweenOnFile(int a, int b) {
    int lo = rowOf(a) < rowOf(b) ? rowOf(a) : rowOf(b);
    int hi = rowOf(a) < rowOf(b) ? rowOf(b) : rowOf(a);
    Bitboard rows = ((Bitboard(1) << (hi * 8)) - 1) & ~((Bitboard(1) << ((lo + 1) * 8)) - 1);
    return rows & wholeFile(fileOf(a));
}

// The enemy king is on its first two ranks, or enemy pawns still stand on
// the rank: a rook or queen there bites.
bool seventhRankMatters(const SideView& v, int sq) {
    return relativeRank(v.c ^ 1, v.enemy.kingSquare) <= 2 || (v.enemy.pieces[PAWN] & rowMask(rowOf(sq)));
}

int rooksOf(EvalBoard& pos, int c) {
    SideView v(pos, c);
    Bitboard all = occupied(pos);
    Bitboard ownPawns = v.own.pieces[PAWN], enemyPawns = v.enemy.pieces[PAWN];
    uint8_t ownPassed = passedFiles(pos.pawnEntry, c);
    uint8_t enemyPassed = passedFiles(pos.pawnEntry, c ^ 1);
    int score = 0;
    int units = 0;
    for (Bitboard b = v.own.pieces[ROOK]; b; b &= b - 1) {
        int sq = lowestSquare(b);
        int f = fileOf(sq);
        Bitboard file = wholeFile(f);
        score += rookFile[f];
        if (!((ownPawns | enemyPawns) & file)) score += OPEN_FILE;
        else if (!(ownPawns & file)) score += HALF_OPEN_FILE;

        // Behind a passed pawn, own or enemy, a rook gains with every step
        // the pawn takes.
        if ((ownPassed & (1 << f)) && (ownPawns & file)) {
            int pawn = rearmost(c, ownPawns & file);
            bool behind = (bit(sq) & rowsBehind(c, pawn)) && !(all & betweenOnFile(sq, pawn));
            bool blockaded = relativeRank(c, pawn) < 8 && (v.enemy.pieces[ALL_PIECES] & bit(stepAhead(c, pawn)));
            if (behind && !blockaded) score += BEHIND_PASSER;
        }
        if ((enemyPassed & (1 << f)) && (enemyPawns & file)) {
            int pawn = frontmost(c ^ 1, enemyPawns & file);
            if ((bit(sq) & rowsBehind(c ^ 1, pawn)) && !(all & betweenOnFile(sq, pawn))) score += BEHIND_PASSER;
        }

        if (relativeRank(c, sq) == 7 && seventhRankMatters(v, sq)) {
            score += SEVENTH_RANK;
            Bitboard innerSeventh = rowMask(rowOf(sq)) & ~wholeFile(0) & ~wholeFile(7);
            if (ownPassed && relativeRank(c ^ 1, v.enemy.kingSquare) <= 2 &&
                !(v.enemy.pieces[ALL_PIECES] & innerSeventh))
                score += SEVENTH_RANK_PASSER;
            if (rankAttacks(pos, sq) & (v.own.pieces[QUEEN] | v.own.pieces[ROOK])) score += SEVENTH_RANK_DOUBLED;
        }

        int fileUnits = rookByFile[(ownPawns & file & rowsAhead(c, sq)) ? BLOCKED_FILE : fileDistance(sq, v.enemy.kingSquare)];
        int distanceUnits = minorRookByDistance[kingDistance(sq, v.enemy.kingSquare)];
        units += fileUnits > distanceUnits ? fileUnits : distanceUnits;
    }
    pos.attackUnits[c] = addUnits(pos.attackUnits[c], units);
    return score;
}

int queensOf(EvalBoard& pos, int c) {
    SideView v(pos, c);
    Bitboard ownPawns = v.own.pieces[PAWN];
    int enemyKing = v.enemy.kingSquare;
    int score = 0;
    for (Bitboard b = v.own.pieces[QUEEN]; b; b &= b - 1) {
        int sq = lowestSquare(b);
        score += queenSquare[whiteView(c, sq)];
        if (relativeRank(c, sq) == 7 && seventhRankMatters(v, sq) && (rankAttacks(pos, sq) & v.own.pieces[ROOK]))
            score += QUEEN_ON_SEVENTH;
        if (pos.kingWeakness[c ^ 1] > pos.kingWeakness[c] + 4) score += QUEEN_VS_WEAK_KING;

        int fileUnits = queenByFile[(ownPawns & wholeFile(fileOf(sq)) & rowsAhead(c, sq)) ? BLOCKED_FILE
                                                                                         : fileDistance(sq, enemyKing)];
        int distanceUnits = queenByDistance[kingDistance(sq, enemyKing)];
        int units = fileUnits > distanceUnits ? fileUnits : distanceUnits;
        // With a full pawn front between them, a queen on the far wing does
        // not join an attack.
        int f = fileOf(sq), kf = fileOf(enemyKing);
        if (v.own.pawnCount >= 5 && ((f <= 1 && kf >= 5) || (f >= 6 && kf <= 2))) units -= QUEEN_OFFSIDE_UNITS;
        pos.attackUnits[c] = addUnits(pos.attackUnits[c], units);
    }
    return score;
}

int endgameKingValue(const Board& pos, int c) {
    Bitboard pawns = pos.sides[WHITE].pieces[PAWN] | pos.sides[BLACK].pieces[PAWN];
    constexpr Bitboard queenside = 0x0F0F0F0F0F0F0F0Full;  // files a-d
    bool onQueenside = pawns & queenside, onKingside = pawns & ~queenside;
    int w = whiteView(c, pos.sides[c].kingSquare);
    if (onQueenside && onKingside) return kingEndgameBothWings[w];
    if (onKingside) return kingEndgameKingside[w];
    if (onQueenside) return kingEndgameKingside[w ^ 7];  // the same table, files reversed
    return 0;
}

int kingOnBackRank(const Board& pos, int c) {
    SideView v(pos, c);
    int k = v.own.kingSquare;
    if (relativeRank(c, k) != 1) return 0;
    int score = 0;
    Bitboard front = shiftAhead(c, bit(k) | (neighbourFiles(fileOf(k)) & rowMask(rowOf(k))));
    if ((front & v.own.pieces[PAWN]) == front) score -= NO_ESCAPE_SQUARE;
    Bitboard rooks = v.own.pieces[ROOK];
    int f = fileOf(k);
    if ((f >= 5 && (rooks & (v.at(G1) | v.at(H1)))) || (f <= 3 && (rooks & (v.at(A1) | v.at(B1) | v.at(C1)))))
        score -= ROOK_SHUT_IN;
    return score;
}

}  // namespace

int evaluateKnights(EvalBoard& pos) { return knightsOf(pos, WHITE) - knightsOf(pos, BLACK); }
int evaluateBishops(EvalBoard& pos) { return bishopsOf(pos, WHITE) - bishopsOf(pos, BLACK); }
int evaluateRooks(EvalBoard& pos) { return rooksOf(pos, WHITE) - rooksOf(pos, BLACK); }
int evaluateQueens(EvalBoard& pos) { return queensOf(pos, WHITE) - queensOf(pos, BLACK); }

int evaluateKingPlacement(const EvalBoard& pos) {
    int score = kingOnBackRank(pos, WHITE) - kingOnBackRank(pos, BLACK);
    if (pos.gamePhase == 2) score += endgameKingValue(pos, WHITE) - endgameKingValue(pos, BLACK);
    return score;
}

bool isDefended(const Board& pos, int sq) {
    int piece = pos.board[sq];
    if (piece == 0) return false;
    int c = piece > 0 ? WHITE : BLACK;
    return (attackersOf(pos, sq) & pos.sides[c].pieces[ALL_PIECES] & ~bit(sq)) != 0;
}

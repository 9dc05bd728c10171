// Passed pawns with the pieces around them, and pawn races in endings where
// the defending side has no pieces left to stop a runner.
#include "board/attacks.h"
#include "eval/eval_util.h"
#include "eval/pawns.h"

namespace {

// By the rank of the most advanced pawn on the file, from its own side.
constexpr int blockadePenalty[9] = {0, 0, 8, 12, 16, 30, 45, 60, 0};
constexpr int kingSupportBonus[9] = {0, 0, 0, 0, 0, 12, 60, 100, 0};
constexpr int connectedBonus[9] = {0, 0, 0, 0, 12, 24, 48, 100, 0};

constexpr int RACE_WIN = 600;
constexpr int NEVER = 1000;

// Opponent material above which two far-advanced connected passers are just
// strong, not decisive.
constexpr int ROOK_AND_MINOR_MATERIAL = 8;
constexpr int ROOK_MATERIAL = 5;

inline int promotionSquare(int c, int sq) { return c == WHITE ? fileOf(sq) : 56 + fileOf(sq); }

// Moves the pawn needs to promote when nothing is in its way (a pawn on its
// second rank can step two squares at once).
inline int movesToPromote(int c, int sq) {
    int rank = relativeRank(c, sq);
    return 8 - rank - (rank == 2);
}

// The rule of the square: can the king on k stop a pawn that needs `moves`
// moves, with or without the move?
inline bool kingCatches(int k, int promotion, int moves, bool kingToMove) {
    return kingDistance(k, promotion) <= moves + (kingToMove ? 1 : 0);
}

int passedPawnsOf(const Board& pos, int c, uint8_t files) {
    const SideRecord& own = pos.sides[c];
    const SideRecord& enemy = pos.sides[c ^ 1];
    int score = 0;
    int front[8];
    for (int f = 0; f < 8; ++f) {
        front[f] = -1;
        Bitboard pawns = own.pieces[PAWN] & wholeFile(f);
        if (!(files & (1 << f)) || !pawns) continue;
        int sq = frontmost(c, pawns);
        front[f] = sq;
        int rank = relativeRank(c, sq);
        if (rank < 8 && (enemy.pieces[ALL_PIECES] & bit(stepAhead(c, sq)))) score -= blockadePenalty[rank];
        int k = own.kingSquare;
        if (fileDistance(k, sq) == 1 && relativeRank(c, k) >= rank) score += kingSupportBonus[rank];
    }
    bool enemyToMove = pos.sideToMove != c;
    for (int f = 0; f < 7; ++f) {
        int a = front[f], b = front[f + 1];
        if (a < 0 || b < 0) continue;
        int ra = relativeRank(c, a), rb = relativeRank(c, b);
        score += connectedBonus[ra > rb ? ra : rb];
        if (ra < 6 || rb < 6) continue;
        // Two connected passers on the sixth: a rook cannot hold them.
        Bitboard inFront = shiftAhead(c, bit(a) | bit(b));
        int k = enemy.kingSquare;
        if (enemy.pieceMaterial > ROOK_AND_MINOR_MATERIAL || (enemy.pieces[ALL_PIECES] & inFront)) score += 25;
        else if (enemy.pieceMaterial > ROOK_MATERIAL) score += 125;
        else if (!kingCatches(k, promotionSquare(c, a), movesToPromote(c, a), enemyToMove) &&
                 !kingCatches(k, promotionSquare(c, b), movesToPromote(c, b), enemyToMove))
            score += 425;
        else score += 125;
    }
    return score;
}

// c has the opposition: the kings face each other on a file with an odd
// number of squares between them, and the opponent must give way.
bool hasOpposition(const Board& pos, int c) {
    int k = pos.sides[c].kingSquare, e = pos.sides[c ^ 1].kingSquare;
    int rows = rowOf(k) > rowOf(e) ? rowOf(k) - rowOf(e) : rowOf(e) - rowOf(k);
    return pos.sideToMove != c && fileOf(k) == fileOf(e) && rows % 2 == 0 && rows > 0;
}

// King and pawns against a bare king: does c's king control the key squares
// of its rearmost pawn?
int loneSideWins(const Board& pos, int c) {
    Bitboard pawns = pos.sides[c].pieces[PAWN];
    int p = rearmost(c, pawns);
    int k = pos.sides[c].kingSquare, e = pos.sides[c ^ 1].kingSquare;
    int kingRank = relativeRank(c, k), pawnRank = relativeRank(c, p);
    if (kingRank <= pawnRank) return 0;
    int f = fileOf(p);
    if (f == 0 || f == 7) {
        // A rook pawn wins only when the king shuts the defender out of the
        // corner from the knight file.
        int corner = promotionSquare(c, p);
        bool knightFile = fileOf(k) == (f == 0 ? 1 : 6);
        return knightFile && kingDistance(k, corner) < kingDistance(e, corner) ? RACE_WIN : 0;
    }
    if (fileDistance(k, p) > 1 || kingDistance(k, p) >= kingDistance(e, p)) return 0;
    int ahead = kingRank - pawnRank;
    if (ahead >= 2 || kingRank == 6) return RACE_WIN;
    return hasOpposition(pos, c) ? RACE_WIN : 0;
}

// The fewest moves one of c's passers needs to promote when the enemy king
// cannot catch it; NEVER when none runs. `square` receives its promotion
// square.
int fastestRunner(const EvalBoard& pos, int c, int& square) {
    uint8_t files = passedFiles(pos.pawnEntry, c);
    const SideRecord& own = pos.sides[c];
    int enemyKing = pos.sides[c ^ 1].kingSquare;
    bool enemyToMove = pos.sideToMove != c;
    int best = NEVER;
    for (int f = 0; f < 8; ++f) {
        Bitboard pawns = own.pieces[PAWN] & wholeFile(f);
        if (!(files & (1 << f)) || !pawns) continue;
        int sq = frontmost(c, pawns);
        int moves = movesToPromote(c, sq);
        if (bit(own.kingSquare) & wholeFile(f) & rowsAhead(c, sq)) {
            // Its own king must step aside first; in front of a rook pawn it
            // may never get out of the way.
            if (f == 0 || f == 7) continue;
            ++moves;
        }
        int promotion = promotionSquare(c, sq);
        if (kingCatches(enemyKing, promotion, moves, enemyToMove)) continue;
        if (moves < best) {
            best = moves;
            square = promotion;
        }
    }
    return best;
}

// Does a new queen of c on q stop the other side's promotion on target, or
// gain the tempo of a check?
bool newQueenPrevails(const Board& pos, int c, int q, int target) {
    Bitboard reach = bishopAttacks(pos, q) | rookAttacks(pos, q);
    return (reach & bit(target)) || (reach & bit(pos.sides[c ^ 1].kingSquare));
}

int race(const EvalBoard& pos) {
    int square[2] = {-1, -1};
    int moves[2] = {NEVER, NEVER};
    for (int c = WHITE; c <= BLACK; ++c)
        if (pos.sides[c ^ 1].pieceMaterial == 0) moves[c] = fastestRunner(pos, c, square[c]);
    if (moves[WHITE] == NEVER && moves[BLACK] == NEVER) return 0;
    // Count in plies: the side to move makes its n-th move at ply 2n - 1,
    // the other side at ply 2n.
    int ply[2];
    for (int c = WHITE; c <= BLACK; ++c) ply[c] = 2 * moves[c] - (pos.sideToMove == c);
    int first = ply[WHITE] < ply[BLACK] ? WHITE : BLACK;
    int second = first ^ 1;
    int value = RACE_WIN + 10 * (5 - moves[first]);
    if (moves[second] == NEVER || ply[second] - ply[first] >= 3) return sideSign(first) * value;
    // The second queen appears right after the first: the first one decides
    // only if it covers the other's promotion square or checks.
    return newQueenPrevails(pos, first, square[first], square[second]) ? sideSign(first) * value : 0;
}

}  // namespace

int evaluatePassedPawns(const EvalBoard& pos) {
    return passedPawnsOf(pos, WHITE, passedFiles(pos.pawnEntry, WHITE)) -
           passedPawnsOf(pos, BLACK, passedFiles(pos.pawnEntry, BLACK));
}

int evaluatePawnRace(const EvalBoard& pos) {
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    if (w.pieceMaterial == 0 && b.pieceMaterial == 0) {
        if (b.pawnCount == 0 && w.pawnCount > 0) {
            if (int v = loneSideWins(pos, WHITE)) return v;
        } else if (w.pawnCount == 0 && b.pawnCount > 0) {
            if (int v = loneSideWins(pos, BLACK)) return -v;
        }
    }
    return race(pos);
}

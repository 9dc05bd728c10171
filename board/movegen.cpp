// The move generators, the pin test, perft and the legal-move test.
//
// Pieces of one kind, and the targets of each piece, are visited lowest
// square first for White and highest first for Black, so White's lists
// start with pieces near rank 8 and Black's with pieces near rank 1. The
// move picker sorts stably, so this order decides between equal keys.
#include "board/movegen.h"

#include <bit>
#include <initializer_list>

#include "board/attacks.h"
#include "board/makemove.h"

namespace {

constexpr Bitboard ROW_0 = 0xFFull;                 // rank 8
constexpr Bitboard ROW_7 = 0xFFull << 56;           // rank 1

template <int Us>
constexpr Bitboard promotionRow = Us == WHITE ? ROW_0 : ROW_7;

template <int Us>
inline int nextSquare(Bitboard& b) {
    if constexpr (Us == WHITE) {
        int sq = std::countr_zero(b);
        b &= b - 1;
        return sq;
    } else {
        int sq = 63 - std::countl_zero(b);
        b ^= 1ull << sq;
        return sq;
    }
}


template <int Type>
inline Bitboard attacksFrom(const Board& pos, int sq) {
    if constexpr (Type == KNIGHT) return knightAttacks[sq];
    if constexpr (Type == BISHOP) return bishopAttacks(pos, sq);
    if constexpr (Type == ROOK) return rookAttacks(pos, sq);
    if constexpr (Type == QUEEN) return bishopAttacks(pos, sq) | rookAttacks(pos, sq);
    if constexpr (Type == KING) return kingAttacks[sq];
    return 0;
}

// Push targets of a pawn through the blocking-state table: the square in
// front occupied makes state 3, the square two ahead occupied (start row
// only) adds 4. A pawn on its last row has no pushes.
template <int Us>
inline Bitboard pawnPushes(Bitboard occ, int from) {
    constexpr int step = Us == WHITE ? -8 : 8;
    constexpr int startRow = Us == WHITE ? 6 : 1;
    if (Us == WHITE ? from < 8 : from > 55) return 0;
    int state = (occ >> (from + step)) & 1 ? 3 : 1;
    if (rowOf(from) == startRow && ((occ >> (from + 2 * step)) & 1)) state |= 4;
    return pawnPush[Us][from][state];
}

inline Move* emit(Move* out, int from, int to, int type, int captured) {
    *out++ = encodeMove(from, to, type, captured);
    return out;
}

// Queen first: the pick-up order the move ordering expects.
inline Move* emitPromotions(Move* out, int from, int to, int captured) {
    for (int promotion : {QUEEN, ROOK, BISHOP, KNIGHT}) *out++ = encodeMove(from, to, PAWN, captured, promotion);
    return out;
}

// Every move of each piece of one kind onto `allowed` squares; pinned
// pieces left out if asked.
template <int Us, int Type, bool SkipPinned = false>
inline Move* pieceMoves(const Board& pos, Move* out, Bitboard allowed) {
    for (Bitboard pieces = pos.sides[Us].pieces[Type]; pieces;) {
        int from = nextSquare<Us>(pieces);
        if (SkipPinned && isPinned(pos, from)) continue;
        for (Bitboard targets = attacksFrom<Type>(pos, from) & allowed; targets;) {
            int to = nextSquare<Us>(targets);
            out = emit(out, from, to, Type, pieceTypeOn(pos, to));
        }
    }
    return out;
}

// King steps onto `allowed` squares the opponent does not attack, judged
// with the king still standing where it is.
template <int Us>
inline Move* kingMoves(const Board& pos, Move* out, Bitboard allowed) {
    const int from = pos.sides[Us].kingSquare;
    for (Bitboard targets = kingAttacks[from] & allowed; targets;) {
        int to = nextSquare<Us>(targets);
        if (!isSquareAttacked(pos, to, Us ^ 1)) out = emit(out, from, to, KING, pieceTypeOn(pos, to));
    }
    return out;
}

// Pawn moves onto the targets that `targetsOf` gives for each pawn, in
// scan order of the targets; moves onto the last row become promotions and
// a move onto the en-passant square takes the pawn beside.
template <int Us, typename Targets>
inline Move* pawnMoves(const Board& pos, Move* out, Targets targetsOf) {
    const Bitboard epMask = pos.epSquare ? squareMask[pos.epSquare] : 0;
    for (Bitboard pawns = pos.sides[Us].pieces[PAWN]; pawns;) {
        int from = nextSquare<Us>(pawns);
        for (Bitboard targets = targetsOf(from, epMask); targets;) {
            int to = nextSquare<Us>(targets);
            if (squareMask[to] & promotionRow<Us>)
                out = emitPromotions(out, from, to, pieceTypeOn(pos, to));
            else if (squareMask[to] & epMask)
                *out++ = encodeMove(from, to, PAWN, PAWN) | EN_PASSANT_FLAG;
            else
                out = emit(out, from, to, PAWN, pieceTypeOn(pos, to));
        }
    }
    return out;
}

// The king may not castle out of, through or into check. The king's
// destination is judged as it will be: where the castling rook shields it
// (Chess960 only), with the rook gone.
template <int Us>
inline bool castlingAllowed(const Board& pos, const CastlingRule& rule) {
    const int sign = Us == WHITE ? 1 : -1;
    const Bitboard occ = occupied(pos);
    if (!(pos.castling & rule.right) || (occ & rule.mustBeEmpty)) return false;
    if (pos.board[rule.rookFrom] != sign * ROOK || pos.board[rule.kingFrom] != sign * KING) return false;
    for (Bitboard path = rule.kingPath; path; path &= path - 1)
        if (isSquareAttacked(pos, lowestSquare(path), Us ^ 1)) return false;
    if (rule.rookShieldsKing) {
        const SideRecord& enemy = pos.sides[Us ^ 1];
        const Bitboard without = occ ^ squareMask[rule.rookFrom];
        const Bitboard rank = rankAttackTable[rule.kingTo][(without >> (rule.kingTo & ~7)) & 0xFF];
        if (rank & (enemy.pieces[ROOK] | enemy.pieces[QUEEN])) return false;
    }
    return true;
}

template <int Us>
inline Move* castlingMoves(const Board& pos, Move* out) {
    for (const CastlingRule& rule : pos.castlingSetup.rules[Us])
        if (castlingAllowed<Us>(pos, rule)) *out++ = rule.move;
    return out;
}

template <int Us>
Move* allMoves(const Board& pos, Move* out) {
    const Bitboard own = pos.sides[Us].pieces[ALL_PIECES];
    const Bitboard enemy = pos.sides[Us ^ 1].pieces[ALL_PIECES];
    const Bitboard occ = own | enemy;
    out = castlingMoves<Us>(pos, out);
    out = pieceMoves<Us, KNIGHT>(pos, out, ~own);
    out = pieceMoves<Us, BISHOP>(pos, out, ~own);
    out = pieceMoves<Us, ROOK>(pos, out, ~own);
    out = pieceMoves<Us, QUEEN>(pos, out, ~own);
    out = kingMoves<Us>(pos, out, ~own);
    return pawnMoves<Us>(pos, out, [&](int from, Bitboard epMask) {
        return pawnPushes<Us>(occ, from) | (pawnCaptures[Us][from] & (enemy | epMask));
    });
}

template <int Us>
Move* captureMoves(const Board& pos, Move* out) {
    const Bitboard enemy = pos.sides[Us ^ 1].pieces[ALL_PIECES];
    const Bitboard occ = occupied(pos);
    out = pieceMoves<Us, KNIGHT>(pos, out, enemy);
    out = pieceMoves<Us, BISHOP>(pos, out, enemy);
    out = pieceMoves<Us, ROOK>(pos, out, enemy);
    out = pieceMoves<Us, QUEEN>(pos, out, enemy);
    out = kingMoves<Us>(pos, out, enemy);
    return pawnMoves<Us>(pos, out, [&](int from, Bitboard epMask) {
        return (pawnPushes<Us>(occ, from) & promotionRow<Us>) | (pawnCaptures[Us][from] & (enemy | epMask));
    });
}

template <int Us>
Move* quietMoves(const Board& pos, Move* out) {
    const Bitboard occ = occupied(pos);
    const Bitboard empty = ~occ;
    out = castlingMoves<Us>(pos, out);
    out = pieceMoves<Us, KNIGHT>(pos, out, empty);
    out = pieceMoves<Us, BISHOP>(pos, out, empty);
    out = pieceMoves<Us, ROOK>(pos, out, empty);
    out = pieceMoves<Us, QUEEN>(pos, out, empty);
    out = kingMoves<Us>(pos, out, empty);
    return pawnMoves<Us>(pos, out, [&](int from, Bitboard) { return pawnPushes<Us>(occ, from) & ~promotionRow<Us>; });
}

// Occupancy sets of a position with some squares changed, for looking up
// sliding attacks in a position that is not on the board.
struct Occupancy {
    Bitboard plain, fileMajor, a1h8, a8h1;

    explicit Occupancy(const Board& pos)
        : plain(occupied(pos)), fileMajor(pos.occFileMajor), a1h8(pos.occA1H8), a8h1(pos.occA8H1) {}
    void toggle(int sq) {
        plain ^= squareMask[sq];
        fileMajor ^= rotatedBits[sq].fileMajor;
        a1h8 ^= rotatedBits[sq].a1h8;
        a8h1 ^= rotatedBits[sq].a8h1;
    }
    Bitboard rook(int sq) const {
        return rankAttackTable[sq][(plain >> (sq & ~7)) & 0xFF] | fileAttackTable[sq][(fileMajor >> (fileOf(sq) * 8)) & 0xFF];
    }
    Bitboard bishop(int sq) const {
        return a1h8AttackTable[sq][(a1h8 >> a1h8Shift[sq]) & a1h8LineMask[sq]] |
               a8h1AttackTable[sq][(a8h1 >> a8h1Shift[sq]) & a8h1LineMask[sq]];
    }
};

// En passant empties two squares of one rank at once, which the pin test
// cannot see (a king on that rank with an enemy rook beyond both pawns), and
// it removes a pawn that may have blocked a diagonal. Judge the position
// after the capture directly.
bool enPassantExposesKing(const Board& pos, int from, int to) {
    const int us = pos.sideToMove, them = us ^ 1;
    const int victim = us == WHITE ? to + 8 : to - 8;
    Occupancy after(pos);
    after.toggle(from);
    after.toggle(victim);
    after.toggle(to);
    const SideRecord& enemy = pos.sides[them];
    const int king = pos.sides[us].kingSquare;
    if (after.rook(king) & (enemy.pieces[ROOK] | enemy.pieces[QUEEN])) return true;
    if (after.bishop(king) & (enemy.pieces[BISHOP] | enemy.pieces[QUEEN])) return true;
    if (enemy.pieces[KNIGHT] & knightAttacks[king]) return true;
    return (enemy.pieces[PAWN] & ~squareMask[victim]) & pawnCaptures[us][king];
}

template <int Us>
Move* evasionMoves(const Board& pos, Move* out) {
    constexpr int them = Us ^ 1;
    const SideRecord& mine = pos.sides[Us];
    const int king = mine.kingSquare;
    const Bitboard own = mine.pieces[ALL_PIECES];
    const Bitboard enemy = pos.sides[them].pieces[ALL_PIECES];
    const Bitboard checkers = attackersOf(pos, king) & enemy;
    if (!checkers) return allMoves<Us>(pos, out);  // not in check: nothing to evade

    // The lines along which sliders check: the king may not step further
    // along them, as the square it leaves no longer shields the next one.
    Bitboard rest = checkers;
    const int checker = nextSquare<Us>(rest);
    const int line1 = pieceTypeOn(pos, checker) == PAWN ? 0 : direction[checker][king];
    int line2 = 0;
    if (rest) {
        int second = nextSquare<Us>(rest);
        line2 = pieceTypeOn(pos, second) == PAWN ? 0 : direction[second][king];
    }

    for (Bitboard targets = kingAttacks[king] & ~own; targets;) {
        int to = nextSquare<Us>(targets);
        int step = direction[king][to];
        if (step != line1 && step != line2 && !isSquareAttacked(pos, to, them))
            out = emit(out, king, to, KING, pieceTypeOn(pos, to));
    }
    if (std::popcount(checkers) > 1) return out;  // double check: only the king can move

    // Otherwise capture the checker or block its line. A pinned piece can do
    // neither without exposing the king.
    const Bitboard block = squaresBetween(line1, king, checker) | checkers | squareMask[pos.sides[them].kingSquare];
    out = pieceMoves<Us, KNIGHT, true>(pos, out, block);
    out = pieceMoves<Us, BISHOP, true>(pos, out, block);
    out = pieceMoves<Us, ROOK, true>(pos, out, block);
    out = pieceMoves<Us, QUEEN, true>(pos, out, block);

    // Pawns: double pushes, single pushes, then captures, each by target.
    constexpr int forward = Us == WHITE ? -8 : 8;
    const Bitboard pawns = mine.pieces[PAWN];
    const Bitboard pushers = pawns & ~(ROW_0 | ROW_7);  // as the push table: none from the edge rows
    const Bitboard empty = ~(own | enemy);
    const Bitboard blockEmpty = block & empty;
    auto ahead = [](Bitboard b) { return Us == WHITE ? b >> 8 : b << 8; };
    const Bitboard thirdRow = Us == WHITE ? rankMask[5] : rankMask[2];
    const Bitboard singles = ahead(pushers) & empty;
    for (Bitboard targets = ahead(singles & thirdRow) & blockEmpty; targets;) {
        int to = nextSquare<Us>(targets);
        int from = to - 2 * forward;
        if (!isPinned(pos, from)) out = emit(out, from, to, PAWN, 0);
    }
    for (Bitboard targets = singles & blockEmpty; targets;) {
        int to = nextSquare<Us>(targets);
        int from = to - forward;
        if (isPinned(pos, from)) continue;
        if (squareMask[to] & promotionRow<Us>)
            out = emitPromotions(out, from, to, 0);
        else
            out = emit(out, from, to, PAWN, 0);
    }
    // En passant only helps when the pawn that just made its double step is
    // the checker.
    const int epVictim = Us == WHITE ? pos.epSquare + 8 : pos.epSquare - 8;
    const bool epHelps = pos.epSquare && checker == epVictim;
    for (Bitboard targets = block & enemy; targets;) {
        int to = nextSquare<Us>(targets);
        for (Bitboard attackers = pawns & pawnCaptures[them][to]; attackers;) {
            int from = nextSquare<Us>(attackers);
            if (isPinned(pos, from)) continue;
            if (squareMask[to] & promotionRow<Us>)
                out = emitPromotions(out, from, to, pieceTypeOn(pos, to));
            else
                out = emit(out, from, to, PAWN, pieceTypeOn(pos, to));
        }
    }
    if (epHelps) {
        for (Bitboard attackers = pawns & pawnCaptures[them][pos.epSquare]; attackers;) {
            int from = nextSquare<Us>(attackers);
            if (!isPinned(pos, from) && !enPassantExposesKing(pos, from, pos.epSquare))
                *out++ = encodeMove(from, pos.epSquare, PAWN, PAWN) | EN_PASSANT_FLAG;
        }
    }
    return out;
}

// The first piece from `from` along ray d, or -1.
inline int firstOnRay(Bitboard occ, int d, int from) {
    Bitboard hit = rayMask[d][from] & occ;
    if (!hit) return -1;
    return directionSteps[d] > 0 ? std::countr_zero(hit) : 63 - std::countl_zero(hit);
}

template <int Us>
Move* checkingMoves(const Board& pos, Move* out) {
    constexpr int them = Us ^ 1;
    const SideRecord& mine = pos.sides[Us];
    const int enemyKing = pos.sides[them].kingSquare;
    const Bitboard occ = occupied(pos);
    const Bitboard empty = ~occ;

    // 1. Castling whose rook lands on a line to the enemy king.
    // The rook's rank is seen as it is after castling: king and rook have
    // left their squares and stand on their new ones. (Its file does not
    // change, apart from the rook's own square.)
    for (const CastlingRule& rule : pos.castlingSetup.rules[Us]) {
        if (!castlingAllowed<Us>(pos, rule)) continue;
        const Bitboard after = (occ & ~(squareMask[rule.kingFrom] | squareMask[rule.rookFrom])) |
                               squareMask[rule.kingTo] | squareMask[rule.rookTo];
        const Bitboard rank = rankAttackTable[rule.rookTo][(after >> (rule.rookTo & ~7)) & 0xFF];
        if ((rank | fileAttacks(pos, rule.rookTo)) & squareMask[enemyKing]) *out++ = rule.move;
    }

    // 2. Pawn pushes onto the squares from which a pawn attacks the king.
    const Bitboard pawnChecks = pawnCaptures[them][enemyKing] & ~promotionRow<Us>;
    for (Bitboard pawns = mine.pieces[PAWN]; pawns;) {
        int from = nextSquare<Us>(pawns);
        for (Bitboard targets = pawnPushes<Us>(occ, from) & pawnChecks; targets;) {
            int to = nextSquare<Us>(targets);
            out = emit(out, from, to, PAWN, 0);
        }
    }

    // 3. Pieces moving onto a square from which they attack the king.
    const Bitboard bishopChecks = bishopAttacks(pos, enemyKing);
    const Bitboard rookChecks = rookAttacks(pos, enemyKing);
    const Bitboard knightChecks = knightAttacks[enemyKing];
    out = pieceMoves<Us, QUEEN>(pos, out, empty & (bishopChecks | rookChecks));
    out = pieceMoves<Us, ROOK>(pos, out, empty & rookChecks);
    out = pieceMoves<Us, BISHOP>(pos, out, empty & bishopChecks);
    out = pieceMoves<Us, KNIGHT>(pos, out, empty & knightChecks);

    // 4. Discovered checks: an own piece that is the first on a line from
    // the enemy king, with an own slider of the line's kind right behind it.
    Bitboard diagonalBlockers = 0, straightBlockers = 0;
    for (int d = 0; d < 8; d++) {
        int blocker = firstOnRay(occ, d, enemyKing);
        if (blocker < 0 || !(mine.pieces[ALL_PIECES] & squareMask[blocker])) continue;
        int behind = firstOnRay(occ, d, blocker);
        if (behind < 0) continue;
        const bool diagonal = d >= 4;
        Bitboard sliders = mine.pieces[QUEEN] | mine.pieces[diagonal ? BISHOP : ROOK];
        if (sliders & squareMask[behind]) (diagonal ? diagonalBlockers : straightBlockers) |= squareMask[blocker];
    }
    auto discoveries = [&](Bitboard blockers, int otherSlider, Bitboard otherSliderChecks, Bitboard pawnRows, Move* o) {
        for (Bitboard knights = blockers & mine.pieces[KNIGHT]; knights;) {
            int from = nextSquare<Us>(knights);
            for (Bitboard targets = knightAttacks[from] & empty & ~knightChecks; targets;)
                o = emit(o, from, nextSquare<Us>(targets), KNIGHT, 0);
        }
        // A rook leaving a diagonal, or a bishop leaving a rank or file.
        for (Bitboard sliders = blockers & mine.pieces[otherSlider]; sliders;) {
            int from = nextSquare<Us>(sliders);
            Bitboard reach = otherSlider == ROOK ? rookAttacks(pos, from) : bishopAttacks(pos, from);
            for (Bitboard targets = reach & empty & ~otherSliderChecks; targets;)
                o = emit(o, from, nextSquare<Us>(targets), otherSlider, 0);
        }
        if (blockers & mine.pieces[KING]) {
            const int from = mine.kingSquare;
            const int line = direction[enemyKing][from];
            for (Bitboard targets = kingAttacks[from] & empty & ~kingAttacks[enemyKing]; targets;) {
                int to = nextSquare<Us>(targets);
                if (direction[enemyKing][to] != line) o = emit(o, from, to, KING, 0);
            }
        }
        for (Bitboard pawns = blockers & mine.pieces[PAWN] & pawnRows; pawns;) {
            int from = nextSquare<Us>(pawns);
            for (Bitboard targets = pawnPushes<Us>(occ, from) & ~(ROW_0 | ROW_7) & ~pawnChecks; targets;)
                o = emit(o, from, nextSquare<Us>(targets), PAWN, 0);
        }
        return o;
    };
    out = discoveries(diagonalBlockers, ROOK, rookChecks, ~0ull, out);
    // A pawn push only leaves a rank, never a file.
    return discoveries(straightBlockers, BISHOP, bishopChecks, rankMask[rowOf(enemyKing)], out);
}

}  // namespace

Move* generateAllMoves(const Board& pos, Move* out) {
    return pos.sideToMove == WHITE ? allMoves<WHITE>(pos, out) : allMoves<BLACK>(pos, out);
}

Move* generateCaptures(const Board& pos, Move* out) {
    return pos.sideToMove == WHITE ? captureMoves<WHITE>(pos, out) : captureMoves<BLACK>(pos, out);
}

Move* generateQuiets(const Board& pos, Move* out) {
    return pos.sideToMove == WHITE ? quietMoves<WHITE>(pos, out) : quietMoves<BLACK>(pos, out);
}

Move* generateEvasions(const Board& pos, Move* out) {
    return pos.sideToMove == WHITE ? evasionMoves<WHITE>(pos, out) : evasionMoves<BLACK>(pos, out);
}

Move* generateChecks(const Board& pos, Move* out) {
    return pos.sideToMove == WHITE ? checkingMoves<WHITE>(pos, out) : checkingMoves<BLACK>(pos, out);
}

bool castlingIsPossible(const Board& pos, Move m) {
    if (!isCastling(m)) return false;
    const int us = pos.sideToMove;
    const CastlingRule& rule = pos.castlingSetup.rules[us][castlingSide(m)];
    if (rule.move != m) return false;
    return us == WHITE ? castlingAllowed<WHITE>(pos, rule) : castlingAllowed<BLACK>(pos, rule);
}

bool isPinned(const Board& pos, int sq) {
    const int king = pos.sides[pos.sideToMove].kingSquare;
    const int step = direction[sq][king];
    if (step == 0) return false;
    const SideRecord& enemy = pos.sides[pos.sideToMove ^ 1];
    Bitboard line, sliders;
    if (step == 1 || step == -1) {
        line = rankAttacks(pos, sq);
        sliders = enemy.pieces[ROOK] | enemy.pieces[QUEEN];
    } else if (step == 8 || step == -8) {
        line = fileAttacks(pos, sq);
        sliders = enemy.pieces[ROOK] | enemy.pieces[QUEEN];
    } else if (step == 7 || step == -7) {
        line = a1h8Attacks(pos, sq);
        sliders = enemy.pieces[BISHOP] | enemy.pieces[QUEEN];
    } else {
        line = a8h1Attacks(pos, sq);
        sliders = enemy.pieces[BISHOP] | enemy.pieces[QUEEN];
    }
    // Seen from sq, the king on one side and the slider on the other.
    return (line & squareMask[king]) && (line & sliders);
}

namespace {

uint32_t countLeaves(Board& pos, int depth) {
    Move moves[MAX_MOVES];
    const int us = pos.sideToMove;
    const bool inCheck = isSquareAttacked(pos, pos.sides[us].kingSquare, us ^ 1);
    Move* end = inCheck ? generateEvasions(pos, moves) : generateAllMoves(pos, moves);
    // Evasions are all legal: at the last ply they need not be made.
    if (depth == 1 && inCheck) return uint32_t(end - moves);
    uint32_t count = 0;
    for (Move* m = moves; m < end; m++) {
        if (!makeMove(pos, *m, false)) continue;
        count += depth == 1 ? 1 : countLeaves(pos, depth - 1);
        unmakeMove(pos);
    }
    return count;
}

}  // namespace

uint32_t perft(Board& pos, int depth) {
    if (depth < 1) return 1;  // the empty sequence
    // Every ply makes one move into the history, which holds only so many.
    if (pos.historyCount + uint32_t(depth) > HISTORY_SIZE - 1) return 0;
    return countLeaves(pos, depth);
}

bool isLegalMove(Move m, Board& pos) {
    if (m == 0 || pos.historyCount > HISTORY_SIZE - 2) return false;
    Move moves[MAX_MOVES];
    const int us = pos.sideToMove;
    const bool inCheck = isSquareAttacked(pos, pos.sides[us].kingSquare, us ^ 1);
    Move* end = inCheck ? generateEvasions(pos, moves) : generateAllMoves(pos, moves);
    for (Move* candidate = moves; candidate < end; candidate++) {
        if (*candidate != m) continue;
        const bool legal = makeMove(pos, m, false);
        if (legal) unmakeMove(pos);
        return legal;
    }
    return false;
}

// Moves and take-backs on the generator's board: every legal move of a
// side, made on the board for a visitor and taken back; the quiet king and
// piece moves alone, counted or visited; and the squares a man may have
// come from in the position before.
#pragma once

#include "egtb/table_board.h"

struct TableMove {
    int man;
    int from, to;
    int captured;   // man, or NO_MAN
    int promotion;  // piece type, or 0
    bool pawnMove;
    bool doublePush;
};

// Plays every legal move of `side` on the board, calling f(move) with the
// move made, and takes it back. `ep` is a square a pawn may take on in
// passing (-1 for none). With ExitsOnly the quiet king and piece moves are
// left out: those that only need counting are counted by quietMoves().
template <bool ExitsOnly = false, class F>
void forEachMove(TableBoard& b, int side, int ep, F&& f) {
    const int pawnStep = side == WHITE ? -8 : 8;
    const int startRow = side == WHITE ? 6 : 1;
    const int lastRow = side == WHITE ? 0 : 7;
    // Out of check, a move of a man that is not pinned cannot expose the
    // king; only king moves, pinned men and captures in passing are tried.
    const bool checked = b.inCheck(side);
    const Bitboard pinned = checked ? 0 : b.pinned(side);
    auto play = [&](int m, int to, int captured, int promotion, bool doublePush) {
        const int from = b.sq[m];
        const int capturedSq = captured >= 0 ? b.sq[captured] : -1;
        const int type = b.type[m];
        const Bitboard occ = b.occ, own = b.byColour[side], theirs = b.byColour[side ^ 1];
        if (captured >= 0) {
            b.sq[captured] = -1;
            b.byColour[side ^ 1] ^= squareBit(capturedSq);
            b.occ ^= squareBit(capturedSq);
        }
        b.sq[m] = to;
        b.occ ^= squareBit(from) | squareBit(to);
        b.byColour[side] ^= squareBit(from) | squareBit(to);
        if (promotion) b.type[m] = int8_t(promotion);
        const bool safe = !checked && type != KING && !(pinned & squareBit(from)) && !(type == PAWN && to == ep);
        if (safe || !b.inCheck(side)) f(TableMove{m, from, to, captured, promotion, type == PAWN, doublePush});
        b.type[m] = int8_t(type);
        b.sq[m] = from;
        if (captured >= 0) b.sq[captured] = capturedSq;
        b.occ = occ;
        b.byColour[side] = own;
        b.byColour[side ^ 1] = theirs;
    };
    auto manOn = [&](int square) {
        for (int m = 0; m < b.men; m++)
            if (b.sq[m] == square) return m;
        return NO_MAN;
    };
    for (int m = 0; m < b.men; m++) {
        if (b.colour[m] != side || b.sq[m] < 0) continue;
        const int from = b.sq[m];
        if (b.type[m] == PAWN) {
            auto pawnTo = [&](int to, int captured, bool doublePush) {
                if (rowOf(to) == lastRow)
                    for (int promotion = QUEEN; promotion >= KNIGHT; promotion--) play(m, to, captured, promotion, false);
                else play(m, to, captured, 0, doublePush);
            };
            const int one = from + pawnStep;
            if (!(b.occ & squareBit(one))) {
                pawnTo(one, NO_MAN, false);
                if (rowOf(from) == startRow && !(b.occ & squareBit(one + pawnStep))) pawnTo(one + pawnStep, NO_MAN, true);
            }
            Bitboard captures = pawnCaptures[side][from] & b.byColour[side ^ 1];
            while (captures) {
                int to = lowestSquare(captures);
                captures &= captures - 1;
                pawnTo(to, manOn(to), false);
            }
            if (ep >= 0 && (pawnCaptures[side][from] & squareBit(ep))) play(m, ep, manOn(ep - pawnStep), 0, false);
            continue;
        }
        Bitboard targets = manTargets(b.type[m], from, b.occ) & ~b.byColour[side];
        if (ExitsOnly) targets &= b.byColour[side ^ 1];
        while (targets) {
            int to = lowestSquare(targets);
            targets &= targets - 1;
            play(m, to, (b.occ & squareBit(to)) ? manOn(to) : NO_MAN, 0, false);
        }
    }
}

// The legal quiet moves of the king and pieces of `side`: counted, or with
// `visit` set, also visited with the move made on the board: each(man, from).
template <class F>
int quietMoves(TableBoard& b, int side, F&& each, bool visit) {
    const bool checked = b.inCheck(side);
    const Bitboard pinned = checked ? 0 : b.pinned(side);
    int count = 0;
    for (int m = 0; m < b.men; m++) {
        if (b.colour[m] != side || b.sq[m] < 0 || b.type[m] == PAWN) continue;
        const int from = b.sq[m];
        Bitboard targets = manTargets(b.type[m], from, b.occ) & ~b.occ;
        const bool safe = !checked && b.type[m] != KING && !(pinned & squareBit(from));
        if (safe && !visit) {
            count += popCount(targets);
            continue;
        }
        while (targets) {
            const int to = lowestSquare(targets);
            targets &= targets - 1;
            b.sq[m] = to;
            b.occ ^= squareBit(from) | squareBit(to);
            b.byColour[side] ^= squareBit(from) | squareBit(to);
            if (safe || !b.inCheck(side)) {
                count++;
                if (visit) each(m, from);
            }
            b.sq[m] = from;
            b.occ ^= squareBit(from) | squareBit(to);
            b.byColour[side] ^= squareBit(from) | squareBit(to);
        }
    }
    return count;
}

// The squares a man of the side that moved last may have come from
// without leaving the other king attacked in the position before: not a
// square from which it attacks that king itself, on the line of any man
// that would then give check, and nowhere at all when a knight, pawn or
// king of that side gives check now. `targets` are the empty squares the
// man reaches from where it stands.
inline Bitboard legalOrigins(const TableBoard& b, int m, int kingSquare, Bitboard targets) {
    const Bitboard occ = b.occ ^ squareBit(b.sq[m]);
    targets &= ~(b.type[m] == KING ? kingAttacks[kingSquare] : manTargets(b.type[m], kingSquare, occ));
    for (int c = 0; c < b.men && targets; c++) {
        if (c == m || b.colour[c] != b.colour[m] || b.sq[c] < 0) continue;
        const int at = b.sq[c];
        switch (b.type[c]) {
            case PAWN:
                if (pawnCaptures[b.colour[c]][at] & squareBit(kingSquare)) targets = 0;
                break;
            case KNIGHT:
                if (knightAttacks[at] & squareBit(kingSquare)) targets = 0;
                break;
            case KING:
                break;  // the kings never touch in a legal position
            default: {
                const int step = direction[at][kingSquare];
                if (!step || !slidesAlong(b.type[c], step)) break;
                const Bitboard line = betweenMasks().mask[at][kingSquare];
                if (!(line & occ)) targets &= line;  // open once the man has left: it must block
            }
        }
    }
    return targets;
}

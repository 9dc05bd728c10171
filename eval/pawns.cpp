// The pawn-structure evaluation behind the pawn hash table.
#include "eval/pawns.h"

#include "board/attacks.h"
#include "board/game_state.h"
#include "eval/eval_state.h"
#include "eval/eval_util.h"
#include "eval/pawn_table.h"
#include "eval/eval_settings.h"

namespace {

// Each pawn on a file pays this, by the number of the side's pawns there.
constexpr int doubledPenalty[9] = {0, 0, 5, 10, 20, 25, 30, 100, 100};
// A passed pawn by its rank from its own side.
constexpr int passedBonus[9] = {0, 0, 8, 16, 32, 60, 120, 160, 0};
// By the difference between the sides' numbers of isolated pawns, and of
// isolated pawns on half-open files, where rooks can get at them.
constexpr int isolatedPenalty[9] = {0, 10, 17, 36, 48, 56, 68, 84, 100};
constexpr int isolatedUnopposedPenalty[9] = {0, 5, 10, 15, 20, 25, 30, 35, 40};
// King shelter: by the number of shelter files that are fully open (halved),
// lack an own pawn, or whose own pawn has advanced past its third rank.
constexpr int shelterOpenFile[4] = {0, 3, 7, 9};
constexpr int shelterNoOwnPawn[4] = {0, 8, 13, 16};
constexpr int shelterAdvancedPawn[4] = {0, 3, 7, 9};

constexpr int PHALANX_BONUS = 2;
constexpr int EIGHT_PAWNS_PENALTY = 12;  // eight pawns leave no open line
constexpr int MOBILITY_UNIT = 12;
constexpr int CENTRE_GRIP_SHELTER = 7;

// What one side's pawns contribute, from that side's point of view.
struct SideScan {
    int score = 0;
    int isolated = 0;
    int isolatedUnopposed = 0;
    int mobile = 0;
    int blocked = 0;
    uint8_t passed = 0;
    uint8_t candidates = 0;
    bool protectedPasser = false;
    uint8_t shelterKingside = 0;
    uint8_t shelterQueenside = 0;
};

inline int countAttackers(Bitboard enemyPawns, int c, int sq) { return popCount(enemyPawns & pawnCaptures[c][sq]); }
inline int countDefenders(Bitboard ownPawns, int c, int sq) { return popCount(ownPawns & pawnCaptures[c ^ 1][sq]); }

// Can a pawn of c behind sq on file `file` walk up beside it? Its rearmost
// pawn there must find every square up to sq's row empty and out of reach of
// enemy pawns.
bool canCatchUp(int c, int sq, int file, Bitboard own, Bitboard enemy) {
    if (file < 0 || file > 7) return false;
    Bitboard behind = own & wholeFile(file) & rowsBehind(c, sq);
    if (!behind) return false;
    int from = rearmost(c, behind);
    int target = squareAt(rowOf(sq), file);
    Bitboard pawns = own | enemy;
    for (int t = stepAhead(c, from);; t = stepAhead(c, t)) {
        if ((pawns & bit(t)) || countAttackers(enemy, c, t)) return false;
        if (t == target) return true;
    }
}

// A pawn that cannot be supported by its neighbours and whose stop square is
// controlled by enemy pawns: it will be a fixed target. Returns its penalty.
int backwardPenalty(int c, int sq, Bitboard own, Bitboard enemy) {
    if (countDefenders(own, c, sq) > countAttackers(enemy, c, sq)) return 0;
    if (relativeRank(c, sq) >= 8) return 0;
    int stop = stepAhead(c, sq);
    int attackers = countAttackers(enemy, c, stop);
    int defenders = countDefenders(own, c, stop);
    if (attackers == 0 || attackers < defenders) return 0;
    int f = fileOf(sq);
    if (canCatchUp(c, sq, f - 1, own, enemy) || canCatchUp(c, sq, f + 1, own, enemy)) return 0;
    return attackers - defenders == 2 ? 15 : 10;
}

// A pawn that can advance: up to three squares ahead free of pawns and not
// controlled by more enemy pawns than own ones. Locked pawns leave a side
// without pawn breaks.
bool isMobile(int c, int sq, Bitboard own, Bitboard enemy) {
    int t = sq;
    for (int steps = 0; steps < 3 && relativeRank(c, t) < 8; ++steps) {
        t = stepAhead(c, t);
        if ((own | enemy) & bit(t)) return false;
        if (countAttackers(enemy, c, t) > countDefenders(own, c, t)) return false;
    }
    return true;
}

// A pawn on a half-open file that is not passed yet but has as many own
// pawns beside or behind it on the neighbouring files as there are enemy
// pawns guarding its path: exchanging them off makes it a passer.
bool isCandidate(int c, int sq, Bitboard own, Bitboard enemy) {
    Bitboard sides = neighbourFiles(fileOf(sq));
    Bitboard helpers = own & sides & ~rowsAhead(c, sq);
    Bitboard sentries = enemy & sides & rowsAhead(c, sq);
    return popCount(helpers) >= popCount(sentries);
}

// The three shelter files of one wing: how much the pawns in front of a king
// castled there would fail to cover it.
uint8_t shelterValue(int c, const int (&files)[3], Bitboard own, Bitboard all, const int (&twinSquares)[4]) {
    int openFiles = 0, noOwnPawn = 0, advanced = 0, defects = 0;
    for (int f : files) {
        if (!(all & wholeFile(f))) ++openFiles;
        Bitboard mine = own & wholeFile(f);
        if (!mine) {
            ++noOwnPawn;
            continue;
        }
        int rank = relativeRank(c, rearmost(c, mine));
        if (rank > 3) ++advanced;
        else if (rank == 3) ++defects;
    }
    // Two neighbouring pawns pushed together (f3+g3 or g3+h3) still guard
    // each other and the king: count one push less.
    auto has = [&](int whiteSquare) { return (own & bit(whiteView(c, whiteSquare))) != 0; };
    if (defects > 0 && ((has(twinSquares[0]) && has(twinSquares[1])) || (has(twinSquares[2]) && has(twinSquares[3]))))
        --defects;
    int value = (shelterOpenFile[openFiles] >> 1) + shelterNoOwnPawn[noOwnPawn] + shelterAdvancedPawn[advanced] + defects;
    return uint8_t(value);
}

void scanSide(const Board& pos, int c, SideScan& out) {
    Bitboard own = pos.sides[c].pieces[PAWN];
    Bitboard enemy = pos.sides[c ^ 1].pieces[PAWN];
    for (Bitboard b = own; b; b &= b - 1) {
        int sq = lowestSquare(b);
        int f = fileOf(sq);
        Bitboard file = wholeFile(f);
        Bitboard ahead = rowsAhead(c, sq);
        bool opposed = (enemy & file & ahead) != 0;

        out.score += gEval.pawnSquare[c][sq];
        if (!(own & neighbourFiles(f))) {
            ++out.isolated;
            if (!opposed) ++out.isolatedUnopposed;
        } else {
            if (own & neighbourFiles(f) & rowMask(rowOf(sq))) out.score += PHALANX_BONUS;
            if (!opposed) out.score -= backwardPenalty(c, sq, own, enemy);
        }
        out.score -= doubledPenalty[popCount(own & file)];

        if (!(enemy & (file | neighbourFiles(f)) & ahead)) {
            int bonus = passedBonus[relativeRank(c, sq)];
            // Only the rear pawn of a doubled pair can be fully supported.
            if (own & file & rowsBehind(c, sq)) bonus -= bonus >> 1;
            out.score += bonus;
            out.passed |= uint8_t(1 << f);
            Bitboard support = (neighbourFiles(f) & rowMask(rowOf(sq))) | pawnCaptures[c ^ 1][sq];
            if (own & support) out.protectedPasser = true;
        } else if (!(enemy & file) && !countAttackers(enemy, c, sq) && isCandidate(c, sq, own, enemy)) {
            out.candidates |= uint8_t(1 << f);
        }

        if (isMobile(c, sq, own, enemy)) ++out.mobile;
    }
    out.blocked = popCount(shiftAhead(c, own) & enemy);

    static constexpr int kingsideFiles[3] = {5, 6, 7};
    static constexpr int queensideFiles[3] = {0, 1, 2};
    static constexpr int kingsideTwins[4] = {F3, G3, G3, H3};
    static constexpr int queensideTwins[4] = {A3, B3, B3, C3};
    Bitboard all = own | enemy;
    out.shelterKingside = shelterValue(c, kingsideFiles, own, all, kingsideTwins);
    out.shelterQueenside = shelterValue(c, queensideFiles, own, all, queensideTwins);
}

// Two of the three central pawns d5, e6, f5 of the opponent against an own
// pawn still on e2/e3: the centre is his, and an own kingside castle will
// meet an attack. Only counted for the engine's own side.
bool facesCentreGrip(const Board& pos, int c) {
    Bitboard enemyCentre = c == WHITE ? centreE6D5F5 : centreE3D4F4;
    Bitboard ownStoppers = bit(whiteView(c, E2)) | bit(whiteView(c, E3));
    return popCount(pos.sides[c ^ 1].pieces[PAWN] & enemyCentre) == 2 && (pos.sides[c].pieces[PAWN] & ownStoppers);
}

// Outside passers: a passer far from the enemy pawns drags the enemy king
// away from the rest. Also a protected passer when the opponent has no such
// asset of his own.
uint8_t outsideFlags(const SideScan& white, const SideScan& black, const Board& pos) {
    uint8_t whiteFiles = filesOf(pos.sides[WHITE].pieces[PAWN]);
    uint8_t blackFiles = filesOf(pos.sides[BLACK].pieces[PAWN]);
    uint8_t flags = 0;
    bool whiteOutside = outsidePasserTable[white.passed][blackFiles];
    bool blackOutside = outsidePasserTable[black.passed][whiteFiles];
    if (whiteOutside && !blackOutside && pos.sides[WHITE].pawnCount > 1) flags |= WHITE_OUTSIDE_PASSER;
    if (blackOutside && !whiteOutside && pos.sides[BLACK].pawnCount > 1) flags |= BLACK_OUTSIDE_PASSER;
    bool whiteCandidate = lesserOutsidePasserTable[white.candidates][blackFiles];
    bool blackCandidate = lesserOutsidePasserTable[black.candidates][whiteFiles];
    if (whiteCandidate && !blackCandidate) flags |= WHITE_OUTSIDE_CANDIDATE;
    if (blackCandidate && !whiteCandidate) flags |= BLACK_OUTSIDE_CANDIDATE;
    if (!(flags & (WHITE_OUTSIDE_PASSER | BLACK_OUTSIDE_PASSER))) {
        if (white.protectedPasser && !black.protectedPasser && popCount(black.passed) <= 1)
            flags |= WHITE_OUTSIDE_PASSER;
        if (black.protectedPasser && !white.protectedPasser && popCount(white.passed) <= 1)
            flags |= BLACK_OUTSIDE_PASSER;
    }
    return flags;
}

bool engineIsToMove(const Board& pos) { return gGame.engineSide == pos.sideToMove; }

// Fills entry (key already set) from the pawns of pos and returns the score.
int scorePawns(const Board& pos, PawnEntry& entry) {
    SideScan side[2];
    scanSide(pos, WHITE, side[WHITE]);
    scanSide(pos, BLACK, side[BLACK]);
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];

    int score = EIGHT_PAWNS_PENALTY * ((b.pawnCount == 8) - (w.pawnCount == 8));
    score += side[WHITE].score - side[BLACK].score;

    auto difference = [&score](int white, int black, const int (&table)[9]) {
        if (white > black) score -= table[clampIndex(white - black, 9)];
        else score += table[clampIndex(black - white, 9)];
    };
    difference(side[WHITE].isolated, side[BLACK].isolated, isolatedPenalty);
    difference(side[WHITE].isolatedUnopposed, side[BLACK].isolatedUnopposed, isolatedUnopposedPenalty);

    if (w.pawnCount > 4 && b.pawnCount > 4) {
        if (side[WHITE].mobile <= 2) score += (side[WHITE].mobile - 3) * (MOBILITY_UNIT * 100) / 100;
        if (side[BLACK].mobile <= 2) score += (3 - side[BLACK].mobile) * MOBILITY_UNIT;
    }

    if (engineIsToMove(pos) && !gEvalSettings.computerOpponent) {
        if (pos.sideToMove == WHITE && w.pawnCount > 5) score -= gEval.blockedPawns[clampIndex(side[WHITE].blocked, 9)];
        if (pos.sideToMove == BLACK && b.pawnCount > 5) score += gEval.blockedPawns[clampIndex(side[BLACK].blocked, 9)];
    }

    if (engineIsToMove(pos) && facesCentreGrip(pos, pos.sideToMove)) {
        uint8_t& shelter = side[pos.sideToMove].shelterKingside;
        shelter = uint8_t(shelter + CENTRE_GRIP_SHELTER);
    }

    if (score > 32767) score = 32767;
    if (score < -32768) score = -32768;
    uint64_t word1 = uint16_t(int16_t(score));
    setEntryByte(word1, 2, side[BLACK].passed);
    setEntryByte(word1, 3, side[BLACK].shelterKingside);
    setEntryByte(word1, 4, side[BLACK].shelterQueenside);
    setEntryByte(word1, 5, side[WHITE].passed);
    setEntryByte(word1, 6, side[WHITE].shelterKingside);
    setEntryByte(word1, 7, side[WHITE].shelterQueenside);
    uint64_t word2 = 0;
    setEntryByte(word2, 0, uint8_t(side[WHITE].protectedPasser | side[BLACK].protectedPasser << 1));
    setEntryByte(word2, 1, outsideFlags(side[WHITE], side[BLACK], pos));
    setEntryByte(word2, 2, side[WHITE].candidates);
    setEntryByte(word2, 3, side[BLACK].candidates);
    entry.word1 = word1;
    entry.word2 = word2;
    return score;
}

}  // namespace

int evaluatePawnStructure(EvalBoard& pos) {
    PawnEntry& entry = pos.pawnEntry;
    if (probePawnTable(pos.pawnKey, entry)) {
        ++pos.evalStats.pawnHits;
    } else {
        entry.key = pos.pawnKey;
        scorePawns(pos, entry);
        storePawnEntry(entry);
    }
    entry.word2 = uint32_t(entry.word2) | uint64_t(gEval.generation) << 32;
    return pawnScore(entry);
}

// Preparing the evaluation for a search: the tables that depend on the phase
// of the game at the root, and the decision whether cached pawn scores are
// still valid.
#include "board/attacks.h"
#include "eval/eval_util.h"
#include "eval/eval_state.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "eval/eval_settings.h"

namespace {

// King-safety penalty by king weakness index: steep at first, flattening out
// once the king is already badly exposed.
constexpr int32_t kingSafetyBase[64] = {
    0,   4,   15,  24,  36,  42,  54,  72,  81,  90,  99,  108, 117, 126, 135, 144,
    148, 152, 156, 160, 164, 168, 172, 175, 180, 180, 180, 180, 180, 180, 180, 180,
    180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180,
    180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180};

// Value of the pressure on a king by the attackers' units (read at units + 8,
// so that a few units of "negative" pressure are possible at the low end).
constexpr int32_t kingAttackBase[128] = {
    -25, -25, -20, -20, -15, -15, -10, -5, 0,   2,   5,   12,  15,  20,  30,  40,
    50,  60,  70,  80,  90,  100, 110, 120, 125, 125, 130, 130, 135, 135, 140, 145,
    150, 160, 170, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180,
    180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180,
    180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180,
    180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180,
    180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180,
    180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180, 180};

// Penalty for a side whose pawns are rammed head to head: a locked structure
// leaves the engine nothing to play for.
constexpr uint8_t blockedPawnBase[9] = {0, 0, 6, 24, 40, 64, 80, 94, 96};

// Weights are kept as working copies scaled by a percentage so a playing
// style can lean on them; the engine plays at 100 %.
constexpr int WEIGHT_PERCENT = 100;

// What the phase-dependent tables and the cached pawn scores were built for.
struct EvalContext {
    int sideToMove = -1;
    bool opening = false, middlegame = false, endgame = false;
    int advanceFactor = 0;
    bool attackPattern = false;
    bool operator==(const EvalContext&) const = default;
};
EvalContext savedContext;

// Files' base value and the value of each row of advance. Central pawns are
// worth more where they stand; in the endgame every pawn's advance counts
// alike and more, since it is racing to promote.
constexpr int pawnFileBase[8] = {0, 3, 6, 9, 9, 6, 3, 0};
constexpr int pawnAdvanceMiddlegame[8] = {1, 1, 2, 2, 2, 2, 1, 1};
constexpr int PAWN_ADVANCE_ENDGAME = 3;


void buildPawnSquareTables(bool endgame) {
    for (int c = WHITE; c <= BLACK; ++c)
        for (int sq = 0; sq < 64; ++sq) gEval.pawnSquare[c][sq] = int8_t(pawnSquareValue(c, sq, endgame));
}

void refreshWeights() {
    for (int i = 0; i < 64; ++i)
        gEval.kingSafety[WHITE][i] = gEval.kingSafety[BLACK][i] = kingSafetyBase[i] * WEIGHT_PERCENT / 100;
    for (int i = 0; i < 128; ++i) gEval.kingAttackCurve[i] = kingAttackBase[i] * WEIGHT_PERCENT / 100;
    for (int i = 0; i < 9; ++i) gEval.blockedPawns[i] = uint8_t(blockedPawnBase[i] * WEIGHT_PERCENT / 100);
}

// A minor piece lodged on g4 (b4) against a king tucked in behind h3 (a3),
// with the attacker's pawn on h5 (a5) ready to break open the file: with a
// queen and a rook to follow up, the castled king is in real danger.
bool attackPatternAgainst(const Board& pos, int defender) {
    int attacker = defender ^ 1;
    const SideRecord& a = pos.sides[attacker];
    const SideRecord& d = pos.sides[defender];
    if (!a.pieces[QUEEN] || !a.pieces[ROOK]) return false;
    Bitboard minors = a.pieces[KNIGHT] | a.pieces[BISHOP];
    auto sq = [defender](int whiteSquare) { return whiteView(defender, whiteSquare); };
    int k = d.kingSquare;
    bool kingside = (k == sq(G1) || k == sq(H1)) && (minors & bit(sq(G4))) && (d.pieces[PAWN] & bit(sq(H3))) &&
                    (a.pieces[PAWN] & bit(sq(H5)));
    bool queenside = (k == sq(A1) || k == sq(B1)) && (minors & bit(sq(B4))) && (d.pieces[PAWN] & bit(sq(A3))) &&
                     (a.pieces[PAWN] & bit(sq(A5)));
    return kingside || queenside;
}

// The tables before any search has prepared them: middlegame pawn tables and
// the weights at 100 %, so an evaluation is meaningful from the first call.
struct DefaultTables {
    DefaultTables() {
        buildPawnSquareTables(false);
        refreshWeights();
        gEval.generation = 1;
    }
};

}  // namespace

EvalState gEval;
EvalSettings gEvalSettings;
static DefaultTables defaultTables;

int pawnSquareValue(int c, int sq, bool endgame) {
    int row = rowOf(sq);
    if (row == 0 || row == 7) return 0;  // no pawn ever stands there
    int advance = relativeRank(c, sq) - 2;  // 0 on its second rank .. 5 on its seventh
    int f = fileOf(sq);
    int factor = endgame ? PAWN_ADVANCE_ENDGAME : pawnAdvanceMiddlegame[f];
    int value = pawnFileBase[f] + advance * factor;
    if (advance >= 4) value += 10;
    // The d- and e-pawns unmoved block the bishops: get them going.
    if (advance == 0 && (f == 3 || f == 4)) value -= 16;
    return value;
}

int prepareEvaluation(EvalBoard& pos) {
    int phase = gamePhaseOf(pos);
    pos.gamePhase = uint8_t(phase);
    bool endgame = phase == 2;
    buildPawnSquareTables(endgame);
    refreshWeights();
    gEval.attackPattern = attackPatternAgainst(pos, WHITE) || attackPatternAgainst(pos, BLACK);

    EvalContext context;
    context.sideToMove = pos.sideToMove;
    context.opening = phase == 0;
    context.middlegame = phase == 1;
    context.endgame = endgame;
    context.advanceFactor = endgame ? PAWN_ADVANCE_ENDGAME : 1;
    context.attackPattern = gEval.attackPattern;
    if (!(context == savedContext)) {
        // Cached pawn scores embed the pawn square tables and the terms that
        // depend on who is to move; once out of the book they must go.
        ++gEval.generation;
        if (gEvalSettings.bookLeft) clearPawnTable();
    }
    savedContext = context;
    return pos.sideToMove;
}

#include "search/movepicker.h"

#include <cstdlib>

#include "board/attacks.h"
#include "board/movegen.h"

namespace {

constexpr int32_t NO_MARK = -1;

// ---------------------------------------------------------------------------
// Static exchange

// The slider standing directly behind `origin` as seen from `target`, once
// the piece on `origin` has left: it now attacks the target through the
// vacated square.
Bitboard xrayBehind(const Position& pos, Bitboard occ, int target, int origin) {
    int step = direction[target][origin];
    if (step == 0) return 0;
    Bitboard beyond = rayMask[directionIndex(step)][origin] & occ;
    if (!beyond) return 0;
    int sq = step > 0 ? lowestSquare(beyond) : highestSquare(beyond);
    int type = std::abs(pos.board[sq]);
    bool diagonal = step == 7 || step == -7 || step == 9 || step == -9;
    bool slides = type == QUEEN || (diagonal ? type == BISHOP : type == ROOK);
    return slides ? squareMask[sq] : 0;
}

}  // namespace

int staticExchange(const Position& pos, Move move, int side) {
    const int to = moveTo(move), from = moveFrom(move);
    Bitboard occ = occupied(pos) & ~squareMask[from];
    Bitboard attackers = (attackersOf(pos, to) & ~squareMask[from]) | xrayBehind(pos, occ, to, from);

    int value = pieceValue[moveCaptured(move)];
    int onTarget = movePiece(move);
    if (movePromotion(move)) {
        value += pieceValue[movePromotion(move)] - pieceValue[PAWN];
        onTarget = movePromotion(move);
    }

    // Each side recaptures with its cheapest attacker; the piece taken is
    // whatever stood on the square. There is no option to stop early.
    int s = side ^ 1;
    bool subtract = true;
    while (Bitboard mine = attackers & pos.sides[s].pieces[ALL_PIECES]) {
        int type = PAWN;
        Bitboard ofType = 0;
        for (; type <= KING; type++)
            if ((ofType = mine & pos.sides[s].pieces[type])) break;
        int sq = highestSquare(ofType);
        attackers &= ~squareMask[sq];
        // A king cannot capture onto a square the other side still guards.
        if (type == KING && (attackers & pos.sides[s ^ 1].pieces[ALL_PIECES])) continue;
        value += subtract ? -pieceValue[onTarget] : pieceValue[onTarget];
        onTarget = type;
        occ &= ~squareMask[sq];
        attackers |= xrayBehind(pos, occ, to, sq);
        s ^= 1;
        subtract = !subtract;
    }
    return value;
}

// ---------------------------------------------------------------------------
// Killers and move validation

void updateKillers(Position& pos, Move move) {
    if (isCapture(move)) return;
    Move* killer = pos.killers[pos.historyCount];
    if (killer[0] == move) return;
    if (killer[1] == move) {
        killer[1] = killer[0];
        killer[0] = move;
        return;
    }
    killer[1] = move;
}

namespace {

bool validPawnMove(const Position& pos, Move move) {
    const int side = pos.sideToMove;
    const int from = moveFrom(move), to = moveTo(move);
    const int forward = side == WHITE ? rowOf(from) - rowOf(to) : rowOf(to) - rowOf(from);
    const int fileDistance = std::abs(fileOf(from) - fileOf(to));
    const int lastRow = side == WHITE ? 0 : 7;
    const int startRow = side == WHITE ? 6 : 1;
    const Bitboard occ = occupied(pos);

    if ((rowOf(to) == lastRow) != (movePromotion(move) != 0)) return false;
    if (forward == 1 && fileDistance == 1) return isCapture(move);
    if (fileDistance != 0 || isCapture(move)) return false;
    if (forward == 1) return true;  // destination already known to be empty
    int passed = (from + to) / 2;
    return forward == 2 && rowOf(from) == startRow && !(occ & squareMask[passed]);
}

}  // namespace

bool validMoveTest(const Position& pos, Move move) {
    if (move == 0) return false;
    const int side = pos.sideToMove;
    const int from = moveFrom(move), to = moveTo(move), type = movePiece(move);
    if (type < PAWN || type > KING) return false;
    if (pos.board[from] != (side == WHITE ? type : -type)) return false;
    // Castling is the board's to judge: in Chess960 the king may land on
    // its rook's square, or stay where it is.
    if (isCastling(move)) return type == KING && castlingIsPossible(pos, move);
    if (movePromotion(move) && type != PAWN) return false;

    // Destination: empty for a quiet move, an enemy piece of the recorded
    // kind for a capture (make move trusts that field), the en-passant
    // square with the double-stepped pawn behind it for en passant.
    const int target = pos.board[to];
    if (isEnPassant(move)) {
        if (type != PAWN || pos.epSquare == 0 || to != pos.epSquare || target != 0) return false;
        int victim = side == WHITE ? to + 8 : to - 8;
        if (pos.board[victim] != (side == WHITE ? -PAWN : PAWN)) return false;
    } else if (isCapture(move)) {
        if (target != (side == WHITE ? -moveCaptured(move) : moveCaptured(move))) return false;
    } else if (target != 0) {
        return false;
    }

    switch (type) {
    case PAWN:
        return validPawnMove(pos, move);
    case KNIGHT:
        return (knightAttacks[from] & squareMask[to]) != 0;
    case BISHOP:
        return (bishopAttacks(pos, to) & squareMask[from]) != 0;
    case ROOK:
        return (rookAttacks(pos, to) & squareMask[from]) != 0;
    case QUEEN:
        return ((bishopAttacks(pos, to) | rookAttacks(pos, to)) & squareMask[from]) != 0;
    default:  // KING
        return (kingAttacks[from] & squareMask[to]) && !isSquareAttacked(pos, to, side ^ 1);
    }
}

// ---------------------------------------------------------------------------
// The picker

namespace {

inline int victimValue(Move m) { return pieceValue[moveCaptured(m)]; }
inline int attackerValue(Move m) { return pieceValue[movePiece(m)]; }

// Winning and equal captures by most valuable victim, then least valuable
// attacker; a losing one keeps its (negative) exchange value. Promotions
// among the captures are ranked by their exchange value, which counts the
// promoted piece.
int captureKey(const Position& pos, Move m, bool rankPromotionsByExchange) {
    if (attackerValue(m) < victimValue(m)) return captureOrderKey(m);
    int exchange = staticExchange(pos, m, pos.sideToMove);
    if (exchange >= 0 && !(rankPromotionsByExchange && movePromotion(m))) return captureOrderKey(m);
    return exchange;
}

// Removes `move` from the ply's list [begin, end) if present: the last move
// takes its place. Returns true when it was there.
bool removeFromList(Position& pos, int begin, Move move) {
    const int p = int(pos.historyCount);
    int& end = pos.listStart[p + 1];
    for (int i = begin; i < end; i++) {
        if (pos.moveStack[i] != move) continue;
        pos.moveStack[i] = pos.moveStack[--end];
        pos.movesDelivered[p]--;
        return true;
    }
    return false;
}

// Stable insertion sort of moveStack[begin, end), keys at sortKeys[0 ..],
// highest key first.
void sortRange(Position& pos, int begin, int end) {
    Move* moves = pos.moveStack + begin;
    int32_t* keys = pos.sortKeys;
    const int n = end - begin;
    for (int i = 1; i < n; i++) {
        Move m = moves[i];
        int32_t k = keys[i];
        int j = i - 1;
        for (; j >= 0 && keys[j] < k; j--) {
            moves[j + 1] = moves[j];
            keys[j + 1] = keys[j];
        }
        moves[j + 1] = m;
        keys[j + 1] = k;
    }
}

void generateCaptureStage(Position& pos, PickerState& picker) {
    const int p = int(pos.historyCount);
    const int begin = pos.listStart[p];
    picker.badCaptureMark = NO_MARK;
    Move* end = generateCaptures(pos, pos.moveStack + begin);
    pos.listStart[p + 1] = int32_t(end - pos.moveStack);
    pos.movesDelivered[p] += uint32_t(pos.listStart[p + 1] - begin);
    if (pos.hashMove[p]) removeFromList(pos, begin, pos.hashMove[p]);

    bool anyPositive = false;
    for (int i = begin; i < pos.listStart[p + 1]; i++) {
        int key = captureKey(pos, pos.moveStack[i], true);
        pos.sortKeys[i - begin] = key;
        anyPositive |= key > 0;
    }
    picker.reportedStage = PICK_CAPTURES;
    picker.next = begin;
    if (pos.listStart[p + 1] == begin) {
        picker.status = PICK_KILLER_1;
    } else if (!anyPositive) {
        // Every capture loses material: try the killers first and bring the
        // captures back with the remaining moves.
        picker.badCaptureMark = begin;
        picker.status = PICK_KILLER_1;
    } else {
        picker.status = PICK_SORT;
    }
}

void generateEvasionStage(Position& pos, PickerState& picker) {
    const int p = int(pos.historyCount);
    const int begin = pos.listStart[p];
    picker.badCaptureMark = NO_MARK;
    picker.reportedStage = PICK_EVASIONS;
    Move* end = generateEvasions(pos, pos.moveStack + begin);
    pos.listStart[p + 1] = int32_t(end - pos.moveStack);
    pos.movesDelivered[p] = uint32_t(pos.listStart[p + 1] - begin);
    if (pos.hashMove[p]) removeFromList(pos, begin, pos.hashMove[p]);
    for (int i = begin; i < pos.listStart[p + 1]; i++) {
        Move m = pos.moveStack[i];
        pos.sortKeys[i - begin] = isCapture(m) ? captureKey(pos, m, false) : 0;
    }
    picker.next = begin;
    picker.status = PICK_SORT;
}

void generateRemainingStage(Position& pos, PickerState& picker) {
    const int p = int(pos.historyCount);
    picker.reportedStage = PICK_REMAINING;
    // Without held-back captures the quiet moves overwrite the captures
    // already delivered; otherwise they go behind the losing captures, which
    // are sorted in with them.
    int begin = picker.badCaptureMark == NO_MARK ? pos.listStart[p] : picker.badCaptureMark;
    int generateAt = picker.badCaptureMark == NO_MARK ? pos.listStart[p] : pos.listStart[p + 1];
    Move* end = generateQuiets(pos, pos.moveStack + generateAt);
    pos.listStart[p + 1] = int32_t(end - pos.moveStack);
    pos.movesDelivered[p] += uint32_t(pos.listStart[p + 1] - generateAt);

    const Move hash = pos.hashMove[p], killer1 = pos.killers[p][0], killer2 = pos.killers[p][1];
    const Move previousBest = pos.pv[p].moves[p];
    for (int i = begin; i < pos.listStart[p + 1];) {
        Move m = pos.moveStack[i];
        if (m == hash || m == killer1 || m == killer2) {
            pos.moveStack[i] = pos.moveStack[--pos.listStart[p + 1]];
            pos.movesDelivered[p]--;
            continue;
        }
        int key = captureOrderKey(m);
        if (m == previousBest) key += 100000;
        pos.sortKeys[i - begin] = key;
        i++;
    }
    picker.next = begin;
    picker.status = begin < pos.listStart[p + 1] ? PICK_SORT : PICK_DELIVER;
}

Move tryKiller(Position& pos, PickerState& picker, int slot) {
    const int p = int(pos.historyCount);
    picker.status = slot == 0 ? PICK_KILLER_2 : PICK_REMAINING;
    picker.reportedStage = slot == 0 ? PICK_KILLER_1 : PICK_KILLER_2;
    Move killer = pos.killers[p][slot];
    if (killer && killer != pos.hashMove[p] && validMoveTest(pos, killer)) {
        pos.movesDelivered[p]++;
        return killer;
    }
    return 0;
}

}  // namespace

Move nextMove(Position& pos) {
    const int p = int(pos.historyCount);
    PickerState& picker = pos.picker[p];
    while (true) {
        switch (picker.status) {
        case PICK_HASH_MOVE:
            // The table's move is trusted: make move skips its legality
            // test for the ply's hash move.
            pos.movesDelivered[p]++;
            picker.status = pos.inCheck[p] ? PICK_EVASIONS : PICK_START;
            return pos.hashMove[p];
        case PICK_START:
        case PICK_CAPTURES:
            generateCaptureStage(pos, picker);
            break;
        case PICK_EVASIONS:
            generateEvasionStage(pos, picker);
            break;
        case PICK_SORT: {
            int begin = picker.next;
            int end = pos.listStart[p + 1];
            if (end - begin > 1) sortRange(pos, begin, end);
            if (picker.reportedStage == PICK_CAPTURES) {
                picker.badCaptureMark = NO_MARK;
                for (int i = begin; i < end; i++) {
                    if (pos.sortKeys[i - begin] < 0) {
                        picker.badCaptureMark = i;
                        break;
                    }
                }
            }
            picker.status = PICK_DELIVER;
            break;
        }
        case PICK_DELIVER: {
            const int next = picker.next;
            const int end = pos.listStart[p + 1];
            if (next + 1 == picker.badCaptureMark) picker.status = PICK_KILLER_1;  // losing captures wait
            if (next >= end - 1) {
                if (picker.reportedStage == PICK_REMAINING || picker.reportedStage == PICK_EVASIONS) {
                    picker.status = PICK_EXHAUSTED;
                    if (next >= end) return 0;
                } else {
                    picker.status = uint8_t(picker.reportedStage + 1);
                    if (next >= end) break;
                }
            }
            if (pos.movesDelivered[p] == 0) return 0;
            picker.next++;
            return pos.moveStack[next];
        }
        case PICK_KILLER_1:
        case PICK_KILLER_2:
            if (Move killer = tryKiller(pos, picker, picker.status == PICK_KILLER_1 ? 0 : 1)) return killer;
            break;
        case PICK_REMAINING:
            generateRemainingStage(pos, picker);
            break;
        default:  // PICK_EXHAUSTED
            return 0;
        }
    }
}

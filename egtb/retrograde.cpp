// Retrograde analysis, one pawn placement ("slice") at a time.
//
// Pawn moves cannot be taken back, so a table with pawns falls apart into
// slices, one per placement of its pawns. Inside a slice only the kings and
// pieces move; pawn moves lead into slices with the pawns further advanced,
// captures and promotions into other tables. Slices are therefore solved
// from the most advanced pawns back, and every move that leaves a slice
// leads to a value already known ("exits").
//
// Inside a slice the positions are solved in order of their distance to
// mate, counted in plies. A position is stored as a code, plies + 1 (so a
// checkmate is 1): odd codes are losses for the side to move, even codes
// wins, 0 is a draw or not yet known. When the positions at code c are
// final, each of their predecessors (found by taking back a king or piece
// move of the side that moved last) is settled:
//   - a predecessor of a loss is a win in c + 1, unless already known;
//   - a predecessor of a win loses one more of its escapes; when none is
//     left it is lost, in c + 1 plies or in the longest losing exit.
// Exits that win put the position on a pending list at their code; exits
// that draw mean it can never be lost. Whatever is not settled at the end
// is a draw.
//
// Symmetric positions: without pawns two men-placements that are mirror
// images share one entry. A position and its mirror image can both be
// reached by one move (or one take-back) only when the king of the side not
// moving stands on a long diagonal; there the distinct entries are counted
// instead of the moves, so every escape is counted and taken away once.
#include "egtb/retrograde.h"

#include <algorithm>
#include <vector>

#include "egtb/catalogue.h"
#include "egtb/index_scheme.h"
#include "egtb/large_arrays.h"
#include "egtb/table_moves.h"
#include "egtb/table_store.h"
#include "egtb/tablebase_values.h"

namespace {

constexpr uint16_t ILLEGAL = 0xFFFF;      // no position, or not the canonical entry
constexpr uint16_t OPEN = 0x8000;         // not settled; the low bits hold the longest losing exit
constexpr uint8_t CANNOT_LOSE = 0xFF;     // an exit draws or wins

// The state of one position while its slice is solved, kept together so
// that settling a predecessor touches one place in memory.
struct Work {
    uint16_t code;    // OPEN | longest losing exit, ILLEGAL, or the final code
    uint8_t escapes;  // moves inside the slice not yet known to lose, or CANNOT_LOSE
    uint8_t unused;
};

// Codes: plies to mate plus one; 0 = draw.
int codeFromValue(int value) {
    if (value == 0) return 0;
    return pliesFromValue(value) + 1;
}
bool codeIsLoss(int code) { return code & 1; }

// Progress is counted in entries: each entry once when it is first looked
// at (its captures played, its moves counted) and once when its value
// spreads to its predecessors (its moves taken back), which on the
// four-man tables takes about as long, 100 to 900 ns each. Draws never
// spread, so the end of a slice makes up for them. Progress is told after
// every PROGRESS_STEP entries.
constexpr uint32_t PROGRESS_STEP = 1 << 14;

struct Slice {
    uint32_t number;
    int advance;  // pawn steps made, both colours together
    PawnSlice kind;
};

// The slices of a table in the order they are solved: the most advanced
// pawns first, so that every pawn move leads into a slice already solved.
std::vector<Slice> solvingOrder(const TableLayout& layout) {
    std::vector<Slice> slices;
    const uint64_t count = layout.size / layout.sliceSize;
    for (uint64_t s = 0; s < count; s++) {
        Slice slice{uint32_t(s), 0, PawnSlice::Asymmetric};
        if (layout.hasPawns) {
            int sq[TB_MAX_MEN];
            decodeIndex(layout, s * layout.sliceSize, sq);
            slice.kind = classifyPawnSlice(layout, sq);
            if (slice.kind == PawnSlice::Invalid) continue;
            for (int m = 0; m < layout.pawnMen; m++)
                slice.advance += layout.manColour[m] == 0 ? tbRank(sq[m]) : 7 - tbRank(sq[m]);
        }
        slices.push_back(slice);
    }
    std::stable_sort(slices.begin(), slices.end(), [](const Slice& a, const Slice& b) { return a.advance > b.advance; });
    return slices;
}

// Both sides of every entry of a slice, looked at and spread.
uint64_t sliceWork(const TableLayout& layout) { return 2 * 2 * layout.sliceSize; }

class TableGenerator {
public:
    TableGenerator(const TableStore& store, int table, TableReport& report, const SolveProgress& progress)
        : store_(store), table_(table), layout_(tableLayout(table)),
          wide_(tableCatalogue[table].flags & TABLE_16BIT), report_(report), progress_(progress) {
        for (int m = 0; m < layout_.men; m++)
            inRun_[m] = layout_.runStart[m] != m || (m + 1 < layout_.men && layout_.runStart[m + 1] == m);
    }

    bool run(MemoryTable& out, std::string& error);

private:
    // Board of entry `index`; false when the digits name no position.
    bool boardOf(uint64_t index, TableBoard& b) const;
    uint32_t indexOf(const TableBoard& b, bool needSymmetries) const;
    bool canonical(uint64_t index, const TableBoard& b, PawnSlice kind) const;
    // The entry after man m moved from `from` (the board shows the move made),
    // from the entry before it: a change of one digit when the frame stays.
    uint32_t movedIndex(const TableBoard& b, uint64_t before, int m, int from, bool frameFixed) const;
    // Whether the frame of the entry stays put when the man moves.
    bool frameFixedFor(const TableBoard& b, int m) const;
    int exitCode(TableBoard& b, int side, const TableMove& move);
    int codeAfterMoves(TableBoard& b, int side, int ep);
    // The code of an entry of this table (solved slices only); -1 for none.
    int ownCode(int side, uint32_t index) const;
    int otherTableCode(const TableBoard& b, int side) const;
    void solveSlice(const Slice& slice);
    void lookAtPositions();
    void spreadValues();
    void storeValues();
    void initPosition(int side, uint32_t local);
    void propagate(int side, uint32_t local, int code);
    void settle(int side, uint32_t local, int code);
    void schedule(std::vector<std::vector<uint32_t>>& lists, int code, uint32_t local);
    // Tells the progress after `units` more of the table's work.
    void advance(uint64_t units);

    const TableStore& store_;
    const int table_;
    const TableLayout& layout_;
    const bool wide_;
    TableReport& report_;
    const SolveProgress& progress_;
    uint64_t workDone_ = 0, workTotal_ = 0;
    MemoryTable* own_ = nullptr;
    uint64_t base_ = 0;  // first entry of the slice being solved
    PawnSlice kind_ = PawnSlice::Asymmetric;
    std::vector<Work> work_[2];
    bool inRun_[TB_MAX_MEN] = {};  // the man shares its digit order with like men
    std::vector<std::vector<uint32_t>> pending_[2], frontier_[2];
    size_t highestScheduled_ = 0;
    bool failed_ = false;
    std::string failure_;
};

bool TableGenerator::boardOf(uint64_t index, TableBoard& b) const {
    int sq[TB_MAX_MEN];
    return decodeIndex(layout_, index, sq) && boardFromSquares(layout_, sq, b);
}

// The entry of a board of this table. Without `needSymmetries` the board is
// taken to be in the canonical frame already, which holds after a king or
// piece move when the pawns, or (pawnless) the kings, fix the frame.
uint32_t TableGenerator::indexOf(const TableBoard& b, bool needSymmetries) const {
    int sq[TB_MAX_MEN];
    for (int m = 0; m < b.men; m++) sq[m] = flipRanks(b.sq[m]);
    return needSymmetries ? canonicalIndex(layout_, sq) : composeIndex(layout_, sq);
}

bool TableGenerator::canonical(uint64_t index, const TableBoard& b, PawnSlice kind) const {
    int sq[TB_MAX_MEN];
    for (int m = 0; m < b.men; m++) sq[m] = flipRanks(b.sq[m]);
    bool full = layout_.hasPawns ? kind == PawnSlice::Symmetric : kingsOnDiagonal(layout_, sq);
    if (full) return canonicalIndex(layout_, sq) == index;
    for (int m = layout_.pawnMen; m < b.men; m++)
        if (layout_.runStart[m] != m && sq[m] < sq[m - 1]) return false;
    return true;
}

bool TableGenerator::frameFixedFor(const TableBoard& b, int m) const {
    if (layout_.hasPawns) return kind_ != PawnSlice::Symmetric && b.type[m] != PAWN;
    if (b.type[m] == KING) return false;
    const int wk = flipRanks(b.sq[b.king[0]]), bk = flipRanks(b.sq[b.king[1]]);
    return !(tbFile(wk) == tbRank(wk) && tbFile(bk) == tbRank(bk));
}

uint32_t TableGenerator::movedIndex(const TableBoard& b, uint64_t before, int m, int from, bool frameFixed) const {
    if (!frameFixed) return indexOf(b, true);
    if (inRun_[m]) return indexOf(b, false);
    return uint32_t(before + (int64_t(flipRanks(b.sq[m])) - flipRanks(from)) * int64_t(layout_.stride[m]));
}

int TableGenerator::ownCode(int side, uint32_t index) const {
    int value = own_->value(side, index);
    return value == TB_NOT_AVAILABLE ? -1 : codeFromValue(value);
}

int TableGenerator::otherTableCode(const TableBoard& b, int side) const {
    int8_t colour[TB_MAX_MEN], type[TB_MAX_MEN];
    int square[TB_MAX_MEN];
    int n = 0;
    for (int m = 0; m < b.men; m++)
        if (b.sq[m] >= 0) {
            colour[n] = b.colour[m];
            type[n] = b.type[m];
            square[n++] = flipRanks(b.sq[m]);
        }
    int value = store_.probe(n, colour, type, square, side);
    return value == TB_NOT_AVAILABLE ? -1 : codeFromValue(value);
}

// The code, for the side now to move, of the position after a move that
// leaves the slice (the move is on the board).
int TableGenerator::exitCode(TableBoard& b, int mover, const TableMove& move) {
    const int side = mover ^ 1;
    int code;
    if (move.captured != NO_MAN || move.promotion) {
        code = otherTableCode(b, side);
    } else if (move.doublePush && enPassantPossible(b, move.to, side)) {
        // The pawn can be taken in passing: the reply decides.
        code = codeAfterMoves(b, side, (move.from + move.to) / 2);
    } else {
        uint32_t index = indexOf(b, true);
        code = index == NO_INDEX ? -1 : ownCode(side, index);
    }
    if (code < 0 && !failed_) {
        failed_ = true;
        failure_ = "a position reached from the table has no value (a smaller table missing?)";
    }
    return code < 0 ? 0 : code;
}

// The code of a position from its moves alone, for one that the table does
// not hold (an en-passant capture is possible). Every reply leads into a
// slice that is solved already.
int TableGenerator::codeAfterMoves(TableBoard& b, int side, int ep) {
    int bestWin = 0, worstLoss = 0;
    bool draw = false, any = false;
    forEachMove(b, side, ep, [&](const TableMove& move) {
        any = true;
        int child;
        if (move.pawnMove || move.captured != NO_MAN) {
            child = exitCode(b, side, move);
        } else {
            uint32_t index = indexOf(b, true);
            child = index == NO_INDEX ? -1 : ownCode(side ^ 1, index);
            if (child < 0) child = 0;
        }
        if (child == 0) draw = true;
        else if (codeIsLoss(child)) bestWin = bestWin ? std::min(bestWin, child + 1) : child + 1;
        else worstLoss = std::max(worstLoss, child + 1);
    });
    if (!any) return b.inCheck(side) ? 1 : 0;
    if (bestWin) return bestWin;
    if (draw) return 0;
    return worstLoss;
}

void TableGenerator::schedule(std::vector<std::vector<uint32_t>>& lists, int code, uint32_t local) {
    if (size_t(code) >= lists.size()) lists.resize(size_t(code) + 1);
    lists[size_t(code)].push_back(local);
    highestScheduled_ = std::max(highestScheduled_, size_t(code));
}

void TableGenerator::initPosition(int side, uint32_t local) {
    const uint64_t index = base_ + local;
    Work& w = work_[side][local];
    TableBoard b;
    if (!boardOf(index, b) || !canonical(index, b, kind_) ||
        (layout_.hasPawns && (kingAttacks[b.sq[b.king[0]]] & squareBit(b.sq[b.king[1]]))) || b.inCheck(side ^ 1)) {
        w.code = ILLEGAL;
        return;
    }
    int legal = 0, inside = 0, bestWin = 0, worstLoss = 0;
    bool draw = false;
    // Counting distinct entries rather than moves where two moves may reach
    // mirror images (see the top of the file).
    const bool distinct = !layout_.hasPawns && onLongDiagonal(b.sq[b.king[side ^ 1]]);
    uint32_t reached[128];
    int reachedCount = 0;
    forEachMove<true>(b, side, -1, [&](const TableMove& move) {
        legal++;
        int child = exitCode(b, side, move);
        if (child == 0) draw = true;
        else if (codeIsLoss(child)) bestWin = bestWin ? std::min(bestWin, child + 1) : child + 1;
        else worstLoss = std::max(worstLoss, child + 1);
    });
    inside = quietMoves(
        b, side,
        [&](int m, int from) {
            uint32_t reachedIndex = movedIndex(b, index, m, from, frameFixedFor(b, m));
            if (std::find(reached, reached + reachedCount, reachedIndex) == reached + reachedCount)
                reached[reachedCount++] = reachedIndex;
        },
        distinct);
    legal += inside;
    if (distinct) inside = reachedCount;
    w.code = uint16_t(OPEN | worstLoss);
    if (legal == 0) {
        // Checkmate is a loss in 0 plies; stalemate stays a draw.
        w.escapes = CANNOT_LOSE;
        if (b.inCheck(side)) schedule(pending_[side], 1, local);
        return;
    }
    if (bestWin) schedule(pending_[side], bestWin, local);
    w.escapes = (bestWin || draw) ? CANNOT_LOSE : uint8_t(inside);
    if (!bestWin && !draw && inside == 0) schedule(pending_[side], worstLoss, local);
}

// A predecessor of a settled position: a win after a loss, one escape fewer
// after a win.
void TableGenerator::settle(int side, uint32_t local, int code) {
    Work& w = work_[side][local];
    if (!(w.code & OPEN) || w.code == ILLEGAL) return;
    if (!codeIsLoss(code)) {  // the predecessor's mover wins
        w.code = uint16_t(code);
        schedule(frontier_[side], code, local);
        return;
    }
    if (w.escapes == CANNOT_LOSE || w.escapes == 0 || --w.escapes != 0) return;
    int loss = std::max(code, int(w.code & ~OPEN));
    if (loss == code) {
        w.code = uint16_t(code);
        schedule(frontier_[side], code, local);
    } else {
        schedule(pending_[side], loss, local);
    }
}

// Takes back every king and piece move of the side that moved last.
void TableGenerator::propagate(int side, uint32_t local, int code) {
    const uint64_t index = base_ + local;
    TableBoard b;
    if (!boardOf(index, b)) return;  // cannot happen: only positions get a code
    const int mover = side ^ 1;
    const int kingSquare = b.sq[b.king[side]];
    const bool distinct = !layout_.hasPawns && onLongDiagonal(kingSquare);
    // The predecessors are gathered first and their records fetched from
    // memory together, rather than waiting on one miss after another.
    uint32_t found[160];
    int foundCount = 0;
    for (int m = 0; m < b.men; m++) {
        if (b.colour[m] != mover || b.type[m] == PAWN) continue;
        const int from = b.sq[m];
        const bool frameFixed = frameFixedFor(b, m);
        Bitboard targets = legalOrigins(b, m, kingSquare, manTargets(b.type[m], from, b.occ) & ~b.occ);
        while (targets) {
            b.sq[m] = lowestSquare(targets);
            targets &= targets - 1;
            uint32_t before = movedIndex(b, index, m, from, frameFixed);
            if (before != NO_INDEX && (!distinct || std::find(found, found + foundCount, before) == found + foundCount)) {
                found[foundCount++] = before;
                __builtin_prefetch(&work_[mover][before - base_], 1);
            }
        }
        b.sq[m] = from;
    }
    for (int i = 0; i < foundCount; i++) settle(mover, uint32_t(found[i] - base_), code + 1);
}

void TableGenerator::solveSlice(const Slice& slice) {
    const uint64_t size = layout_.sliceSize;
    base_ = uint64_t(slice.number) * size;
    kind_ = slice.kind;
    for (int side = 0; side < 2; side++) {
        reserveLarge(work_[side], size_t(size));
        work_[side].assign(size_t(size), Work{OPEN, 0, 0});
        pending_[side].clear();
        frontier_[side].clear();
    }
    highestScheduled_ = 0;
    const uint64_t sliceStart = workDone_;
    lookAtPositions();
    spreadValues();
    storeValues();
    // The draws never spread: the slice's work is done in full.
    workDone_ = sliceStart;
    advance(sliceWork(layout_));
}

// Every position of the slice: its exits valued, its moves counted, and the
// mates and wins by an exit scheduled.
void TableGenerator::lookAtPositions() {
    const uint64_t size = layout_.sliceSize;
    for (int side = 0; side < 2; side++)
        for (uint32_t first = 0; first < size; first += PROGRESS_STEP) {
            const uint32_t end = uint32_t(std::min<uint64_t>(size, first + PROGRESS_STEP));
            for (uint32_t local = first; local < end; local++) initPosition(side, local);
            advance(end - first);
        }
}

// The settled positions, nearest to mate first, each settling its
// predecessors, until no position is left to settle.
void TableGenerator::spreadValues() {
    uint32_t spread = 0;
    for (size_t code = 1; code <= highestScheduled_; code++) {
        for (int side = 0; side < 2; side++) {
            if (code >= pending_[side].size()) continue;
            for (uint32_t local : pending_[side][code])
                if ((work_[side][local].code & OPEN) && work_[side][local].code != ILLEGAL) {
                    work_[side][local].code = uint16_t(code);
                    schedule(frontier_[side], int(code), local);
                }
            std::vector<uint32_t>().swap(pending_[side][code]);
        }
        for (int side = 0; side < 2; side++) {
            if (code >= frontier_[side].size()) continue;
            // In entry order, so that neighbouring positions share their
            // predecessors' memory. propagate() only appends to later lists.
            std::vector<uint32_t>& list = frontier_[side][code];
            std::sort(list.begin(), list.end());
            for (size_t i = 0; i < list.size(); i++) {
                propagate(side, list[i], int(code));
                if (++spread == PROGRESS_STEP) {
                    advance(spread);
                    spread = 0;
                }
            }
            std::vector<uint32_t>().swap(frontier_[side][code]);
        }
    }
}

// The values of the slice into the table, counted into the report.
void TableGenerator::storeValues() {
    const uint64_t size = layout_.sliceSize;
    for (int side = 0; side < 2; side++)
        for (uint32_t local = 0; local < size; local++) {
            const uint16_t code = work_[side][local].code;
            int value;
            if (code == ILLEGAL) {
                report_.unused[side]++;
                value = TB_NOT_AVAILABLE;
            } else if (code & OPEN) {
                report_.draws[side]++;
                value = TB_DRAW;
            } else {
                (codeIsLoss(code) ? report_.losses : report_.wins)[side]++;
                report_.longestPlies = std::max(report_.longestPlies, code - 1);
                value = valueFromPlies(code - 1);
            }
            const uint64_t index = base_ + local;
            if (wide_) {
                own_->data[side][2 * index] = uint8_t(uint16_t(value) >> 8);
                own_->data[side][2 * index + 1] = uint8_t(value);
            } else {
                int8_t e = TB_BYTE_NOT_AVAILABLE;
                if (!byteFromValue(value, e) && !failed_) {
                    failed_ = true;
                    failure_ = "distances too long for one-byte entries";
                }
                own_->data[side][index] = uint8_t(e);
            }
        }
}

bool TableGenerator::run(MemoryTable& out, std::string& error) {
    own_ = &out;
    out.table = table_;
    out.wide = wide_;
    const size_t bytes = size_t(layout_.size) * (wide_ ? 2 : 1);
    for (int side = 0; side < 2; side++) {
        reserveLarge(out.data[side], bytes);
        out.data[side].assign(bytes, 0);
        for (size_t i = 0; i < bytes; i += wide_ ? 2 : 1) {
            if (wide_) {
                out.data[side][i] = 0x7F;
                out.data[side][i + 1] = 0xFF;
            } else {
                out.data[side][i] = uint8_t(TB_BYTE_NOT_AVAILABLE);
            }
        }
    }
    report_ = TableReport{};

    const std::vector<Slice> slices = solvingOrder(layout_);
    workTotal_ = slices.size() * sliceWork(layout_);
    for (const Slice& slice : slices) {
        solveSlice(slice);
        if (failed_) break;
    }
    for (int side = 0; side < 2; side++) {
        work_[side] = {};
    }
    if (failed_) {
        error = std::string(tableCatalogue[table_].name) + ": " + failure_;
        return false;
    }
    if (tableCatalogue[table_].flags & TABLE_SYMMETRIC) out.data[1] = {};
    return true;
}

void TableGenerator::advance(uint64_t units) {
    workDone_ += units;
    if (progress_) progress_(workDone_, workTotal_);
}

}  // namespace

uint64_t tableWork(int table) {
    const TableLayout& layout = tableLayout(table);
    return solvingOrder(layout).size() * sliceWork(layout);
}

bool solveTable(const TableStore& store, int table, MemoryTable& out, TableReport& report,
                const SolveProgress& progress, std::string& error) {
    TableGenerator generator(store, table, report, progress);
    return generator.run(out, error);
}

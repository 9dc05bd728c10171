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
#include "egtb/generator.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "egtb/block_format.h"
#include "egtb/catalogue.h"
#include "egtb/index_scheme.h"
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
constexpr int NO_MAN = -1;

// Codes: plies to mate plus one; 0 = draw.
int codeFromValue(int value) {
    if (value == 0) return 0;
    return pliesFromValue(value) + 1;
}
bool codeIsLoss(int code) { return code & 1; }

// Room for n elements, in huge pages where the system gives them: the
// generator reads its large arrays at random, and with 4 KB pages nearly
// every access would also miss the address translation cache.
template <class T>
void reserveLarge(std::vector<T>& v, size_t n) {
    if (v.capacity() >= n) return;
    std::vector<T>().swap(v);
    v.reserve(n);
    constexpr uintptr_t HUGE_PAGE = 2u << 20;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(v.data()) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(v.data() + n)) & ~(HUGE_PAGE - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

// --- a board of a few men ----------------------------------------------

Bitboard bit(int sq) { return Bitboard(1) << sq; }

bool onLongDiagonal(int sq) { return fileOf(sq) == rowOf(sq) || fileOf(sq) + rowOf(sq) == 7; }

Bitboard sliderAttacks(int type, int sq, Bitboard occ) {
    Bitboard attacks = 0;
    const int first = type == BISHOP ? 4 : 0, last = type == ROOK ? 4 : 8;
    for (int d = first; d < last; d++) {
        Bitboard ray = rayMask[d][sq];
        Bitboard blockers = ray & occ;
        if (blockers) ray ^= rayMask[d][directionSteps[d] > 0 ? lowestSquare(blockers) : highestSquare(blockers)];
        attacks |= ray;
    }
    return attacks;
}

Bitboard pieceTargets(int type, int sq, Bitboard occ) {
    if (type == KNIGHT) return knightAttacks[sq];
    if (type == KING) return kingAttacks[sq];
    return sliderAttacks(type, sq, occ);
}

// Squares strictly between two squares on a line, for the king-safety tests.
struct BetweenTable {
    Bitboard mask[64][64];
    BetweenTable() {
        for (int a = 0; a < 64; a++)
            for (int b = 0; b < 64; b++) mask[a][b] = direction[a][b] ? squaresBetween(direction[a][b], b, a) : 0;
    }
};
const BetweenTable& between() {
    static const BetweenTable table;  // after initBoardTables
    return table;
}

// The men of a table entry on their engine squares (a8 = 0); a captured
// man has square -1.
struct MenBoard {
    int men = 0;
    int8_t colour[TB_MAX_MEN];
    int8_t type[TB_MAX_MEN];
    int sq[TB_MAX_MEN];
    int king[2];
    Bitboard occ = 0;
    Bitboard byColour[2] = {0, 0};

    void place() {
        occ = byColour[0] = byColour[1] = 0;
        for (int m = 0; m < men; m++)
            if (sq[m] >= 0) {
                occ |= bit(sq[m]);
                byColour[colour[m]] |= bit(sq[m]);
            }
    }
    bool attacks(int m, int target) const {
        const int from = sq[m];
        switch (type[m]) {
            case PAWN: return pawnCaptures[colour[m]][from] & bit(target);
            case KNIGHT: return knightAttacks[from] & bit(target);
            case KING: return kingAttacks[from] & bit(target);
            default: {
                int step = direction[from][target];
                if (!step) return false;
                bool diagonal = step == 7 || step == -7 || step == 9 || step == -9;
                if ((type[m] == ROOK && diagonal) || (type[m] == BISHOP && !diagonal)) return false;
                return !(between().mask[from][target] & occ);
            }
        }
    }
    // Own men that stand alone between their king and an enemy slider: only
    // they (and the king) can expose the king by moving.
    Bitboard pinned(int side) const {
        const int k = sq[king[side]];
        Bitboard result = 0;
        for (int m = 0; m < men; m++) {
            if (colour[m] == side || sq[m] < 0 || type[m] < BISHOP || type[m] > QUEEN) continue;
            int step = direction[k][sq[m]];
            if (!step) continue;
            bool diagonal = step == 7 || step == -7 || step == 9 || step == -9;
            if ((type[m] == ROOK && diagonal) || (type[m] == BISHOP && !diagonal)) continue;
            Bitboard blockers = between().mask[k][sq[m]] & occ;
            if (blockers && !(blockers & (blockers - 1)) && (blockers & byColour[side])) result |= blockers;
        }
        return result;
    }
    bool attacked(int target, int by) const {
        for (int m = 0; m < men; m++)
            if (colour[m] == by && sq[m] >= 0 && attacks(m, target)) return true;
        return false;
    }
    bool inCheck(int side) const { return attacked(sq[king[side]], side ^ 1); }
};

// After a double step to `to`, whether a pawn of `side` stands beside it.
bool enPassantPossible(const MenBoard& b, int to, int side) {
    for (int m = 0; m < b.men; m++)
        if (b.colour[m] == side && b.type[m] == PAWN && b.sq[m] >= 0 && rowOf(b.sq[m]) == rowOf(to) &&
            (b.sq[m] == to - 1 || b.sq[m] == to + 1))
            return true;
    return false;
}

// The board of a table's men on tablebase squares (digit order); false
// when two men share a square.
bool boardFromSquares(const TableLayout& layout, const int* sq, MenBoard& b) {
    b.men = layout.men;
    for (int m = 0; m < b.men; m++) {
        b.colour[m] = int8_t(layout.manColour[m]);
        b.type[m] = int8_t(layout.manType[m]);
        b.sq[m] = flipRanks(sq[m]);
    }
    b.king[0] = layout.kingMen[0];
    b.king[1] = layout.kingMen[1];
    b.place();
    return popCount(b.occ) == b.men;
}

struct MoveInfo {
    int man;
    int from, to;
    int captured;   // man, or NO_MAN
    int promotion;  // piece type, or 0
    bool pawnMove;
    bool doublePush;
};

// Plays every legal move of `side` on the board, calling f(info) with the
// move made, and takes it back. `ep` is a square a pawn may take on in
// passing (-1 for none). With ExitsOnly the quiet king and piece moves are
// left out: those that only need counting are counted by quietMoves().
template <bool ExitsOnly = false, class F>
void forEachMove(MenBoard& b, int side, int ep, F&& f) {
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
            b.byColour[side ^ 1] ^= bit(capturedSq);
            b.occ ^= bit(capturedSq);
        }
        b.sq[m] = to;
        b.occ ^= bit(from) | bit(to);
        b.byColour[side] ^= bit(from) | bit(to);
        if (promotion) b.type[m] = int8_t(promotion);
        const bool safe = !checked && type != KING && !(pinned & bit(from)) && !(type == PAWN && to == ep);
        if (safe || !b.inCheck(side)) f(MoveInfo{m, from, to, captured, promotion, type == PAWN, doublePush});
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
            if (!(b.occ & bit(one))) {
                pawnTo(one, NO_MAN, false);
                if (rowOf(from) == startRow && !(b.occ & bit(one + pawnStep))) pawnTo(one + pawnStep, NO_MAN, true);
            }
            Bitboard captures = pawnCaptures[side][from] & b.byColour[side ^ 1];
            while (captures) {
                int to = lowestSquare(captures);
                captures &= captures - 1;
                pawnTo(to, manOn(to), false);
            }
            if (ep >= 0 && (pawnCaptures[side][from] & bit(ep))) play(m, ep, manOn(ep - pawnStep), 0, false);
            continue;
        }
        Bitboard targets = pieceTargets(b.type[m], from, b.occ) & ~b.byColour[side];
        if (ExitsOnly) targets &= b.byColour[side ^ 1];
        while (targets) {
            int to = lowestSquare(targets);
            targets &= targets - 1;
            play(m, to, (b.occ & bit(to)) ? manOn(to) : NO_MAN, 0, false);
        }
    }
}

// The legal quiet moves of the king and pieces of `side`: counted, or with
// `each` given, also visited with the move made on the board (man, from).
template <class F>
int quietMoves(MenBoard& b, int side, F&& each, bool visit) {
    const bool checked = b.inCheck(side);
    const Bitboard pinned = checked ? 0 : b.pinned(side);
    int count = 0;
    for (int m = 0; m < b.men; m++) {
        if (b.colour[m] != side || b.sq[m] < 0 || b.type[m] == PAWN) continue;
        const int from = b.sq[m];
        Bitboard targets = pieceTargets(b.type[m], from, b.occ) & ~b.occ;
        const bool safe = !checked && b.type[m] != KING && !(pinned & bit(from));
        if (safe && !visit) {
            count += popCount(targets);
            continue;
        }
        while (targets) {
            const int to = lowestSquare(targets);
            targets &= targets - 1;
            b.sq[m] = to;
            b.occ ^= bit(from) | bit(to);
            b.byColour[side] ^= bit(from) | bit(to);
            if (safe || !b.inCheck(side)) {
                count++;
                if (visit) each(m, from);
            }
            b.sq[m] = from;
            b.occ ^= bit(from) | bit(to);
            b.byColour[side] ^= bit(from) | bit(to);
        }
    }
    return count;
}

// --- materials ------------------------------------------------------------

// A material as a number: the ten counts of the count tree in base 4.
int materialKey(const int counts[10]) {
    int key = 0;
    for (int i = 9; i >= 0; i--) key = key * 4 + counts[i];
    return key;
}

// Material key -> table number, negative for the colours exchanged.
const std::vector<int16_t>& materialTable() {
    static const std::vector<int16_t> table = [] {
        std::vector<int16_t> t(1 << 20, 0);
        for (int n = 1; n < TABLE_COUNT; n++) {
            if (!tableHasIndex(n)) continue;
            int c[10], swapped[10];
            countsFromName(tableCatalogue[n].name, c);
            for (int i = 0; i < 10; i++) swapped[i] = c[(i + 5) % 10];
            t[size_t(materialKey(swapped))] = int16_t(-n);
            t[size_t(materialKey(c))] = int16_t(n);
        }
        return t;
    }();
    return table;
}

int tableOfCounts(const int counts[10]) {
    for (int i = 0; i < 10; i++)
        if (counts[i] < 0 || counts[i] > 3) return 0;
    return materialTable()[size_t(materialKey(counts))];
}

std::string tablePath(const std::string& directory, int table, int side, bool compressed) {
    std::string path = directory.empty() ? "" : directory + "/";
    path += tableCatalogue[table].name;
    path += side ? ".nbb" : ".nbw";
    if (compressed) path += ".emd";
    return path;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& data) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fseek(file, 0, SEEK_END);
    long length = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    bool ok = length >= 0;
    if (ok) {
        reserveLarge(data, size_t(length));
        data.resize(size_t(length));
        ok = std::fread(data.data(), 1, data.size(), file) == data.size();
    }
    std::fclose(file);
    return ok;
}

bool readCompressedFile(const std::string& path, std::vector<uint8_t>& data, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    EmdHeader header;
    bool ok = readEmdHeader(fd, header) == DECODE_OK && header.blockSize == TB_BLOCK_SIZE;
    DecodeArea* area = ok ? createDecodeArea() : nullptr;
    if (ok && area) {
        const size_t bytes = size_t(uint64_t(header.blocks - 1) * TB_BLOCK_SIZE + header.lastBlockSize);
        reserveLarge(data, bytes);
        data.assign(bytes, 0);
        std::vector<uint8_t> block(TB_BLOCK_SIZE);
        for (uint32_t b = 0; b < header.blocks && ok; b++) {
            size_t n = decodeBlock(fd, header, b, area, block.data());
            ok = n > 0;
            if (ok) std::memcpy(data.data() + uint64_t(b) * TB_BLOCK_SIZE, block.data(), n);
        }
    }
    if (!ok) error = path + ": unreadable compressed table";
    destroyDecodeArea(area);
    freeEmdHeader(header);
    close(fd);
    return ok && area;
}

}  // namespace

int MemoryTable::value(int side, uint32_t index) const {
    const std::vector<uint8_t>& d = data[side];
    if (wide) {
        if (2 * uint64_t(index) + 1 >= d.size()) return TB_NOT_AVAILABLE;
        return int16_t(uint16_t(d[2 * size_t(index)] << 8 | d[2 * size_t(index) + 1]));
    }
    if (index >= d.size()) return TB_NOT_AVAILABLE;
    return valueFromByte(int8_t(d[index]));
}

std::vector<int> tableDependencies(int table) {
    std::vector<int> result;
    int counts[10];
    if (!tableHasIndex(table) || !countsFromName(tableCatalogue[table].name, counts)) return result;
    auto add = [&](const int c[10]) {
        bool empty = true;
        for (int i = 0; i < 10; i++) empty &= c[i] == 0;
        if (empty) return;
        int t = tableOfCounts(c);
        t = t < 0 ? -t : t;
        if (t > 0 && std::find(result.begin(), result.end(), t) == result.end()) result.push_back(t);
    };
    for (int i = 0; i < 10; i++) {
        if (!counts[i]) continue;
        int c[10];
        std::copy(counts, counts + 10, c);
        c[i]--;
        add(c);  // a capture
        if (i % 5 != 0) continue;
        for (int promotion = 1; promotion <= 4; promotion++) {
            c[i + promotion]++;
            add(c);  // a promotion
            const int enemy = i == 0 ? 5 : 0;
            for (int j = enemy; j < enemy + 5; j++)
                if (c[j]) {
                    c[j]--;
                    add(c);  // a promotion that captures
                    c[j]++;
                }
            c[i + promotion]--;
        }
    }
    return result;
}

// --- the generator of one table --------------------------------------------

class TableGenerator {
public:
    TableGenerator(TableStore& store, int table)
        : store_(store), table_(table), layout_(tableLayout(table)),
          wide_(tableCatalogue[table].flags & TABLE_16BIT) {
        for (int m = 0; m < layout_.men; m++)
            inRun_[m] = layout_.runStart[m] != m || (m + 1 < layout_.men && layout_.runStart[m + 1] == m);
    }

    bool run(MemoryTable& out, std::string& error);

private:
    struct Slice {
        uint32_t number;
        int advance;
        PawnSlice kind;
    };

    // The men of entry `index` on their squares; false when the digits name no position.
    bool boardOf(uint64_t index, MenBoard& b) const;
    uint32_t indexOf(const MenBoard& b, bool needSymmetries) const;
    bool canonical(uint64_t index, const MenBoard& b, PawnSlice kind) const;
    // The entry after man m moved from `from` (the board shows the move made),
    // from the entry before it: a change of one digit when the frame stays.
    uint32_t movedIndex(const MenBoard& b, uint64_t before, int m, int from, bool frameFixed) const;
    // Whether the frame of the entry stays put when the man moves.
    bool frameFixedFor(const MenBoard& b, int m) const;
    int exitCode(MenBoard& b, int side, const MoveInfo& move);
    int codeAfterMoves(MenBoard& b, int side, int ep);
    // The code of an entry of this table (solved slices only); -1 for none.
    int ownCode(int side, uint32_t index) const;
    int otherTableCode(const MenBoard& b, int side) const;
    void solveSlice(const Slice& slice);
    void initPosition(int side, uint32_t local);
    void propagate(int side, uint32_t local, int code);
    void settle(int side, uint32_t local, int code);
    void schedule(std::vector<std::vector<uint32_t>>& lists, int code, uint32_t local);

    TableStore& store_;
    const int table_;
    const TableLayout& layout_;
    const bool wide_;
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

bool TableGenerator::boardOf(uint64_t index, MenBoard& b) const {
    int sq[TB_MAX_MEN];
    return decodeIndex(layout_, index, sq) && boardFromSquares(layout_, sq, b);
}

// The entry of a board of this table. Without `needSymmetries` the board is
// taken to be in the canonical frame already, which holds after a king or
// piece move when the pawns, or (pawnless) the kings, fix the frame.
uint32_t TableGenerator::indexOf(const MenBoard& b, bool needSymmetries) const {
    int sq[TB_MAX_MEN];
    for (int m = 0; m < b.men; m++) sq[m] = flipRanks(b.sq[m]);
    return needSymmetries ? canonicalIndex(layout_, sq) : composeIndex(layout_, sq);
}

bool TableGenerator::canonical(uint64_t index, const MenBoard& b, PawnSlice kind) const {
    int sq[TB_MAX_MEN];
    for (int m = 0; m < b.men; m++) sq[m] = flipRanks(b.sq[m]);
    bool full = layout_.hasPawns ? kind == PawnSlice::Symmetric : kingsOnDiagonal(layout_, sq);
    if (full) return canonicalIndex(layout_, sq) == index;
    for (int m = layout_.pawnMen; m < b.men; m++)
        if (layout_.runStart[m] != m && sq[m] < sq[m - 1]) return false;
    return true;
}

bool TableGenerator::frameFixedFor(const MenBoard& b, int m) const {
    if (layout_.hasPawns) return kind_ != PawnSlice::Symmetric && b.type[m] != PAWN;
    if (b.type[m] == KING) return false;
    const int wk = flipRanks(b.sq[b.king[0]]), bk = flipRanks(b.sq[b.king[1]]);
    return !(tbFile(wk) == tbRank(wk) && tbFile(bk) == tbRank(bk));
}

uint32_t TableGenerator::movedIndex(const MenBoard& b, uint64_t before, int m, int from, bool frameFixed) const {
    if (!frameFixed) return indexOf(b, true);
    if (inRun_[m]) return indexOf(b, false);
    return uint32_t(before + (int64_t(flipRanks(b.sq[m])) - flipRanks(from)) * int64_t(layout_.stride[m]));
}

int TableGenerator::ownCode(int side, uint32_t index) const {
    int value = own_->value(side, index);
    return value == TB_NOT_AVAILABLE ? -1 : codeFromValue(value);
}

int TableGenerator::otherTableCode(const MenBoard& b, int side) const {
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
int TableGenerator::exitCode(MenBoard& b, int mover, const MoveInfo& move) {
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
int TableGenerator::codeAfterMoves(MenBoard& b, int side, int ep) {
    int bestWin = 0, worstLoss = 0;
    bool draw = false, any = false;
    forEachMove(b, side, ep, [&](const MoveInfo& move) {
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
    MenBoard b;
    if (!boardOf(index, b) || !canonical(index, b, kind_) ||
        (layout_.hasPawns && (kingAttacks[b.sq[b.king[0]]] & bit(b.sq[b.king[1]]))) || b.inCheck(side ^ 1)) {
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
    forEachMove<true>(b, side, -1, [&](const MoveInfo& move) {
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
namespace {

// The squares a man of the side that moved last may have come from
// without leaving the other king attacked in the position before: not a
// square from which it attacks that king itself, on the line of any man
// that would then give check, and nowhere at all when a knight, pawn or
// king of that side gives check now.
Bitboard legalOrigins(const MenBoard& b, int m, int kingSquare, Bitboard targets) {
    const Bitboard occ = b.occ ^ bit(b.sq[m]);
    targets &= ~(b.type[m] == KING ? kingAttacks[kingSquare] : pieceTargets(b.type[m], kingSquare, occ));
    for (int c = 0; c < b.men && targets; c++) {
        if (c == m || b.colour[c] != b.colour[m] || b.sq[c] < 0) continue;
        const int at = b.sq[c];
        switch (b.type[c]) {
            case PAWN:
                if (pawnCaptures[b.colour[c]][at] & bit(kingSquare)) targets = 0;
                break;
            case KNIGHT:
                if (knightAttacks[at] & bit(kingSquare)) targets = 0;
                break;
            case KING:
                break;  // the kings never touch in a legal position
            default: {
                const int step = direction[at][kingSquare];
                if (!step) break;
                const bool diagonal = step == 7 || step == -7 || step == 9 || step == -9;
                if ((b.type[c] == ROOK && diagonal) || (b.type[c] == BISHOP && !diagonal)) break;
                const Bitboard line = between().mask[at][kingSquare];
                if (!(line & occ)) targets &= line;  // open once the man has left: it must block
            }
        }
    }
    return targets;
}

}  // namespace

void TableGenerator::propagate(int side, uint32_t local, int code) {
    const uint64_t index = base_ + local;
    MenBoard b;
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
        Bitboard targets = legalOrigins(b, m, kingSquare, pieceTargets(b.type[m], from, b.occ) & ~b.occ);
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
    for (int side = 0; side < 2; side++)
        for (uint32_t local = 0; local < size; local++) initPosition(side, local);

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
            for (size_t i = 0; i < list.size(); i++) propagate(side, list[i], int(code));
            std::vector<uint32_t>().swap(frontier_[side][code]);
        }
    }

    TableStore::Report& report = store_.report_;
    for (int side = 0; side < 2; side++)
        for (uint32_t local = 0; local < size; local++) {
            const uint16_t code = work_[side][local].code;
            int value;
            if (code == ILLEGAL) {
                report.unused[side]++;
                value = TB_NOT_AVAILABLE;
            } else if (code & OPEN) {
                report.draws[side]++;
                value = TB_DRAW;
            } else {
                (codeIsLoss(code) ? report.losses : report.wins)[side]++;
                report.longestPlies = std::max(report.longestPlies, code - 1);
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
    store_.report_ = TableStore::Report{};

    // Slices, the most advanced pawns first.
    std::vector<Slice> slices;
    const uint64_t count = layout_.size / layout_.sliceSize;
    for (uint64_t s = 0; s < count; s++) {
        Slice slice{uint32_t(s), 0, PawnSlice::Asymmetric};
        if (layout_.hasPawns) {
            int sq[TB_MAX_MEN];
            decodeIndex(layout_, s * layout_.sliceSize, sq);
            slice.kind = classifyPawnSlice(layout_, sq);
            if (slice.kind == PawnSlice::Invalid) continue;
            for (int m = 0; m < layout_.pawnMen; m++)
                slice.advance += layout_.manColour[m] == 0 ? tbRank(sq[m]) : 7 - tbRank(sq[m]);
        }
        slices.push_back(slice);
    }
    std::stable_sort(slices.begin(), slices.end(), [](const Slice& a, const Slice& b) { return a.advance > b.advance; });
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

bool legalEntry(int table, int side, uint32_t index, int* sq) {
    const TableLayout& layout = tableLayout(table);
    MenBoard b;
    if (!decodeIndex(layout, index, sq) || !boardFromSquares(layout, sq, b) || b.inCheck(side ^ 1)) return false;
    int copy[TB_MAX_MEN];
    std::copy(sq, sq + layout.men, copy);
    return canonicalIndex(layout, copy) == index;
}

void forEachLegalEntry(int table, int side, const std::function<void(uint32_t, const int*)>& visit) {
    const uint64_t size = tableLayout(table).size;
    for (uint64_t index = 0; index < size; index++) {
        int sq[TB_MAX_MEN];
        if (legalEntry(table, side, uint32_t(index), sq)) visit(uint32_t(index), sq);
    }
}

std::string entryFen(int table, const int* sq, int side) {
    const TableLayout& layout = tableLayout(table);
    char board[64];
    std::fill(board, board + 64, '.');
    for (int m = 0; m < layout.men; m++) {
        const char letter = " PNBRQK"[layout.manType[m]];
        board[flipRanks(sq[m])] = layout.manColour[m] ? char(letter + ('a' - 'A')) : letter;
    }
    std::string fen;
    for (int row = 0; row < 8; row++) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            const char c = board[row * 8 + file];
            if (c == '.') {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (row < 7) fen += '/';
    }
    return fen + (side ? " b - - 0 1" : " w - - 0 1");
}

// --- the store ---------------------------------------------------------------

TableStore::TableStore(GeneratorOptions options) : options_(std::move(options)) { materialTable(); }

TableStore::~TableStore() = default;

const MemoryTable* TableStore::find(int table) const {
    auto it = tables_.find(table);
    return it == tables_.end() ? nullptr : it->second.get();
}

void TableStore::releaseAbove(int men) {
    for (auto it = tables_.begin(); it != tables_.end();)
        if (tableMen(it->first) > men) it = tables_.erase(it);
        else ++it;
}

int TableStore::probe(int men, const int8_t* colour, const int8_t* type, const int* square, int sideToMove) const {
    int lists[2][LIST_SLOTS] = {};
    int counts[10] = {};
    int pieces = 0;
    for (int m = 0; m < men; m++) {
        if (type[m] == KING) {
            lists[colour[m]][KING_SLOT] = square[m];
            continue;
        }
        int& n = counts[colour[m] * 5 + type[m] - 1];
        if (n == 3) return TB_NOT_AVAILABLE;
        lists[colour[m]][listSlot(type[m], n++)] = square[m];
        pieces++;
    }
    if (pieces == 0) return TB_DRAW;  // bare kings
    int table = tableOfCounts(counts);
    if (table == 0) return TB_NOT_AVAILABLE;
    const bool reversed = table < 0;
    if (reversed) table = -table;
    const MemoryTable* t = find(table);
    if (!t) return TB_NOT_AVAILABLE;
    const int side = reversed ? 1 - sideToMove : sideToMove;
    const TableInfo& info = tableCatalogue[table];
    uint32_t index = info.index[side](lists[reversed ? 1 : 0], lists[reversed ? 0 : 1], TB_NO_SQUARE, reversed);
    if (index == NO_INDEX) return TB_NOT_AVAILABLE;
    return t->value((info.flags & TABLE_SYMMETRIC) ? 0 : side, index);
}

bool TableStore::load(int table, std::string& error) {
    const TableInfo& info = tableCatalogue[table];
    auto t = std::make_unique<MemoryTable>();
    t->table = table;
    t->wide = info.flags & TABLE_16BIT;
    const int sides = (info.flags & TABLE_SYMMETRIC) ? 1 : 2;
    for (int side = 0; side < sides; side++) {
        std::vector<uint8_t>& data = t->data[side];
        if (!readWholeFile(tablePath(options_.directory, table, side, false), data) &&
            !readCompressedFile(tablePath(options_.directory, table, side, true), data, error))
            return false;
        if (data.size() != uint64_t(info.expected[side]) * (t->wide ? 2 : 1)) {
            error = std::string(info.name) + ": table file of the wrong size in " + options_.directory;
            return false;
        }
    }
    tables_[table] = std::move(t);
    return true;
}

bool TableStore::write(const MemoryTable& table, std::string& error) const {
    const int sides = (tableCatalogue[table.table].flags & TABLE_SYMMETRIC) ? 1 : 2;
    for (int side = 0; side < sides; side++) {
        const std::vector<uint8_t>& data = table.data[side];
        const std::string path = tablePath(options_.directory, table.table, side, options_.compress);
        if (options_.compress) {
            if (!writeEmdFile(path, data.data(), data.size(), options_.level, error)) return false;
            continue;
        }
        const std::string temporary = path + ".part";
        FILE* file = std::fopen(temporary.c_str(), "wb");
        bool ok = file && std::fwrite(data.data(), 1, data.size(), file) == data.size();
        if (file) ok = std::fclose(file) == 0 && ok;
        if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
            std::remove(temporary.c_str());
            error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

bool TableStore::generate(int table, std::string& error) {
    auto start = std::chrono::steady_clock::now();
    auto t = std::make_unique<MemoryTable>();
    TableGenerator generator(*this, table);
    if (!generator.run(*t, error)) return false;
    report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (options_.writeFiles && !write(*t, error)) return false;
    tables_[table] = std::move(t);
    return true;
}

bool TableStore::ensure(int table, std::string& error) {
    if (!tableHasIndex(table)) {
        error = "no such table";
        return false;
    }
    if (find(table)) return true;
    error.clear();
    if (load(table, error)) return true;
    if (!error.empty()) return false;  // a file is there but unusable
    for (int dependency : tableDependencies(table))
        if (!ensure(dependency, error)) return false;
    if (!generate(table, error)) return false;
    if (options_.verbose) {
        const Report& r = report_;
        std::printf("%-7s %7.2f s  wtm %llu won %llu lost %llu drawn  btm %llu won %llu lost %llu drawn  longest %d plies\n",
                    tableCatalogue[table].name, r.seconds, (unsigned long long)r.wins[0],
                    (unsigned long long)r.losses[0], (unsigned long long)r.draws[0], (unsigned long long)r.wins[1],
                    (unsigned long long)r.losses[1], (unsigned long long)r.draws[1], r.longestPlies);
        std::fflush(stdout);
    }
    return true;
}

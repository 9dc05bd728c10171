#include "egtb/index_scheme.h"

#include <array>
#include <initializer_list>
#include <utility>

namespace {

// The eight symmetries: bit 0 mirrors the files, bit 1 the ranks, bit 2
// exchanges file and rank (reflection in the a1-h8 diagonal, applied first).
constexpr std::array<std::array<uint8_t, 64>, 8> makeSymmetries() {
    std::array<std::array<uint8_t, 64>, 8> sym{};
    for (int t = 0; t < 8; t++)
        for (int sq = 0; sq < 64; sq++) {
            int f = tbFile(sq), r = tbRank(sq);
            if (t & 4) std::swap(f, r);
            if (t & 1) f = 7 - f;
            if (t & 2) r = 7 - r;
            sym[t][sq] = uint8_t(r * 8 + f);
        }
    return sym;
}
constexpr auto symmetries = makeSymmetries();

constexpr bool inTriangle(int sq) { return tbFile(sq) <= 3 && tbRank(sq) <= tbFile(sq); }
constexpr bool onDiagonal(int sq) { return tbFile(sq) == tbRank(sq); }
constexpr bool kingsTouch(int a, int b) {
    int df = tbFile(a) - tbFile(b), dr = tbRank(a) - tbRank(b);
    return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}

// The 462 placements of two kings that no symmetry can bring closer to a1:
// White king in the triangle, Black king elsewhere and not touching it, and
// on or below the diagonal when the White king is on it.
struct KingPairs {
    int16_t index[64][64];
    uint8_t white[TB_KING_PAIRS], black[TB_KING_PAIRS];
    // For any two king squares: the symmetry that brings them to their
    // placement, that placement's number (-1 when the kings touch or share
    // a square), and a second symmetry giving the same placement when both
    // kings end on the diagonal (-1 otherwise): then the other men decide.
    struct Frame {
        int8_t symmetry;
        int8_t alternative;
        int16_t pair;
    } frame[64][64];
    int count;
};

constexpr KingPairs makeKingPairs() {
    KingPairs kp{};
    int n = 0;
    for (int w = 0; w < 64; w++)
        for (int b = 0; b < 64; b++) {
            kp.index[w][b] = -1;
            if (!inTriangle(w) || w == b || kingsTouch(w, b)) continue;
            if (onDiagonal(w) && tbRank(b) > tbFile(b)) continue;
            kp.white[n] = uint8_t(w);
            kp.black[n] = uint8_t(b);
            kp.index[w][b] = int16_t(n++);
        }
    kp.count = n;
    for (int w = 0; w < 64; w++)
        for (int b = 0; b < 64; b++) {
            auto& f = kp.frame[w][b];
            f = {0, -1, -1};
            for (int t = 0; t < 8; t++) {
                int pair = kp.index[symmetries[t][w]][symmetries[t][b]];
                if (pair < 0) continue;
                if (f.pair < 0) f = {int8_t(t), -1, int16_t(pair)};
                else f.alternative = int8_t(t);
            }
        }
    return kp;
}
constexpr KingPairs kingPairs = makeKingPairs();
static_assert(kingPairs.count == TB_KING_PAIRS);

int leadDigit(int sq) { return (tbRank(sq) - 1) * 4 + tbFile(sq); }
int leadSquare(int digit) { return (digit / 4 + 1) * 8 + digit % 4; }

// Ascending order inside every run of like men.
void sortRuns(const TableLayout& layout, int* sq) {
    for (int m = 1; m < layout.men; m++) {
        int start = layout.runStart[m];
        int v = sq[m], k = m;
        while (k > start && sq[k - 1] > v) {
            sq[k] = sq[k - 1];
            k--;
        }
        sq[k] = v;
    }
}

uint32_t digitsToIndex(const TableLayout& layout, const int* sq) {
    uint64_t index;
    int m;
    if (layout.hasPawns) {
        index = uint64_t(leadDigit(sq[0])) * layout.stride[0];
        for (m = 1; m < layout.pawnMen; m++) index += uint64_t(sq[m] - 8) * layout.stride[m];
    } else {
        int pair = kingPairs.index[sq[0]][sq[1]];
        if (pair < 0) return NO_INDEX;
        index = uint64_t(pair) * layout.stride[0];
        m = 2;
    }
    for (; m < layout.men; m++) index += uint64_t(sq[m]) * layout.stride[m];
    return uint32_t(index);
}

// One candidate orientation of a pawn table: the lead pawn goes first.
// False when no pawn of the lead colour stands on files a-d.
bool placeLeadPawn(const TableLayout& layout, int* sq) {
    int best = -1;
    for (int m = 0; m < layout.leadCount; m++)
        if (tbFile(sq[m]) <= 3 && (best < 0 || sq[m] < sq[best])) best = m;
    if (best < 0) return false;
    std::swap(sq[0], sq[best]);
    return true;
}

}  // namespace

int applySymmetry(int t, int sq) { return symmetries[t][sq]; }

uint32_t composeIndex(const TableLayout& layout, int sq[TB_MAX_MEN]) {
    sortRuns(layout, sq);
    return digitsToIndex(layout, sq);
}

uint32_t canonicalIndex(const TableLayout& layout, int sq[TB_MAX_MEN]) {
    const int men = layout.men;
    uint32_t best = NO_INDEX;
    int bestSq[TB_MAX_MEN];
    if (layout.hasPawns) {
        for (int m = 0; m < layout.pawnMen; m++)
            if (tbRank(sq[m]) == 0 || tbRank(sq[m]) == 7) return NO_INDEX;
        if (sq[layout.kingMen[0]] == sq[layout.kingMen[1]] || kingsTouch(sq[layout.kingMen[0]], sq[layout.kingMen[1]]))
            return NO_INDEX;
        for (int t = 0; t < 2; t++) {
            int cand[TB_MAX_MEN];
            for (int m = 0; m < men; m++) cand[m] = symmetries[t][sq[m]];
            if (!placeLeadPawn(layout, cand)) continue;
            sortRuns(layout, cand);
            uint32_t index = digitsToIndex(layout, cand);
            if (index < best) {
                best = index;
                for (int m = 0; m < men; m++) bestSq[m] = cand[m];
            }
        }
    } else {
        const KingPairs::Frame& frame = kingPairs.frame[sq[0]][sq[1]];
        if (frame.pair < 0) return NO_INDEX;
        for (int t : {int(frame.symmetry), int(frame.alternative)}) {
            if (t < 0) break;
            int cand[TB_MAX_MEN];
            for (int m = 0; m < men; m++) cand[m] = symmetries[t][sq[m]];
            sortRuns(layout, cand);
            uint64_t index = uint64_t(frame.pair) * layout.stride[0];
            for (int m = 2; m < men; m++) index += uint64_t(cand[m]) * layout.stride[m];
            if (index < best) {
                best = uint32_t(index);
                for (int m = 0; m < men; m++) bestSq[m] = cand[m];
            }
        }
    }
    if (best != NO_INDEX)
        for (int m = 0; m < men; m++) sq[m] = bestSq[m];
    return best;
}

bool decodeIndex(const TableLayout& layout, uint64_t index, int sq[TB_MAX_MEN]) {
    if (index >= layout.size) return false;
    // The trailing digits are all base 64: kings (with pawns) and pieces.
    const int first64 = layout.hasPawns ? layout.pawnMen : 2;
    for (int m = layout.men - 1; m >= first64; m--) {
        sq[m] = int(index & 63);
        index >>= 6;
    }
    uint32_t head = uint32_t(index);
    if (!layout.hasPawns) {
        sq[0] = kingPairs.white[head];
        sq[1] = kingPairs.black[head];
        return true;
    }
    for (int m = layout.pawnMen - 1; m > 0; m--) {
        sq[m] = int(head % 48) + 8;
        head /= 48;
    }
    sq[0] = leadSquare(int(head));
    return true;
}

PawnSlice classifyPawnSlice(const TableLayout& layout, const int sq[TB_MAX_MEN]) {
    const int n = layout.pawnMen;
    for (int a = 0; a < n; a++)
        for (int b = a + 1; b < n; b++)
            if (sq[a] == sq[b]) return PawnSlice::Invalid;
    int same[TB_MAX_MEN], mirrored[TB_MAX_MEN];
    for (int m = 0; m < layout.men; m++) {
        same[m] = sq[m];
        mirrored[m] = flipFiles(sq[m]);
    }
    placeLeadPawn(layout, same);
    sortRuns(layout, same);
    for (int m = 0; m < n; m++)
        if (same[m] != sq[m]) return PawnSlice::Invalid;
    if (!placeLeadPawn(layout, mirrored)) return PawnSlice::Asymmetric;
    sortRuns(layout, mirrored);
    for (int m = 0; m < n; m++)
        if (mirrored[m] != sq[m]) return mirrored[m] < sq[m] ? PawnSlice::Invalid : PawnSlice::Asymmetric;
    return PawnSlice::Symmetric;
}

uint32_t indexPosition(const TableLayout& layout, int side, const int* first, const int* second, int ep,
                       bool reversed) {
    // A colour-symmetric table has one file, written for White to move: a
    // position with Black to move is read as its colour-exchanged twin.
    if (layout.symmetric && side == 1) {
        std::swap(first, second);
        reversed = !reversed;
        side = 0;
    }
    int sq[TB_MAX_MEN];
    for (int m = 0; m < layout.men; m++) {
        const int* list = layout.manColour[m] == 0 ? first : second;
        int s = list[layout.manSlot[m]];
        if (s < 0 || s > 63) return NO_INDEX;
        sq[m] = reversed ? flipRanks(s) : s;
    }
    if (ep != TB_NO_SQUARE && ep >= 0 && ep < 64) {
        if (reversed) ep = flipRanks(ep);
        // The pawn that just advanced two squares can be taken in passing by
        // a pawn of the side to move standing beside it; the table does not
        // hold that right, so such positions are left to the search.
        int from = side == 0 ? ep - 8 : ep + 8;  // rank of the capturing pawns
        if (tbRank(ep) == (side == 0 ? 5 : 2))
            for (int m = 0; m < layout.pawnMen; m++) {
                if (layout.manColour[m] != side) continue;
                int s = sq[m];
                if (tbRank(s) == tbRank(from) && (s == from - 1 || s == from + 1)) return NO_INDEX;
            }
    }
    return canonicalIndex(layout, sq);
}

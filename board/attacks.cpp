// Every constant table the board, the move generators and the evaluation
// read, and the attack queries built on them. Sliding pieces use rotated
// bitboards: the occupancy of any rank, file or diagonal is one shift and
// one mask away, and a table indexed by [square][line occupancy] gives the
// attack set as an ordinary bitboard.
#include "board/attacks.h"

#include <algorithm>
#include <cstdlib>

// --- tables filled at start-up --------------------------------------------

uint8_t fileMajorIndex[64];
uint8_t a1h8Index[64];
uint8_t a8h1Index[64];
uint8_t a1h8Shift[64];
uint8_t a1h8LineMask[64];
uint8_t a8h1Shift[64];
uint8_t a8h1LineMask[64];

Bitboard squareMask[64];
RotatedBits rotatedBits[64];

Bitboard rankAttackTable[64][256];
Bitboard fileAttackTable[64][256];
Bitboard a1h8AttackTable[64][256];
Bitboard a8h1AttackTable[64][256];

Bitboard knightAttacks[64];
Bitboard kingAttacks[64];
Bitboard pawnCaptures[2][64];
Bitboard pawnPush[2][64][8];
Bitboard epNeighbours[64];

Bitboard rayMask[8][64];
int32_t direction[64][64];

Bitboard fileMask[8];
Bitboard rankMask[8];
Bitboard rankMaskByRank[9];
Bitboard filesAtoC, filesAtoD, filesFtoH, filesEtoH, filesBtoG;
Bitboard lightSquares, darkSquares;
Bitboard adjacentFiles[64];
Bitboard passedMask[2][64];
Bitboard adjacentAheadMask[64];
Bitboard adjacentBehindMask[64];
Bitboard neighbourMask[64];
Bitboard neighbourUpMask[64];
Bitboard neighbourDownMask[64];
Bitboard pawnSquareMask[2][64];
Bitboard pawnSquareMaskWide[2][64];

uint8_t popCountByte[256];
uint8_t lowestBitByte[256];
uint8_t highestBitByte[256];
uint8_t adjacentPairByte[256];
uint8_t outsidePasserTable[256][256];
uint8_t lesserOutsidePasserTable[256][256];

namespace {

bool onBoard(int row, int file) { return row >= 0 && row < 8 && file >= 0 && file < 8; }

// Attacks along one line of length `length` from position p, given the
// line's occupancy as a byte: every square up to and including the first
// occupied one in each direction. Whether p itself is marked occupied makes
// no difference, which is why a lookup from an empty square gives the same
// set as from an occupied one.
unsigned lineAttacks(int p, unsigned occ, int length) {
    unsigned result = 0;
    for (int i = p + 1; i < length; i++) {
        result |= 1u << i;
        if (occ & (1u << i)) break;
    }
    for (int i = p - 1; i >= 0; i--) {
        result |= 1u << i;
        if (occ & (1u << i)) break;
    }
    return result;
}

// Leaper targets: s + offset for the offsets whose target lies on the board
// within `reach` rows and files (this rejects offsets that wrap round an
// edge of the board).
Bitboard leaperTargets(int sq, const int (&offsets)[8], int reach) {
    Bitboard targets = 0;
    for (int offset : offsets) {
        int to = sq + offset;
        if (to < 0 || to > 63) continue;
        int distance = std::max(std::abs(rowOf(to) - rowOf(sq)), std::abs(fileOf(to) - fileOf(sq)));
        if (distance <= reach) targets |= 1ull << to;
    }
    return targets;
}

void initLeapers() {
    static const int kingOffsets[8] = {1, 9, 8, 7, -1, -9, -8, -7};
    static const int knightOffsets[8] = {-17, -15, -6, 10, 17, 15, 6, -10};
    for (int sq = 0; sq < 64; sq++) {
        kingAttacks[sq] = leaperTargets(sq, kingOffsets, 1);
        knightAttacks[sq] = leaperTargets(sq, knightOffsets, 2);
    }
}

// The renumbering of one diagonal family for its rotated occupancy: the 15
// diagonals one after another, each from its upper end (towards rank 8)
// down, so that every diagonal is a run of contiguous bits. The a1-h8
// diagonals (upper end towards the h-file, fileStep 1) run from a8 to h1,
// the a8-h1 diagonals (fileStep -1) from h8 to a1.
void numberDiagonals(uint8_t (&index)[64], uint8_t (&shift)[64], uint8_t (&lineMask)[64], int fileStep) {
    int bit = 0;
    for (int d = 0; d < 15; d++) {
        int row = d < 8 ? 0 : d - 7;
        int file = d < 8 ? (fileStep > 0 ? d : 7 - d) : (fileStep > 0 ? 7 : 0);
        const int first = bit;
        const int length = 8 - std::abs(d - 7);
        for (; onBoard(row, file); row++, file -= fileStep) {
            const int sq = squareAt(row, file);
            index[sq] = uint8_t(bit++);
            shift[sq] = uint8_t(first);
            lineMask[sq] = uint8_t((1u << length) - 1);
        }
    }
}

// Files one after another, each from rank 8 down: bit file * 8 + row.
void numberFiles() {
    for (int sq = 0; sq < 64; sq++) fileMajorIndex[sq] = uint8_t(fileOf(sq) * 8 + rowOf(sq));
}

// One diagonal family (a1-h8 or a8-h1): the attack tables by line
// occupancy, and the rays and directions along the diagonals.
void initDiagonals(Bitboard (&table)[64][256], int fileStep) {
    for (int sq = 0; sq < 64; sq++) {
        // The squares of sq's diagonal in increasing index: walk to the
        // upper end (towards rank 8), then down.
        int row = rowOf(sq), file = fileOf(sq);
        while (onBoard(row - 1, file + fileStep)) row--, file += fileStep;
        int line[8], length = 0, position = 0;
        for (; onBoard(row, file); row++, file -= fileStep) {
            if (squareAt(row, file) == sq) position = length;
            line[length++] = squareAt(row, file);
        }
        for (unsigned occ = 0; occ < (1u << length); occ++) {
            unsigned attacks = lineAttacks(position, occ, length);
            Bitboard targets = 0;
            for (int i = 0; i < length; i++)
                if (attacks & (1u << i)) targets |= 1ull << line[i];
            table[sq][occ] = targets;
        }
    }
}

void initOrthogonals() {
    for (int sq = 0; sq < 64; sq++) {
        int row = rowOf(sq), file = fileOf(sq);
        for (unsigned occ = 0; occ < 256; occ++) {
            rankAttackTable[sq][occ] = Bitboard(lineAttacks(file, occ, 8)) << (8 * row);
            unsigned along = lineAttacks(row, occ, 8);
            Bitboard targets = 0;
            for (int r = 0; r < 8; r++)
                if (along & (1u << r)) targets |= 1ull << squareAt(r, file);
            fileAttackTable[sq][occ] = targets;
        }
    }
}

// Rays and the direction table, from each square in each of the eight steps.
void initRays() {
    static const int rowSteps[8] = {-1, 1, 0, 0, -1, 1, -1, 1};
    static const int fileSteps[8] = {0, 0, 1, -1, 1, -1, -1, 1};
    for (int sq = 0; sq < 64; sq++)
        for (int other = 0; other < 64; other++) direction[sq][other] = 0;
    for (int d = 0; d < 8; d++) {
        for (int sq = 0; sq < 64; sq++) {
            Bitboard ray = 0;
            int row = rowOf(sq) + rowSteps[d], file = fileOf(sq) + fileSteps[d];
            for (; onBoard(row, file); row += rowSteps[d], file += fileSteps[d]) {
                ray |= 1ull << squareAt(row, file);
                direction[sq][squareAt(row, file)] = directionSteps[d];
            }
            rayMask[d][sq] = ray;
        }
    }
}

// Push targets by blocking state: 1 = nothing in front, 3 = the square in
// front occupied, | 4 = (start row only) the square two ahead occupied.
void initPawnTables() {
    for (int sq = 0; sq < 64; sq++) {
        int row = rowOf(sq), file = fileOf(sq);
        for (int state = 0; state < 8; state++) pawnPush[WHITE][sq][state] = pawnPush[BLACK][sq][state] = 0;
        if (row >= 1 && row <= 6) {
            pawnPush[WHITE][sq][1] = 1ull << (sq - 8);
            pawnPush[BLACK][sq][1] = 1ull << (sq + 8);
            if (row == 6) {
                pawnPush[WHITE][sq][1] |= 1ull << (sq - 16);
                pawnPush[WHITE][sq][5] = 1ull << (sq - 8);
            }
            if (row == 1) {
                pawnPush[BLACK][sq][1] |= 1ull << (sq + 16);
                pawnPush[BLACK][sq][5] = 1ull << (sq + 8);
            }
        }
        pawnCaptures[WHITE][sq] = pawnCaptures[BLACK][sq] = 0;
        for (int side : {-1, 1}) {
            if (!onBoard(row, file + side)) continue;
            if (row > 0) pawnCaptures[WHITE][sq] |= 1ull << squareAt(row - 1, file + side);
            if (row < 7) pawnCaptures[BLACK][sq] |= 1ull << squareAt(row + 1, file + side);
        }
    }
}

void initLinesAndSquares() {
    for (int sq = 0; sq < 64; sq++) {
        squareMask[sq] = 1ull << sq;
        rotatedBits[sq] = {1ull << fileMajorIndex[sq], 1ull << a1h8Index[sq], 1ull << a8h1Index[sq]};
    }
    for (int i = 0; i < 8; i++) {
        fileMask[i] = 0x0101010101010101ull << i;
        rankMask[i] = 0xFFull << (8 * i);
    }
    rankMaskByRank[0] = 0;
    for (int rank = 1; rank <= 8; rank++) rankMaskByRank[rank] = rankMask[8 - rank];
    filesAtoC = fileMask[0] | fileMask[1] | fileMask[2];
    filesAtoD = filesAtoC | fileMask[3];
    filesFtoH = fileMask[5] | fileMask[6] | fileMask[7];
    filesEtoH = filesFtoH | fileMask[4];
    filesBtoG = ~(fileMask[0] | fileMask[7]);
    lightSquares = darkSquares = 0;
    for (int sq = 0; sq < 64; sq++) {
        if ((rowOf(sq) + fileOf(sq)) % 2 == 0)
            lightSquares |= 1ull << sq;
        else
            darkSquares |= 1ull << sq;
        // En passant is only possible against a pawn that stands beside the
        // capturing one on the fifth (or, for Black, fourth) rank.
        epNeighbours[sq] = 0;
        if (rowOf(sq) == 3 || rowOf(sq) == 4) {
            if (fileOf(sq) > 0) epNeighbours[sq] |= 1ull << (sq - 1);
            if (fileOf(sq) < 7) epNeighbours[sq] |= 1ull << (sq + 1);
        }
    }
}

// Bits within a byte, and the outside-passer tables over sets of files.
void initByteTables() {
    for (unsigned b = 0; b < 256; b++) {
        popCountByte[b] = uint8_t(__builtin_popcount(b));
        lowestBitByte[b] = b ? uint8_t(__builtin_ctz(b)) : 8;
        highestBitByte[b] = b ? uint8_t(31 - __builtin_clz(b)) : 8;
        adjacentPairByte[b] = 0;
        for (int a = 0; a < 7; a++) {
            if ((b >> a & 3) == 3) {
                adjacentPairByte[b] = a == 0 ? 8 : uint8_t(a);
                break;
            }
        }
    }
    // A passer is an outside passer when it stands further out than every
    // enemy pawn: on a lower file than the enemy's lowest (with a file to
    // spare for the full form), or on a higher file than the enemy's
    // highest. The enemy pawn on the mirrored file is ignored.
    for (unsigned own = 0; own < 256; own++) {
        for (unsigned enemy = 0; enemy < 256; enemy++) {
            uint8_t full = 0, lesser = 0;
            if (own) {
                int low = lowestBitByte[own];
                int enemyLow = lowestBitByte[enemy & ~(1u << (7 - low))];
                if (low < enemyLow - 1) full = 1;
                if (low < enemyLow) lesser = 1;
                int high = highestBitByte[own];
                int enemyHigh = highestBitByte[enemy & ~(1u << (7 - high))];
                if (enemyHigh + 1 < high) full = 1;
                if (enemyHigh < high) lesser = 1;
            }
            outsidePasserTable[own][enemy] = full;
            lesserOutsidePasserTable[own][enemy] = lesser;
        }
    }
}

// King distance: the number of king moves between two squares.
int distance(int a, int b) { return std::max(std::abs(rowOf(a) - rowOf(b)), std::abs(fileOf(a) - fileOf(b))); }

void initPawnMasks() {
    for (int sq = 0; sq < 64; sq++) {
        int row = rowOf(sq), file = fileOf(sq);
        adjacentFiles[sq] = (file > 0 ? fileMask[file - 1] : 0) | (file < 7 ? fileMask[file + 1] : 0);
        Bitboard above = row > 0 ? ~0ull >> (64 - 8 * row) : 0;  // rows 0 .. row-1
        Bitboard below = row < 7 ? ~0ull << (8 * (row + 1)) : 0;  // rows row+1 .. 7
        Bitboard ownAndAdjacent = adjacentFiles[sq] | fileMask[file];
        passedMask[WHITE][sq] = ownAndAdjacent & above;
        passedMask[BLACK][sq] = ownAndAdjacent & below;

        adjacentAheadMask[sq] = adjacentBehindMask[sq] = 0;
        neighbourMask[sq] = neighbourUpMask[sq] = neighbourDownMask[sq] = 0;
        pawnSquareMask[WHITE][sq] = pawnSquareMask[BLACK][sq] = 0;
        pawnSquareMaskWide[WHITE][sq] = pawnSquareMaskWide[BLACK][sq] = 0;
        if (row < 1 || row > 6) continue;  // pawns never stand on the edge rows

        adjacentAheadMask[sq] = adjacentFiles[sq] & above;
        adjacentBehindMask[sq] = adjacentFiles[sq] & below;
        Bitboard beside = (file > 0 ? 1ull << (sq - 1) : 0) | (file < 7 ? 1ull << (sq + 1) : 0);
        neighbourMask[sq] = beside;
        neighbourUpMask[sq] = beside;
        neighbourDownMask[sq] = beside;
        if (sq > 15) neighbourUpMask[sq] |= beside >> 8;
        if (sq < 48) neighbourDownMask[sq] |= beside << 8;

        // The "square" of the pawn: the king squares from which the king
        // reaches the promotion square in time. A pawn on its start row can
        // still make a double step, so it counts as one row further on.
        int whitePromotion = squareAt(0, file), blackPromotion = squareAt(7, file);
        int whiteRows = row == 6 ? row - 1 : row;
        int blackRows = row == 1 ? 6 - row : 7 - row;
        for (int king = 0; king < 64; king++) {
            int whiteKing = distance(king, whitePromotion), blackKing = distance(king, blackPromotion);
            if (whiteRows >= whiteKing) pawnSquareMask[WHITE][sq] |= 1ull << king;
            if (whiteRows + 1 >= whiteKing) pawnSquareMaskWide[WHITE][sq] |= 1ull << king;
            if (blackRows >= blackKing) pawnSquareMask[BLACK][sq] |= 1ull << king;
            if (blackRows + 1 >= blackKing) pawnSquareMaskWide[BLACK][sq] |= 1ull << king;
        }
    }
}

}  // namespace

void initBoardTables() {
    numberFiles();
    numberDiagonals(a1h8Index, a1h8Shift, a1h8LineMask, 1);
    numberDiagonals(a8h1Index, a8h1Shift, a8h1LineMask, -1);
    initLeapers();
    initDiagonals(a1h8AttackTable, 1);   // upper end towards the h-file
    initDiagonals(a8h1AttackTable, -1);  // upper end towards the a-file
    initRays();
    initOrthogonals();
    initPawnTables();
    initLinesAndSquares();
    initByteTables();
    initPawnMasks();
}

int directionIndex(int step) {
    for (int d = 0; d < 8; d++)
        if (directionSteps[d] == step) return d;
    return -1;
}

Bitboard squaresBetween(int step, int to, int from) {
    int d = directionIndex(step);
    int beforeTo = to - step;
    if (d < 0 || beforeTo < 0 || beforeTo > 63 || from < 0 || from > 63) return 0;
    return rayMask[d][beforeTo] ^ rayMask[d][from];
}

Bitboard queenAttacks(const Board& pos, int sq) {
    if (!(pos.sides[WHITE].pieces[QUEEN] | pos.sides[BLACK].pieces[QUEEN])) return 0;
    return bishopAttacks(pos, sq) | rookAttacks(pos, sq);
}

Bitboard attackersOf(const Board& pos, int sq) {
    const SideRecord& white = pos.sides[WHITE];
    const SideRecord& black = pos.sides[BLACK];
    Bitboard attackers = (white.pieces[PAWN] & pawnCaptures[BLACK][sq]) | (black.pieces[PAWN] & pawnCaptures[WHITE][sq]);
    Bitboard knights = white.pieces[KNIGHT] | black.pieces[KNIGHT];
    if (knights) attackers |= knights & knightAttacks[sq];
    Bitboard bishops = white.pieces[BISHOP] | black.pieces[BISHOP];
    if (bishops) attackers |= bishops & bishopAttacks(pos, sq);
    Bitboard rooks = white.pieces[ROOK] | black.pieces[ROOK];
    if (rooks) attackers |= rooks & rookAttacks(pos, sq);
    Bitboard queens = white.pieces[QUEEN] | black.pieces[QUEEN];
    if (queens) attackers |= queens & queenAttacks(pos, sq);
    Bitboard kings = squareMask[white.kingSquare] | squareMask[black.kingSquare];
    return attackers | (kings & kingAttacks[sq]);
}

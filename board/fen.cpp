// Setting up a board from FEN text ("setboard" and the EPD test commands).
// The text is read and checked completely before the board is touched: a
// rejected FEN leaves the previous position as it was.
#include <cstring>

#include "board/attacks.h"
#include "board/notation.h"

namespace {

struct FenFields {
    int8_t board[64] = {};
    int side = WHITE;
    uint8_t castling = 0;
    uint8_t epSquare = 0;
    unsigned halfMoves = 0;
    unsigned moveNumber = 0;
    // The square of each right's rook, by castling index; -1 for none.
    int rookSquare[4] = {-1, -1, -1, -1};
};

// Fields are separated by blanks; a line end or tab left on the text counts
// as one too.
inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct Reader {
    const char* p;

    void skipBlanks() {
        while (isBlank(*p)) p++;
    }
    // The next field: its start and length, leaving p after it.
    size_t field(const char*& start) {
        skipBlanks();
        start = p;
        while (*p && !isBlank(*p)) p++;
        return size_t(p - start);
    }
};

// Piece placement, rank 8 first: every rank must add up to eight squares.
bool readPlacement(const char* text, size_t length, FenFields& fen) {
    int sq = 0, ranks = 1, filesOnRank = 0;
    for (size_t i = 0; i < length; i++) {
        char c = text[i];
        if (c == '/') {
            if (filesOnRank != 8 || ++ranks > 8) return false;
            filesOnRank = 0;
        } else if (c >= '1' && c <= '8') {
            filesOnRank += c - '0';
            sq += c - '0';
            if (filesOnRank > 8) return false;
        } else {
            int piece = pieceFromLetter(c);
            if (piece == 0 || filesOnRank >= 8) return false;
            fen.board[sq++] = int8_t(piece);
            filesOnRank++;
        }
    }
    return ranks == 8 && filesOnRank == 8;
}

// Clock fields have at most three digits; the number is read from the
// leading digits, as everywhere in the command language.
bool readClock(const char* text, size_t length, unsigned& value) {
    if (length > 3) return false;
    value = 0;
    for (size_t i = 0; i < length && text[i] >= '0' && text[i] <= '9'; i++) value = value * 10 + unsigned(text[i] - '0');
    return true;
}

// Material a game can actually reach: at most 16 men and 8 pawns a side,
// and no more promoted pieces than pawns have gone. This also bounds the
// length of every move list, which the generators' callers rely on.
bool materialIsReachable(const FenFields& fen, int colour) {
    int count[7] = {};
    for (int8_t piece : fen.board)
        if (piece != 0 && (piece > 0) == (colour == WHITE)) count[piece > 0 ? piece : -piece]++;
    auto beyond = [&](int type, int initial) { return count[type] > initial ? count[type] - initial : 0; };
    int promoted = beyond(QUEEN, 1) + beyond(ROOK, 2) + beyond(BISHOP, 2) + beyond(KNIGHT, 2);
    int men = count[PAWN] + count[KNIGHT] + count[BISHOP] + count[ROOK] + count[QUEEN] + count[KING];
    return count[KING] == 1 && count[PAWN] <= 8 && men <= 16 && promoted <= 8 - count[PAWN];
}

// The castling field. In the standard game KQkq (or the corner files, as
// Shredder-FEN writes them: HAha) need the king on e1/e8 and the rook in
// its corner; a right without them is dropped, as EPD files sometimes carry
// one, but a right that only Chess960 could mean (a king or rook elsewhere
// on the back rank) refuses the text. In Chess960, K and Q name the
// outermost rook on that side of the king (X-FEN), a file letter names the
// rook on that file (Shredder-FEN, and X-FEN for an inner rook). Refused:
// a right with its king off the back rank or no rook where it points, and
// two different rooks for one side.
bool readCastling(const char* text, size_t length, FenFields& fen, bool chess960) {
    int kingSquare[2] = {-1, -1};
    for (int sq = 0; sq < 64; sq++)
        if (fen.board[sq] == KING || fen.board[sq] == -KING) kingSquare[fen.board[sq] > 0 ? WHITE : BLACK] = sq;
    for (size_t i = 0; i < length; i++) {
        const char c = text[i];
        const bool white = c >= 'A' && c <= 'Z';
        const char letter = char(white ? c + ('a' - 'A') : c);
        const bool byWing = letter == 'k' || letter == 'q';
        if (!byWing && (letter < 'a' || letter > 'h')) continue;  // '-' and anything else name nothing
        const int colour = white ? WHITE : BLACK, sign = white ? 1 : -1;
        const int backRow = white ? 7 : 0;
        const int king = kingSquare[colour];
        const bool kingOnBackRow = king >= 0 && rowOf(king) == backRow;
        const int kingFile = king >= 0 ? fileOf(king) : 4;
        auto rookOn = [&](int file) { return fen.board[squareAt(backRow, file)] == sign * ROOK; };

        int rook = -1;
        bool queenSide;
        if (byWing) {
            queenSide = letter == 'q';
            // The outermost rook on that side of the king.
            if (kingOnBackRow)
                for (int file = queenSide ? 0 : 7; file != kingFile && rook < 0; file += queenSide ? 1 : -1)
                    if (rookOn(file)) rook = squareAt(backRow, file);
        } else {
            const int file = letter - 'a';
            queenSide = file < kingFile;
            if (kingOnBackRow && rookOn(file)) rook = squareAt(backRow, file);
            if (rook < 0) return false;  // the letter names no rook
        }
        if (!chess960) {
            const int corner = squareAt(backRow, queenSide ? 0 : 7);
            const bool standard = kingOnBackRow && kingFile == 4 && rook == corner;
            if (standard) {
                // the standard right
            } else if (rook >= 0) {
                return false;  // a Chess960 right in the standard game
            } else {
                continue;  // no rook to castle with: the right is dropped
            }
        } else if (rook < 0) {
            return false;  // no king on the back rank or no rook on that side
        }
        const int index = castlingIndex(colour, queenSide ? 1 : 0);
        if (fen.rookSquare[index] >= 0 && fen.rookSquare[index] != rook) return false;  // two rooks for one side
        fen.rookSquare[index] = rook;
        fen.castling |= uint8_t(1 << index);
    }
    return true;
}

// An en-passant square is real only behind an enemy pawn that has just
// made its double step: the square it crossed and the one it came from are
// empty. Any other square would let a capture remove a pawn that is not
// there.
uint8_t possibleEnPassant(const FenFields& fen, int sq) {
    if (fen.side == WHITE) {
        if (rowOf(sq) != 2 || fen.board[sq] != 0 || fen.board[sq - 8] != 0 || fen.board[sq + 8] != -PAWN) return 0;
    } else {
        if (rowOf(sq) != 5 || fen.board[sq] != 0 || fen.board[sq + 8] != 0 || fen.board[sq - 8] != PAWN) return 0;
    }
    return uint8_t(sq);
}

// Scratch record for judging a position before it is accepted.
Board scratch;

// The side that has just moved may not be left in check: its king could be
// taken, which no position of a game allows.
bool sideNotToMoveIsSafe(const FenFields& fen) {
    std::memcpy(scratch.board, fen.board, sizeof scratch.board);
    rebuildDerivedState(scratch);
    return !isSquareAttacked(scratch, scratch.sides[fen.side ^ 1].kingSquare, fen.side);
}

bool readFen(const char* text, FenFields& fen, bool chess960) {
    Reader in{text};
    const char* start;
    size_t length = in.field(start);
    if (length == 0 || !readPlacement(start, length, fen)) return false;

    length = in.field(start);
    if (length != 1) return false;
    if (*start == 'w' || *start == 'W')
        fen.side = WHITE;
    else if (*start == 'b' || *start == 'B')
        fen.side = BLACK;
    else
        return false;

    // The remaining fields may be missing (EPD has no clocks). The castling
    // field is judged once the pieces are known to be sound.
    const char* castlingField;
    const size_t castlingLength = in.field(castlingField);

    length = in.field(start);
    if (length >= 2) {
        for (int sq = 0; sq < 64; sq++)
            if (start[0] == squareName[sq][0] && start[1] == squareName[sq][1]) fen.epSquare = uint8_t(sq);
    }

    length = in.field(start);
    if (!readClock(start, length, fen.halfMoves)) return false;
    length = in.field(start);
    if (!readClock(start, length, fen.moveNumber)) return false;
    in.skipBlanks();
    if (*in.p) return false;  // something after the move number

    if (!materialIsReachable(fen, WHITE) || !materialIsReachable(fen, BLACK)) return false;
    if (!readCastling(castlingField, castlingLength, fen, chess960)) return false;
    if (fen.epSquare) fen.epSquare = possibleEnPassant(fen, fen.epSquare);
    return sideNotToMoveIsSafe(fen);
}

}  // namespace

int setBoardFromFen(Board& pos, const char* text, int* gamePly, bool chess960) {
    FenFields fen;
    if (!text || !readFen(text, fen, chess960)) return -1;

    setInitialBoard(pos);
    std::memcpy(pos.board, fen.board, sizeof pos.board);
    pos.sideToMove = uint8_t(fen.side);
    pos.castling = fen.castling;
    pos.epSquare = fen.epSquare;
    rebuildDerivedState(pos);
    setCastlingRules(pos, fen.rookSquare, chess960);
    pos.hashKey = computeHashKey(pos);
    pos.pawnKey = computePawnKey(pos);

    // The half-move clock belongs to the search root (entry 1) and to the
    // game (entry 0), so the fifty-move count goes on from it.
    const uint8_t halfMoves = uint8_t(fen.halfMoves > 255 ? 255 : fen.halfMoves);
    pos.history[0].reversibleMoves = halfMoves;
    pos.history[1].reversibleMoves = halfMoves;
    pos.history[1].castling = pos.castling;
    // A missing move number counts as the first move.
    const int moveNumber = fen.moveNumber > 0 ? int(fen.moveNumber) : 1;
    if (gamePly) *gamePly = 2 * moveNumber - (fen.side == WHITE ? 1 : 0);
    return 0;
}

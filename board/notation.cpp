// Moves as text: reading coordinate and SAN moves typed by a user, sent by
// an interface or read from a PGN game, and writing SAN and coordinate
// notation for output.
#include "board/notation.h"

#include <bit>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"

const char squareName[64][3] = {
    "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7",
    "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5",
    "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3",
    "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1",
};

namespace {

constexpr int MAX_MOVE_TEXT = 8;

bool isFileLetter(char c) { return c >= 'a' && c <= 'h'; }
bool isRankDigit(char c) { return c >= '1' && c <= '8'; }
int squareOf(char file, char rank) { return (file - 'a') + 8 * ('8' - rank); }


// Promotion letters in either case; anything else is no promotion.
int promotionFromLetter(char c) {
    switch (c) {
        case 'B': case 'b': return BISHOP;
        case 'N': case 'n': return KNIGHT;
        case 'Q': case 'q': return QUEEN;
        case 'R': case 'r': return ROOK;
        default: return 0;
    }
}

// Pieces of `type` belonging to the side to move that attack sq, through
// the current occupancy.
Bitboard attackersOfKind(const Board& pos, int type, int sq) {
    Bitboard reach = 0;
    switch (type) {
        case KNIGHT: reach = knightAttacks[sq]; break;
        case BISHOP: reach = bishopAttacks(pos, sq); break;
        case ROOK: reach = rookAttacks(pos, sq); break;
        case QUEEN: reach = bishopAttacks(pos, sq) | rookAttacks(pos, sq); break;
        default: return 0;
    }
    return reach & pos.sides[pos.sideToMove].pieces[type];
}

int pieceTypeOfLetter(char c) {
    switch (c) {
        case 'N': return KNIGHT;
        case 'B': return BISHOP;
        case 'R': return ROOK;
        case 'Q': return QUEEN;
        case 'K': return KING;
        default: return 0;
    }
}

bool isCastlingText(const char* text, bool queenSide) {
    static const char* const kingSideForms[] = {"o-o", "o-o+", "O-O", "O-O+", "0-0", "0-0+"};
    static const char* const queenSideForms[] = {"o-o-o", "o-o-o+", "O-O-O", "O-O-O+", "0-0-0", "0-0-0+"};
    for (const char* form : queenSide ? queenSideForms : kingSideForms)
        if (std::strcmp(text, form) == 0) return true;
    return false;
}

// A legal move of the side to move that takes the piece on `from` to `to`.
bool pieceMoveIsLegal(Board& pos, int from, int to, int type) {
    if (pos.board[to] != 0 && (pos.board[to] > 0) == (pos.sideToMove == WHITE)) return false;
    return isLegalMove(encodeMove(from, to, type, pieceTypeOn(pos, to)), pos);
}

// The parts of a SAN move other than castling, read from the end of the
// text backwards: promotion, destination, piece letter, capture mark and
// the file, rank or square the piece comes from.
struct SanParts {
    int promotion = 0;
    bool haveDestination = false;
    int to = 0;
    char pieceLetter = 0;  // upper case; 0 for a pawn move
    bool captureMark = false;
    int captured = 0;
    Move epFlag = 0;
    int fromFile = -1;
    int fromRow = -1;
};

// O-O and O-O-O name the castling move of the position's rules (the
// standard game's fixed moves); a side that never had the right gets 0,
// which matches no generated move.
bool castlingFromSan(const Board& pos, const char* text, Move& move) {
    if (!isCastlingText(text, false) && !isCastlingText(text, true)) return false;
    const bool queenSide = isCastlingText(text, true);
    move = pos.castlingSetup.rules[pos.sideToMove][queenSide ? 1 : 0].move;
    return true;
}

// Drops the check mark and cuts off the promotion ("=Q"), reading it.
void stripSanMarks(char* work, SanParts& san) {
    // "bb5" is a bishop move; "bxc5" stays a pawn capture.
    if (work[0] == 'b' && work[1] == 'b') work[0] = 'B';
    if (char* check = std::strchr(work, '+')) *check = 0;
    if (char* equals = std::strchr(work, '=')) {
        san.promotion = promotionFromLetter(equals[1]);
        *equals = 0;
    }
}

// Destination: a file letter (either case) and a rank digit at the end,
// cut off the text.
void readSanDestination(char* work, SanParts& san) {
    size_t end = std::strlen(work);
    int row = -1, file = -1;
    if (end > 0 && isRankDigit(work[end - 1])) row = '8' - work[--end];
    if (end > 0 && ((work[end - 1] >= 'a' && work[end - 1] <= 'h') || (work[end - 1] >= 'A' && work[end - 1] <= 'H'))) {
        file = (work[end - 1] | 0x20) - 'a';
        end--;
    }
    work[end] = 0;
    san.haveDestination = row >= 0 && file >= 0;
    san.to = san.haveDestination ? squareAt(row, file) : 0;
}

// The piece letter in front (a lower-case b is always a file); returns the
// text after it.
const char* readSanPieceLetter(const char* work, SanParts& san) {
    static const char pieceLetters[] = "  PpNnBBRrQqKk";
    if (work[0] && std::memchr(pieceLetters, work[0], sizeof pieceLetters - 1)) {
        san.pieceLetter = char(work[0] & ~0x20);
        return work + 1;
    }
    return work;
}

// What is left between the piece letter and the destination: a capture
// mark, and a file, a rank or a whole square the piece comes from.
void readSanOrigin(const Board& pos, const char* rest, SanParts& san) {
    size_t restLength = std::strlen(rest);
    san.captureMark = restLength > 0 && rest[restLength - 1] == 'x';
    if (san.captureMark) {
        if (san.haveDestination) {
            san.captured = pieceTypeOn(pos, san.to);
            if (san.captured == 0 && pos.epSquare && san.to == pos.epSquare) {
                san.captured = PAWN;
                san.epFlag = EN_PASSANT_FLAG;
            }
        }
        restLength--;
    }
    if (restLength == 0) return;
    if (isFileLetter(rest[0]) && (restLength == 1 || isRankDigit(rest[1]))) {
        san.fromFile = rest[0] - 'a';
        if (restLength > 1) san.fromRow = '8' - rest[1];
    } else if (isRankDigit(rest[0])) {
        san.fromRow = '8' - rest[0];
    } else {
        san.pieceLetter = 0;  // not a piece move we can read: match nothing as a pawn move
    }
}

// A pawn push, or a capture named by the capturing pawn's file; 0 when no
// pawn of the side to move stands where the text says.
Move pawnMoveFromSan(const Board& pos, const SanParts& san) {
    const int us = pos.sideToMove;
    const Bitboard pawns = pos.sides[us].pieces[PAWN];
    const int to = san.to;
    int from = -1;
    if (san.captureMark) {
        // The capturing pawn is named by its file. (Written onto an empty
        // square, this names no move rather than a push.)
        Bitboard capturers = pawns & pawnCaptures[us ^ 1][to];
        if (san.fromFile >= 0) capturers &= fileMask[san.fromFile];
        if (san.fromFile >= 0 && capturers) from = highestSquare(capturers);
    } else {
        const int step = us == WHITE ? 8 : -8;
        const int row = rowOf(to);
        const bool pushRow = us == WHITE ? row <= 5 : row >= 2;
        if (pushRow && (pawns & squareMask[to + step]))
            from = to + step;
        else if (pushRow && (pawns & squareMask[to + 2 * step]))
            from = to + 2 * step;
    }
    return from >= 0 ? encodeMove(from, to, PAWN, san.captured, san.promotion) | san.epFlag : 0;
}

// A piece move: the one piece of the named kind that can go to the
// destination, picked out by the written file or rank when several can.
// False when several could and none may legally go (the text names no
// move); otherwise `move` is the move, or 0 when none stands ready.
bool pieceMoveFromSan(Board& pos, const SanParts& san, Move& move) {
    const int type = pieceTypeOfLetter(san.pieceLetter);
    if (type == 0) return true;  // "P" and the like name no piece move
    if (type == KING) {
        move = encodeMove(pos.sides[pos.sideToMove].kingSquare, san.to, KING, san.captured, san.promotion);
        return true;
    }
    Bitboard candidates = attackersOfKind(pos, type, san.to);
    int from = -1;
    if (std::popcount(candidates) <= 1) {
        if (candidates) from = lowestSquare(candidates);
    } else if (san.fromFile >= 0 || san.fromRow >= 0) {
        if (san.fromFile >= 0) candidates &= fileMask[san.fromFile];
        if (san.fromRow >= 0) candidates &= rankMask[san.fromRow];
        if (candidates) from = highestSquare(candidates);
    } else {
        // Written without disambiguation: the one that can legally go.
        for (; candidates; candidates ^= squareMask[highestSquare(candidates)]) {
            if (pieceMoveIsLegal(pos, highestSquare(candidates), san.to, type)) {
                from = highestSquare(candidates);
                break;
            }
        }
        if (from < 0) return false;
    }
    if (from >= 0) move = encodeMove(from, san.to, type, san.captured, san.promotion);
    return true;
}

}  // namespace

int pieceFromLetter(char c) {
    switch (c) {
        case 'K': return 6;
        case 'Q': return 5;
        case 'R': return 4;
        case 'B': return 3;
        case 'N': return 2;
        case 'P': return 1;
        case 'k': return -6;
        case 'q': return -5;
        case 'r': return -4;
        case 'b': return -3;
        case 'n': return -2;
        case 'p': return -1;
        default: return 0;
    }
}

void parseCoordinateMove(MoveC& result, const Board& pos, const char* text) {
    result.move = 0;
    if (!text || !isFileLetter(text[0]) || !isRankDigit(text[1]) || !isFileLetter(text[2]) || !isRankDigit(text[3])) return;
    const int from = squareOf(text[0], text[1]), to = squareOf(text[2], text[3]);
    // "e7e8q" as interfaces send it, and "e7e8=Q" as the engine writes it.
    const int promotion = promotionFromLetter(text[4] == '=' ? text[5] : text[4]);
    const int type = pieceTypeOn(pos, from);
    Move move = encodeMove(from, to, type, pieceTypeOn(pos, to), promotion);
    const int fileDistance = fileOf(from) > fileOf(to) ? fileOf(from) - fileOf(to) : fileOf(to) - fileOf(from);
    if (type == PAWN && fileDistance == 1 && pos.epSquare && to == pos.epSquare)
        move = encodeMove(from, to, PAWN, PAWN, promotion) | EN_PASSANT_FLAG;
    if (type == KING && pos.castlingSetup.chess960) {
        // Chess960: the king taking its own castling rook (as UCI sends it),
        // or the king's two-square step onto the g- or c-file where that is
        // the castling destination. A one-square step stays a king move.
        // (A king taking an enemy rook that stands where its own rook
        // started is a capture.)
        const int ownRook = pos.sideToMove == WHITE ? ROOK : -ROOK;
        for (const CastlingRule& rule : pos.castlingSetup.rules[pos.sideToMove]) {
            if (rule.move == 0 || rule.kingFrom != from) continue;
            const bool takesOwnRook = to == rule.rookFrom && pos.board[to] == ownRook;
            if (takesOwnRook || (fileDistance == 2 && to == rule.kingTo)) move = rule.move;
        }
    } else if (type == KING && fileDistance == 2) {
        move |= CASTLING_FLAG;
    }
    result.move = move;
}

void parseMove(MoveC& result, Board& pos, const char* text) {
    result.text[0] = 0;
    result.move = 0;
    result.valid = 0;
    if (!text) return;
    const size_t length = strnlen(text, MAX_MOVE_TEXT + 1);
    if (length == 0 || length > MAX_MOVE_TEXT || std::memchr(text, ' ', length)) return;

    if (isFileLetter(text[0]) && isRankDigit(text[1]) && isFileLetter(text[2]) && isRankDigit(text[3])) {
        parseCoordinateMove(result, pos, text);
        result.valid = 1;
        return;
    }

    char work[MAX_MOVE_TEXT + 1];
    std::memcpy(work, text, length);
    work[length] = 0;
    if (char* mate = std::strchr(work, '#')) *mate = 0;
    if (castlingFromSan(pos, work, result.move)) {
        result.valid = 1;
        return;
    }

    SanParts san;
    stripSanMarks(work, san);
    readSanDestination(work, san);
    readSanOrigin(pos, readSanPieceLetter(work, san), san);
    result.valid = 1;
    if (!san.haveDestination) return;
    if (san.pieceLetter == 0) {
        result.move = pawnMoveFromSan(pos, san);
        return;
    }
    if (!pieceMoveFromSan(pos, san, result.move)) result.valid = 0;
}

namespace {

// The two squares, then the promotion piece: after "=" in the engine's own
// form (upper case for White, lower case for Black, who promotes on rank
// 1), or as a bare lower-case letter in the pure form interfaces exchange.
const char* coordinateText(MoveC& result, bool pure) {
    static const char upper[] = " PNBRQK";
    static const char lower[] = " pnbrqk";
    const Move m = result.move;
    const int promotion = movePromotion(m);
    char* t = result.text;
    std::memcpy(t, squareName[moveFrom(m)], 2);
    std::memcpy(t + 2, squareName[moveTo(m)], 2);
    int length = 4;
    if (promotion && pure) {
        t[length++] = lower[promotion];
    } else if (promotion) {
        t[length++] = '=';
        t[length++] = rowOf(moveTo(m)) == 7 ? lower[promotion] : upper[promotion];
    }
    t[length] = 0;
    result.state = 1;
    return t;
}

}  // namespace

const char* moveToCoordinate(MoveC& result) { return coordinateText(result, false); }
const char* moveToPureCoordinate(MoveC& result) { return coordinateText(result, true); }

bool sanIsUnambiguous(Board& pos, const char* text) {
    if (!text) return false;
    char t[MAX_MOVE_TEXT];
    size_t length = strnlen(text, MAX_MOVE_TEXT - 1);
    std::memcpy(t, text, length);
    t[length] = 0;
    if (length > 3 && (t[3] == '+' || t[3] == '#'))
        t[3] = 0;
    else if (length > 4 && (t[4] == '+' || t[4] == '#'))
        t[4] = 0;
    length = std::strlen(t);

    const int type = pieceTypeOfLetter(t[0]);
    if (type == 0 || type == KING) return true;  // pawn moves and king moves need no disambiguation

    // Where the destination stands, and whether a disambiguator is written.
    const char* destination;
    char disambiguator = 0;
    if (length >= 2 && t[1] == 'x') {
        destination = t + 2;
    } else if (length == 4) {
        disambiguator = t[1];
        destination = t + 2;
    } else if (length >= 5) {
        if (t[2] != 'x') return false;
        disambiguator = t[1];
        destination = t + 3;
    } else if (length == 3) {
        destination = t + 1;
    } else {
        return false;
    }
    if (!isFileLetter(destination[0]) || !isRankDigit(destination[1])) return false;
    const int to = squareOf(destination[0], destination[1]);

    const Bitboard candidates = attackersOfKind(pos, type, to);
    if (!candidates) return false;
    if (std::popcount(candidates) == 1) return true;

    if (disambiguator) {
        Bitboard line;
        if (isFileLetter(disambiguator))
            line = fileMask[disambiguator - 'a'];
        else if (isRankDigit(disambiguator))
            line = rankMask['8' - disambiguator];
        else
            return false;
        return std::popcount(candidates & line) <= 1;
    }
    // "Nxd2" with two knights able to take is written out in full.
    if (length != 3 && type == KNIGHT) return false;

    // Short form with several candidates: it still names one move when the
    // others are pinned and cannot legally go there.
    int count = std::popcount(candidates);
    for (Bitboard left = candidates; left; left ^= squareMask[highestSquare(left)]) {
        const int from = highestSquare(left);
        if (!isPinned(pos, from)) continue;
        // A pinned rook or bishop on the destination's rank or file may be
        // moving along its pin line.
        if ((type == ROOK || type == BISHOP) && (rowOf(from) == rowOf(to) || fileOf(from) == fileOf(to))) continue;
        // Along its pin line a pinned piece may still go there legally.
        if (pieceMoveIsLegal(pos, from, to, type)) continue;
        if (--count == 1) return true;
    }
    return false;
}

const char* moveToSan(MoveC& result, Board& pos) {
    if (result.text[0]) {
        result.state = 1;
        return result.text;
    }
    result.state = 2;
    char* t = result.text;
    const Move m = result.move;
    if (m == 0) {
        std::strcpy(t, "<null>");
        return t;
    }
    const int from = moveFrom(m), to = moveTo(m);
    if (isCastling(m)) {
        std::strcpy(t, castlingSide(m) == 0 ? "O-O" : "O-O-O");
        return t;
    }

    static const char letters[] = " PNBRQK";
    // The destination part: capture mark, square and promotion.
    char target[6];
    int targetLength = 0;
    if (isCapture(m)) target[targetLength++] = 'x';
    target[targetLength++] = squareName[to][0];
    target[targetLength++] = squareName[to][1];
    if (movePromotion(m) && movePiece(m) == PAWN) {
        target[targetLength++] = '=';
        target[targetLength++] = letters[movePromotion(m)];
    }
    target[targetLength] = 0;

    if (movePiece(m) == PAWN) {
        int length = 0;
        if (isCapture(m)) t[length++] = squareName[from][0];
        std::strcpy(t + length, target);
        return t;
    }

    const char letter = letters[pieceTypeOn(pos, from) <= KING ? pieceTypeOn(pos, from) : 0];
    // Shortest first: Nf3, then Nbd2, then N1f3, then the whole square.
    const char disambiguators[2] = {squareName[from][0], squareName[from][1]};
    t[0] = letter;
    std::strcpy(t + 1, target);
    if (sanIsUnambiguous(pos, t)) return t;
    for (char d : disambiguators) {
        t[1] = d;
        std::strcpy(t + 2, target);
        if (sanIsUnambiguous(pos, t)) return t;
    }
    t[1] = disambiguators[0];
    t[2] = disambiguators[1];
    std::strcpy(t + 3, target);
    return t;
}

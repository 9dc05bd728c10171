// Making and taking back moves. Every representation of the position is
// updated incrementally - board array, bitboards, rotated occupancies,
// material counters, keys - with a fixed handful of table reads per move,
// because this is the innermost work of the search.
#include "board/makemove.h"

#include <algorithm>
#include <cstring>

#include "board/attacks.h"
#include "board/game_state.h"

namespace {

// Material counters by piece type: score, pawns, piece material, minor and
// major pieces (a queen counts as two majors).
struct MaterialDelta {
    int32_t score;
    uint8_t pawns, pieceMaterial, minors, majors;
};
constexpr MaterialDelta materialOf[7] = {
    {0, 0, 0, 0, 0}, {100, 1, 0, 0, 0}, {300, 0, 3, 1, 0}, {300, 0, 3, 1, 0},
    {500, 0, 5, 0, 1}, {900, 0, 9, 0, 2}, {0, 0, 0, 0, 0},
};

inline void addMaterial(SideRecord& side, int type) {
    const MaterialDelta& d = materialOf[type];
    side.materialScore += d.score;
    side.pawnCount += d.pawns;
    side.pieceMaterial += d.pieceMaterial;
    side.minorCount += d.minors;
    side.majorCount += d.majors;
}

inline void removeMaterial(SideRecord& side, int type) {
    const MaterialDelta& d = materialOf[type];
    side.materialScore -= d.score;
    side.pawnCount -= d.pawns;
    side.pieceMaterial -= d.pieceMaterial;
    side.minorCount -= d.minors;
    side.majorCount -= d.majors;
}

inline void setOccupied(Board& pos, int sq) {
    const RotatedBits& bits = rotatedBits[sq];
    pos.occFileMajor |= bits.fileMajor;
    pos.occA1H8 |= bits.a1h8;
    pos.occA8H1 |= bits.a8h1;
}

inline void setEmpty(Board& pos, int sq) {
    const RotatedBits& bits = rotatedBits[sq];
    pos.occFileMajor &= ~bits.fileMajor;
    pos.occA1H8 &= ~bits.a1h8;
    pos.occA8H1 &= ~bits.a8h1;
}

// Moves a piece of `type` in the board array and its side's bitboards (not
// the rotated occupancies, which captures treat differently).
inline void shiftPiece(Board& pos, SideRecord& mine, int type, int from, int to) {
    pos.board[to] = pos.board[from];
    pos.board[from] = 0;
    const Bitboard fromTo = squareMask[from] | squareMask[to];
    mine.pieces[type] ^= fromTo;
    mine.pieces[ALL_PIECES] ^= fromTo;
}

// Castling moves king and rook together. In Chess960 either may land on
// the other's square, or stay where it is, so both leave their squares
// before either arrives; the bitboards change by the squares left and
// reached, which XOR gives exactly because the king and rook never share a
// square before or after.
// Kept out of line: castling is rare, and the common moves' code stays as
// short as it was.
[[gnu::noinline]] void placeCastlingPair(Board& pos, SideRecord& mine, int us, int kingFrom, int kingTo,
                                         int rookFrom, int rookTo) {
    pos.board[kingFrom] = 0;
    pos.board[rookFrom] = 0;
    pos.board[kingTo] = int8_t(us == WHITE ? KING : -KING);
    pos.board[rookTo] = int8_t(us == WHITE ? ROOK : -ROOK);
    const Bitboard kingBits = squareMask[kingFrom] ^ squareMask[kingTo];
    const Bitboard rookBits = squareMask[rookFrom] ^ squareMask[rookTo];
    mine.pieces[KING] ^= kingBits;
    mine.pieces[ROOK] ^= rookBits;
    mine.pieces[ALL_PIECES] ^= kingBits ^ rookBits;
    for (int sq : {kingFrom, kingTo, rookFrom, rookTo}) {
        pos.occFileMajor ^= rotatedBits[sq].fileMajor;
        pos.occA1H8 ^= rotatedBits[sq].a1h8;
        pos.occA8H1 ^= rotatedBits[sq].a8h1;
    }
}

// The reversible-move count stops at its largest value instead of wrapping
// back to "just captured".
inline uint8_t countOneMore(uint8_t count) { return uint8_t(count + (count < 255)); }

inline void doMove(Board& pos, Move m) {
    const uint32_t n = pos.historyCount++;
    const int us = pos.sideToMove, them = us ^ 1;
    const int to = moveTo(m), from = moveFrom(m), type = movePiece(m);
    const int captured = moveCaptured(m), promotion = movePromotion(m);

    HistoryEntry& entry = pos.history[n];
    HistoryEntry& next = pos.history[n + 1];
    entry.move = m;
    entry.hashKey = pos.hashKey;
    entry.pawnKey = pos.pawnKey;
    entry.castling = pos.castling;
    entry.epSquare = pos.epSquare;
    next.reversibleMoves = (captured || type == PAWN) ? 0 : countOneMore(entry.reversibleMoves);

    uint64_t key = pos.hashKey;
    if (pos.epSquare) key ^= zobrist.enPassant[pos.epSquare];

    SideRecord& mine = pos.sides[us];
    const CastlingSetup& castling = pos.castlingSetup;
    if (isCastling(m)) [[unlikely]] {
        const CastlingRule& rule = castling.rules[us][castlingSide(m)];
        placeCastlingPair(pos, mine, us, from, rule.kingTo, rule.rookFrom, rule.rookTo);
        mine.kingSquare = rule.kingTo;
        const uint64_t* kingKeys = zobrist.piece[pieceIndex(us, KING)];
        const uint64_t* rookKeys = zobrist.piece[pieceIndex(us, ROOK)];
        key ^= kingKeys[from] ^ kingKeys[rule.kingTo] ^ rookKeys[rule.rookFrom] ^ rookKeys[rule.rookTo];
    } else {
        if (type == KING) mine.kingSquare = uint8_t(to);
        shiftPiece(pos, mine, type, from, to);
        setEmpty(pos, from);
        setOccupied(pos, to);
        const uint64_t* moverKeys = zobrist.piece[pieceIndex(us, type)];
        key ^= moverKeys[from] ^ moverKeys[to];
    }

    const uint8_t rights = pos.castling & castling.rightsKept[from] & castling.rightsKept[to];
    if (rights != pos.castling) [[unlikely]] {
        key ^= castling.key[pos.castling] ^ castling.key[rights];
        pos.castling = rights;
    }
    next.castling = rights;

    pos.epSquare = 0;
    if (type == PAWN) {
        pos.pawnKey ^= zobrist.pawn[us][from] ^ zobrist.pawn[us][to];
        // The en-passant square is only recorded when an enemy pawn could
        // take, so positions that differ in nothing else share a key.
        if ((to - from == 16 || from - to == 16) && (epNeighbours[to] & pos.sides[them].pieces[PAWN])) {
            pos.epSquare = uint8_t((from + to) / 2);
            key ^= zobrist.enPassant[pos.epSquare];
        }
    }

    if (captured) {
        SideRecord& theirs = pos.sides[them];
        removeMaterial(theirs, captured);
        if (isEnPassant(m)) {
            const int victim = us == WHITE ? to + 8 : to - 8;
            theirs.pieces[PAWN] ^= squareMask[victim];
            theirs.pieces[ALL_PIECES] ^= squareMask[victim];
            setEmpty(pos, victim);
            pos.board[victim] = 0;
            key ^= zobrist.piece[pieceIndex(them, PAWN)][victim];
            pos.pawnKey ^= zobrist.pawn[them][victim];
        } else {
            theirs.pieces[captured] ^= squareMask[to];
            theirs.pieces[ALL_PIECES] ^= squareMask[to];
            key ^= zobrist.piece[pieceIndex(them, captured)][to];
            if (captured == PAWN) pos.pawnKey ^= zobrist.pawn[them][to];
        }
    }

    if (promotion) {
        mine.pieces[PAWN] ^= squareMask[to];
        mine.pieces[promotion] ^= squareMask[to];
        pos.board[to] = int8_t(us == WHITE ? promotion : -promotion);
        removeMaterial(mine, PAWN);
        addMaterial(mine, promotion);
        key ^= zobrist.piece[pieceIndex(us, PAWN)][to] ^ zobrist.piece[pieceIndex(us, promotion)][to];
        pos.pawnKey ^= zobrist.pawn[us][to];
    }

    pos.hashKey = key ^ zobrist.side[WHITE] ^ zobrist.side[BLACK];
    pos.sideToMove = uint8_t(them);
}

// Up to this many of the newest keys survive when the game's repetition
// list is full. The list only grows while no pawn moves and nothing is
// taken, so by then the fifty-move rule has long applied, and no search
// looks back further than the reversible-move count allows (at most 255).
constexpr uint32_t REPETITION_KEEP = 256;

void appendRepetition(uint64_t key) {
    if (gGame.repetitionCount >= REPETITION_CAPACITY) {
        std::memmove(gGame.repetitionList, gGame.repetitionList + gGame.repetitionCount - REPETITION_KEEP,
                     REPETITION_KEEP * sizeof(uint64_t));
        gGame.repetitionCount = REPETITION_KEEP;
    }
    gGame.repetitionList[gGame.repetitionCount++] = key;
}

// After a take-back the list is rebuilt from the game record: the current
// position preceded by the positions its reversible-move count reaches
// back to. Whether the caller has already dropped `last` from the record
// does not matter; two consecutive records never share a key.
void rebuildRepetitionList(uint64_t currentKey, const HistoryEntry& last) {
    const std::vector<HistoryEntry>& record = gGame.gameRecord;
    size_t end = record.size();
    if (end > 0 && record[end - 1].hashKey == last.hashKey && record[end - 1].move == last.move) end--;
    size_t back = std::min<size_t>({last.reversibleMoves, end, REPETITION_CAPACITY - 1});
    gGame.repetitionCount = 0;
    for (size_t i = end - back; i < end; i++) gGame.repetitionList[gGame.repetitionCount++] = record[i].hashKey;
    gGame.repetitionList[gGame.repetitionCount++] = currentKey;
}

}  // namespace

bool makeMove(Board& pos, Move m, bool knownLegal) {
    doMove(pos, m);
    if (!knownLegal) {
        const int mover = pos.sideToMove ^ 1;
        if (isSquareAttacked(pos, pos.sides[mover].kingSquare, pos.sideToMove)) {
            unmakeMove(pos);
            return false;
        }
    }
    return true;
}

namespace {

// Takes back the castling move of entry n: out of line and reached by a
// tail call, so the common moves' take-back stays free of it.
[[gnu::noinline]] void unmakeCastling(Board& pos, const HistoryEntry& entry) {
    const int us = pos.sideToMove;
    const int from = moveFrom(entry.move);
    SideRecord& mine = pos.sides[us];
    const CastlingRule& rule = pos.castlingSetup.rules[us][castlingSide(entry.move)];
    placeCastlingPair(pos, mine, us, rule.kingTo, from, rule.rookTo, rule.rookFrom);
    mine.kingSquare = uint8_t(from);
    pos.castling = entry.castling;
    pos.epSquare = entry.epSquare;
    pos.hashKey = entry.hashKey;
    pos.pawnKey = entry.pawnKey;
}

}  // namespace

void unmakeMove(Board& pos) {
    pos.sideToMove ^= 1;
    const uint32_t n = --pos.historyCount;
    const HistoryEntry& entry = pos.history[n];
    const Move m = entry.move;
    if (isCastling(m)) [[unlikely]]
        return unmakeCastling(pos, entry);
    const int us = pos.sideToMove, them = us ^ 1;
    const int to = moveTo(m), from = moveFrom(m), type = movePiece(m);
    const int captured = moveCaptured(m), promotion = movePromotion(m);

    SideRecord& mine = pos.sides[us];
    if (promotion) {
        mine.pieces[promotion] ^= squareMask[to];
        mine.pieces[PAWN] ^= squareMask[from];
        mine.pieces[ALL_PIECES] ^= squareMask[from] | squareMask[to];
        pos.board[from] = int8_t(us == WHITE ? PAWN : -PAWN);
        pos.board[to] = 0;
        removeMaterial(mine, promotion);
        addMaterial(mine, PAWN);
    } else {
        shiftPiece(pos, mine, type, to, from);
    }
    setOccupied(pos, from);

    if (!captured) {
        setEmpty(pos, to);
    } else {
        SideRecord& theirs = pos.sides[them];
        addMaterial(theirs, captured);
        if (isEnPassant(m)) {
            setEmpty(pos, to);
            const int victim = us == WHITE ? to + 8 : to - 8;
            pos.board[victim] = int8_t(them == WHITE ? PAWN : -PAWN);
            setOccupied(pos, victim);
            theirs.pieces[PAWN] ^= squareMask[victim];
            theirs.pieces[ALL_PIECES] ^= squareMask[victim];
        } else {
            pos.board[to] = int8_t(them == WHITE ? captured : -captured);
            theirs.pieces[captured] ^= squareMask[to];
            theirs.pieces[ALL_PIECES] ^= squareMask[to];
        }
    }

    if (type == KING) mine.kingSquare = uint8_t(from);
    pos.castling = entry.castling;
    pos.epSquare = entry.epSquare;
    pos.hashKey = entry.hashKey;
    pos.pawnKey = entry.pawnKey;
}

void playGameMove(Board& pos, Move m) {
    // Entry 0 is the game level: make the move from there, so entry 0 holds
    // the state before it and entry 1 becomes the root of the next search.
    pos.historyCount = 0;
    makeMove(pos, m, true);
    pos.historyCount = 1;

    HistoryEntry& game = pos.history[0];
    std::vector<HistoryEntry>& record = gGame.gameRecord;
    if (record.size() == record.capacity()) record.reserve(record.capacity() + 64);
    record.push_back(game);

    game.reversibleMoves = countOneMore(game.reversibleMoves);
    gGame.gamePly++;
    if (movePiece(m) == PAWN || isCapture(m)) {
        // Nothing before an irreversible move can ever be repeated.
        game.reversibleMoves = 0;
        gGame.repetitionList[0] = pos.hashKey;
        gGame.repetitionCount = 1;
    } else if (isCastling(m)) {
        // Castling changes the rights, which are part of every key.
        gGame.repetitionList[0] = pos.hashKey;
        gGame.repetitionCount = 1;
    } else {
        appendRepetition(pos.hashKey);
    }
}

void passGameTurn(Board& pos) {
    pos.historyCount = 1;
    HistoryEntry pass;
    pass.move = GAME_PASS;
    pass.castling = pos.castling;
    pass.epSquare = pos.epSquare;
    pass.reversibleMoves = pos.history[1].reversibleMoves;
    pass.hashKey = pos.hashKey;
    pass.pawnKey = pos.pawnKey;
    std::vector<HistoryEntry>& record = gGame.gameRecord;
    if (record.size() == record.capacity()) record.reserve(record.capacity() + 64);
    record.push_back(pass);

    // The right to take en passant lapses with the turn.
    if (pos.epSquare) {
        pos.hashKey ^= zobrist.enPassant[pos.epSquare];
        pos.epSquare = 0;
        pos.history[1].epSquare = 0;
    }
    pos.hashKey ^= zobrist.side[WHITE] ^ zobrist.side[BLACK];
    pos.sideToMove ^= 1;
    gGame.gamePly++;
    // No position before the pass, with the other side to move, can recur.
    gGame.repetitionList[0] = pos.hashKey;
    gGame.repetitionCount = 1;
}

void takeBackGameMove(Board& pos, const HistoryEntry& record) {
    if (record.move == 0) return;  // nothing to take back
    if (gGame.gamePly > 1) gGame.gamePly--;
    pos.historyCount = 1;
    if (record.move == GAME_PASS) {
        pos.sideToMove ^= 1;
        pos.epSquare = record.epSquare;
        pos.hashKey = record.hashKey;
        pos.history[1].epSquare = record.epSquare;
        pos.history[1].reversibleMoves = record.reversibleMoves;
        rebuildRepetitionList(pos.hashKey, record);
        return;
    }
    HistoryEntry& game = pos.history[0];
    game.move = record.move;
    game.castling = record.castling;
    game.epSquare = record.epSquare;
    game.reversibleMoves = record.reversibleMoves;
    game.hashKey = record.hashKey;
    game.pawnKey = record.pawnKey;
    unmakeMove(pos);
    pos.historyCount = 1;
    // The search root (entry 1) must describe the position now on the board.
    pos.history[1].reversibleMoves = record.reversibleMoves;
    pos.history[1].castling = record.castling;
    rebuildRepetitionList(pos.hashKey, record);
}

bool gameDrawCheck(const Board& pos) {
    if (pos.history[pos.historyCount].reversibleMoves >= FIFTY_MOVE_PLIES) return true;
    int seen = 0;
    for (uint32_t i = 0; i < gGame.repetitionCount; i++) seen += gGame.repetitionList[i] == pos.hashKey;
    return seen >= 3;
}

// The board record: the position kept three ways at once (piece codes,
// bitboards, rotated occupancies), its keys, and the history of the moves
// made on it.
#pragma once

#include <bit>
#include <cstdint>

#include "board/castling_rules.h"
#include "board/types.h"

// One colour's pieces and material counters, kept up to date move by move.
struct SideRecord {
    Bitboard pieces[7];      // [ALL_PIECES] = every piece, then pawn .. king
    uint8_t pawnCount;
    uint8_t pieceMaterial;   // knight/bishop 3, rook 5, queen 9
    uint8_t minorCount;      // knights + bishops
    uint8_t majorCount;      // rook 1, queen 2
    uint8_t kingSquare;
    int32_t materialScore;   // pawn 100 .. queen 900, king 0
};

// Undo state of one move: the position before it was made.
struct HistoryEntry {
    Move move;
    uint8_t castling;
    uint8_t epSquare;
    uint8_t reversibleMoves;  // belongs to the position this entry stands for
    uint64_t hashKey;
    uint64_t pawnKey;
};

// A game record entry for a turn passed without a move (the side to move
// changed by command). No generated move has this code.
constexpr Move GAME_PASS = 0xFFFFFFFFu;

// The fifty-move rule: a game is drawn once this many half-moves have
// passed without a capture or a pawn move.
constexpr int FIFTY_MOVE_PLIES = 100;

// History entries: the game level (entry 0), the root of a search (entry 1)
// and one for each ply a search can go below it.
constexpr int HISTORY_SIZE = 67;

struct Board {
    int8_t board[64];
    uint64_t hashKey;
    uint64_t pawnKey;
    Bitboard occFileMajor;  // bit file*8+row for each occupied square
    Bitboard occA1H8;       // a1-h8 diagonals contiguous
    Bitboard occA8H1;       // a8-h1 diagonals contiguous
    SideRecord sides[2];
    uint8_t sideToMove;
    uint8_t castling;
    uint8_t epSquare;       // 0 = none (a8 can never be an en-passant square)
    uint32_t historyCount;  // history entry the next makeMove fills; the search ply
    HistoryEntry history[HISTORY_SIZE];
    CastlingSetup castlingSetup;  // where this game's castling rooks started
};

// Zobrist keys. Piece index: White pawn..king 0..5, Black king..pawn 6..11.
struct ZobristKeys {
    uint64_t piece[12][64];
    uint64_t enPassant[64];
    uint64_t pawn[2][64];
    uint64_t side[2];  // White to move, Black to move
    // A castling right whose rook did not start in its corner (Chess960):
    // by castling index and the rook's file.
    uint64_t castlingFile[4][8];
};
extern ZobristKeys zobrist;

constexpr int pieceIndex(int colour, int type) { return colour == WHITE ? type - 1 : 12 - type; }

// One draw of the additive lagged-Fibonacci generator (Knuth, Algorithm A).
uint32_t zobristGenerator();
// Draws every key in its fixed order; the book depends on the exact values.
void initZobristKeys();

// The initial position on the board alone, the history at its root; the
// game level is left as it is (the book replays games on a record of its
// own with it, and beginGame starts a game from it).
void setInitialBoard(Board& pos);
void rebuildDerivedState(Board& pos);
// The castling rules of a position from the squares its castling rooks
// started on (-1 for a right it never had), by castling index; the kings
// must be in place. The standard game (chess960 false) always has the four
// rules of the corners. The castling rights themselves are not changed.
void setCastlingRules(Board& pos, const int rookSquare[4], bool chess960);
// The rooks' squares of the position's rules, -1 where it has none.
void castlingRookSquares(const Board& pos, int rookSquare[4]);
uint64_t computeHashKey(const Board& pos);
uint64_t computePawnKey(const Board& pos);
void mirrorPosition(const Board& in, Board& out);
void displayBoard(const Board& pos);

inline int popCount(Bitboard b) { return std::popcount(b); }
// The type of the piece on a square, 0 when it is empty.
inline int pieceTypeOn(const Board& pos, int sq) { return pos.board[sq] < 0 ? -pos.board[sq] : pos.board[sq]; }
inline int lowestSquare(Bitboard b) { return std::countr_zero(b); }
inline int highestSquare(Bitboard b) { return 63 - std::countl_zero(b); }
// Squares of a bitboard are visited lowest first for White, highest first
// for Black; this fixes the order of generated moves.
inline int firstSquare(Bitboard b, int side) { return side == WHITE ? lowestSquare(b) : highestSquare(b); }

// A move together with its printed text, cached once produced.
class MoveC {
public:
    MoveC() = default;
    explicit MoveC(Move m) : move(m) {}
    virtual ~MoveC() = default;

    char text[8] = {};
    int32_t state = 0;  // 1: cached text returned, 2: text (re)computed
    Move move = 0;
    uint8_t valid = 0;
};

// The position record: the board kept three ways at once (piece codes,
// bitboards, rotated occupancies), its keys and history, and the working
// state of the one search thread that owns it.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>
#include <vector>

#include "board/types.h"
#include "eval/pawn_entry.h"
#include "search/stack_types.h"

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

// The fifty-move rule: a game is drawn once this many half-moves have
// passed without a capture or a pawn move.
constexpr int FIFTY_MOVE_PLIES = 100;

constexpr int HISTORY_SIZE = 67;

struct Position {
    // --- the board ---
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

    // --- search working state of the thread that owns this record ---
    Move hashMove[PLY_SLOTS];        // move delivered by the table probe at each ply
    Move currentMove[PLY_SLOTS];     // move being searched; [p-1] led to ply p
    PVRow pv[PLY_SLOTS];
    uint8_t inCheck[PLY_SLOTS];
    Move killers[PLY_SLOTS][2];
    PickerState picker[PLY_SLOTS];
    int32_t listStart[PLY_SLOTS + 1];  // ply p's moves: moveStack[listStart[p] .. listStart[p+1])
    uint32_t movesDelivered[PLY_SLOTS];
    uint32_t movesSearched[PLY_SLOTS];
    Move moveStack[MOVE_STACK_SIZE];
    int32_t sortKeys[SORT_KEYS_SIZE];
    SearchStatistics stats;
    // Set by another thread when this record's work at a split is no longer
    // needed; read through searchStopped.
    uint8_t stopFlag;
    int32_t threadNumber;   // 0 for the thread that reads input and the clock
    // Keys of the positions on this thread's search path, by ply, for the
    // repetition test; the game's own positions stay in gGame.
    uint64_t pathKeys[PLY_SLOTS];

    // --- parallel search: this record as a split node, or as a worker's copy ---
    // The words other threads read while spinning (workerCount, splitLock,
    // stopFlag) are only ever touched through atomic operations.
    Position* parent;                         // the split node this copy works for; null at a search's root
    Position* children[MAX_THREAD_COUNT];     // by thread: the copies working for this record's split node
    uint32_t workerCount;                     // copies still working for it
    uint32_t inUse;                           // taken from the record pool
    uint32_t splitLock;                       // guards the split node's picker, counts and best result
    int32_t splitDepth, splitAlpha, splitBeta;
    int32_t splitBestScore;                   // the best the workers have found, and its move
    Move splitBestMove;

    // --- evaluation scratch of this thread ---
    uint8_t gamePhase;        // 0 opening, 1 middlegame, 2 endgame
    PawnEntry pawnEntry;      // one-entry cache in front of the pawn table
    uint8_t kingWeakness[2];  // by colour of the king
    uint8_t attackUnits[2];   // by colour of the attacker
};

// Game-level state, one copy, written by the main thread (outside a search,
// except the engine side).
constexpr int REPETITION_CAPACITY = 1024;
struct GameState {
    // Keys of the game positions since the last irreversible move, current
    // position last; a search appends its path behind them.
    uint64_t repetitionList[REPETITION_CAPACITY + PLY_SLOTS];
    uint32_t repetitionCount;
    int gamePly;          // half-move counter, 1 before White's first move
    bool setUpPosition;   // the game did not start from the initial position
    // The side the engine plays: 0 White, 1 Black, -1 none (force mode). The
    // shell's commands change it at any time, also while a search runs: the
    // evaluation scores some terms for the engine's side only, and "force"
    // or "exit" end the deepening of a running search through it, and
    // idle search threads end when it becomes -1. Every search thread reads
    // it, so it is an atomic value.
    std::atomic<int> engineSide{-1};
    // One record per move played in the game, for "undo" and learning.
    // Grows only between searches.
    std::vector<HistoryEntry> gameRecord;
};
extern GameState gGame;

// Zobrist keys. Piece index: White pawn..king 0..5, Black king..pawn 6..11.
struct ZobristKeys {
    uint64_t piece[12][64];
    uint64_t enPassant[64];
    uint64_t pawn[2][64];
    uint64_t side[2];  // White to move, Black to move
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
void setInitialBoard(Position& pos);
void rebuildDerivedState(Position& pos);
uint64_t computeHashKey(const Position& pos);
uint64_t computePawnKey(const Position& pos);
void mirrorPosition(const Position& in, Position& out);
void displayBoard(const Position& pos);

inline int popCount(Bitboard b) { return std::popcount(b); }
// The type of the piece on a square, 0 when it is empty.
inline int pieceTypeOn(const Position& pos, int sq) { return pos.board[sq] < 0 ? -pos.board[sq] : pos.board[sq]; }
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

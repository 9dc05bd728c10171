#include "book/book_replay.h"

#include <cstring>

#include "board/makemove.h"

namespace {

constexpr int8_t initialBoard[64] = {
    -4, -2, -3, -5, -6, -3, -2, -4,
    -1, -1, -1, -1, -1, -1, -1, -1,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     1,  1,  1,  1,  1,  1,  1,  1,
     4,  2,  3,  5,  6,  3,  2,  4,
};

// makeMove trusts the ply's hash move; a replay has none, so every move is
// tested for legality.
struct HashMoveCleared {
    Move& slot;
    Move saved;
    explicit HashMoveCleared(Position& pos) : slot(pos.hashMove[pos.historyCount]), saved(slot) { slot = 0; }
    ~HashMoveCleared() { slot = saved; }
};

}  // namespace

void setInitialBoard(Position& pos) {
    std::memcpy(pos.board, initialBoard, sizeof pos.board);
    pos.sideToMove = WHITE;
    pos.castling = WHITE_KINGSIDE | WHITE_QUEENSIDE | BLACK_KINGSIDE | BLACK_QUEENSIDE;
    pos.epSquare = 0;
    pos.historyCount = 1;
    pos.history[1] = HistoryEntry{};
    pos.history[1].castling = pos.castling;
    rebuildDerivedState(pos);
    pos.hashKey = computeHashKey(pos);
    pos.pawnKey = computePawnKey(pos);
}

int generateLegalMoves(Position& pos, Move* out) {
    HashMoveCleared cleared(pos);
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    int count = 0;
    for (Move* m = moves; m < end; m++) {
        if (!makeMove(pos, *m, false)) continue;
        unmakeMove(pos);
        out[count++] = *m;
    }
    return count;
}

Move findLegalMove(Position& pos, Move move) {
    if (move == 0) return 0;
    HashMoveCleared cleared(pos);
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    for (Move* m = moves; m < end; m++) {
        if (*m != move) continue;
        if (!makeMove(pos, *m, false)) return 0;
        unmakeMove(pos);
        return *m;
    }
    return 0;
}

void advancePosition(Position& pos, Move move) {
    // Entry 0 takes the state before the move, entry 1 becomes the root of
    // the new position, as for the moves of the game itself.
    pos.historyCount = 0;
    makeMove(pos, move, true);
    pos.historyCount = 1;
}

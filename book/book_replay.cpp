#include "book/book_replay.h"

#include "board/makemove.h"

namespace {

// makeMove trusts the ply's hash move; a replay has none, so every move is
// tested for legality.
struct HashMoveCleared {
    Move& slot;
    Move saved;
    explicit HashMoveCleared(Position& pos) : slot(pos.hashMove[pos.historyCount]), saved(slot) { slot = 0; }
    ~HashMoveCleared() { slot = saved; }
};

}  // namespace

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

#include "book/book_replay.h"

#include "board/makemove.h"

int generateLegalMoves(Board& pos, Move* out) {
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

Move findLegalMove(Board& pos, Move move) {
    if (move == 0) return 0;
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

void advancePosition(Board& pos, Move move) {
    // Entry 0 takes the state before the move, entry 1 becomes the root of
    // the new position, as for the moves of the game itself.
    pos.historyCount = 0;
    makeMove(pos, move, true);
    pos.historyCount = 1;
}

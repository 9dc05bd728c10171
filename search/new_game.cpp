#include "search/new_game.h"

#include "board/game_state.h"
#include "board/notation.h"
#include "eval/pawn_table.h"
#include "search/transposition.h"

bool beginGame(EvalBoard& pos, const char* fen, StoredResults results) {
    int gamePly = 1;
    if (fen) {
        if (setBoardFromFen(pos, fen, &gamePly, gGame.chess960) != 0) return false;
        // A position typed in may share its pawns with one the table scored
        // under another game's phase tables.
        clearPawnTable();
    } else {
        setInitialBoard(pos);
        if (gGame.chess960) {
            // The standard array is start position 518 of Chess960: the
            // same men and keys, castling written king-takes-rook.
            int rooks[4];
            castlingRookSquares(pos, rooks);
            setCastlingRules(pos, rooks, true);
            pos.hashKey = computeHashKey(pos);
        }
    }
    pos.pawnEntry = PawnEntry{};
    pos.gamePhase = 0;
    gTransposition.age = 0;
    if (results == StoredResults::Dropped) {
        clearTranspositionTable();
        clearPawnTable();
    }

    gGame.gameRecord.clear();
    gGame.gamePly = gamePly;
    gGame.setUpPosition = fen != nullptr;
    // The current game position is always the last entry of the repetition
    // list, so a return to it counts towards a threefold repetition and the
    // search always finds its root in the list.
    gGame.repetitionList[0] = pos.hashKey;
    gGame.repetitionCount = 1;
    return true;
}

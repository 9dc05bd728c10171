// FEN text given to the position set-up. A position it accepts must be one
// the rest of the engine can live with: every generated move is played and
// taken back to the same keys, its SAN reads back as the same move, the
// evaluation scores it and a tiny search runs on it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "eval/evaluate.h"
#include "search/new_game.h"
#include "search/position.h"
#include "search/search_request.h"
#include "shell/game_flow.h"
#include "search/time_control.h"
#include "shell/commands.h"
#include "shell/evaltest.h"
#include "shell/shell_state.h"
#include "platform/clock.h"
#include "tools/fuzz/fuzz_support.h"

namespace {

[[noreturn]] void fail(const char* what, const char* fen) {
    std::fprintf(stderr, "%s: %s\n", what, fen);
    std::abort();
}

void checkMoves(Position& pos, const char* fen) {
    const uint64_t key = pos.hashKey;
    const uint64_t pawnKey = pos.pawnKey;
    Move list[MAX_MOVES];
    Move* end = generateAllMoves(pos, list);
    for (Move* m = list; m < end; m++) {
        if (!isLegalMove(*m, pos)) continue;
        MoveC san(*m);
        const std::string text = moveToSan(san, pos);
        MoveC back;
        parseMove(back, pos, text.c_str());
        if (!back.valid || back.move != *m) fail(("SAN does not read back: " + text).c_str(), fen);
        // The interfaces' coordinate form too (king-takes-rook castling in
        // Chess960).
        MoveC pure(*m);
        const std::string coordinate = moveToPureCoordinate(pure);
        MoveC again;
        parseMove(again, pos, coordinate.c_str());
        if (!again.valid || again.move != *m) fail(("coordinates do not read back: " + coordinate).c_str(), fen);
        if (!makeMove(pos, *m, false)) continue;
        if (pos.hashKey != computeHashKey(pos) || pos.pawnKey != computePawnKey(pos)) fail("keys after a move", fen);
        unmakeMove(pos);
        if (pos.hashKey != key || pos.pawnKey != pawnKey) fail("keys after taking a move back", fen);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzStartUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 512) return -1;
    const std::string fen(reinterpret_cast<const char*>(data), size);
    Position& pos = fuzzFreshEngine();
    // Each text is read by the standard game's rules and, where they refuse
    // it, by Chess960's.
    gGame.chess960 = false;
    if (!beginGame(pos, fen.c_str())) {
        gGame.chess960 = true;
        if (!beginGame(pos, fen.c_str())) return 0;
    }
    startSetUpGame(pos);
    if (pos.hashKey != computeHashKey(pos) || pos.pawnKey != computePawnKey(pos)) fail("keys after set-up", fen.c_str());
    checkMoves(pos, fen.c_str());
    perft(pos, 2);
    consoleEvaluation(pos);

    gGame.engineSide = pos.sideToMove;
    shareShellSettings();
    SearchRequest request = gameRequest();
    request.startTime = timeNow();
    search(pos, request);
    return 0;
}

#include "shell/diagnostics.h"

#include <cstdio>
#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/syzygy.h"
#include "egtb/syzygy_probe.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_values.h"
#include "platform/clock.h"
#include "search/position.h"
#include "shell/commands.h"

namespace {

void printPerftUsage() {
    std::printf("usage: perft n (divide)- where n is the depth you want to test the move generator. "
                "Optionally, specify 'divide' to show root move list and counts\n");
}

void perftPlain(Position& pos, int depth) {
    uint32_t start = timeNow();
    uint32_t count = perft(pos, depth);
    uint32_t elapsed = timeNow() - start;
    std::printf("perft depth %i: %u moves (%ums)\n", depth, count, elapsed);
}

// The count below each legal root move, then the totals.
void perftDivide(Position& pos, int depth) {
    uint32_t start = timeNow();
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    uint32_t legal = 0, total = 0;
    for (Move* m = moves; m < end; m++) {
        MoveC move(*m);
        moveToSan(move, pos);
        if (!makeMove(pos, *m, false)) continue;
        legal++;
        uint32_t count = depth > 1 ? perft(pos, depth - 1) : 1;
        total += count;
        std::printf("%s:\t%u\n", move.text, count);
        unmakeMove(pos);
    }
    uint32_t elapsed = timeNow() - start;
    std::printf("moves: %u\n", legal);
    std::printf("total nodes: %u\n", total);
    std::printf("perft %i divide completed (%ums)\n", depth, elapsed);
}

}  // namespace

void commandPerft(Position& pos, const CommandArgs& args) {
    if (args.count < 2) {
        printPerftUsage();
        return;
    }
    bool divide = args.count >= 4 || (args.count == 3 && std::strcmp(args.word[2], "divide") == 0);
    if (args.count == 3 && !divide) {
        printPerftUsage();
        return;
    }
    int depth = wordValue(args.word[1]);
    // Zero plies or fewer mean nothing, and the history holds 64 plies below
    // the root; show how to ask instead.
    if (depth < 1 || depth > MAX_PLY) {
        printPerftUsage();
        return;
    }
    // Start at the root.
    pos.historyCount = 1;
    if (divide)
        perftDivide(pos, depth);
    else
        perftPlain(pos, depth);
}

void commandTbprobe(Position& pos) {
    const bool syzygy = syzygyLargestMen() > 0, ours = tablebaseMaxMen() > 0;
    if (!syzygy && !ours) {
        std::printf("no tablebases in use\n");
        return;
    }
    const int men = popCount(pos.sides[WHITE].pieces[ALL_PIECES] | pos.sides[BLACK].pieces[ALL_PIECES]);
    if (syzygy) {
        int wdl, dtz;
        if (men <= syzygyLargestMen() && !pos.castling && probeSyzygyPosition(pos, wdl, dtz))
            std::printf("syzygy wdl %d dtz %d\n", wdl, dtz);
        else
            std::printf("syzygy: no table holds this position\n");
    }
    if (ours) {
        const int value = pos.castling ? TB_NOT_AVAILABLE : probeTablebaseValue(pos, pos.sideToMove ^ 1);
        if (value == TB_NOT_AVAILABLE) {
            std::printf("egtb: no table holds this position\n");
        } else if (value == TB_DRAW) {
            std::printf("egtb draw\n");
        } else {
            // Plies to mate: odd when the side to move mates.
            const int plies = pliesFromValue(value);
            if (value > 0) std::printf("egtb mate in %d\n", (plies + 1) / 2);
            else std::printf("egtb mated in %d\n", plies / 2);
        }
    }
}

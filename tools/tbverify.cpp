// tbverify: checks that a table agrees with itself and with the tables its
// moves lead into, where no outside reference exists (five men).
//
//   tbverify -d DIR [-n N] TABLE...
//
// For N random legal positions of each side (default 100000; 0: every
// position) the stored value must be what the best move gives: a win one
// move longer than the child's fastest loss, else a draw if a move draws,
// else a loss as long as the child's slowest win, and checkmate or
// stalemate where there is no move. The moves come from the engine's own
// move generator, the child values from the engine's probe. A table that
// passes at every position is exact: the distances along a win fall move
// by move down to a checkmate.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/catalogue.h"
#include "egtb/table_entries.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_values.h"
#include "egtb/tablebases.h"
#include "search/position.h"

namespace {

// The value a position must have given the values after each legal move;
// TB_NOT_AVAILABLE when a child is not in the tables.
int valueFromChildren(Position& pos) {
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    bool any = false, draw = false, win = false;
    int best = 0, slowest = 0;
    for (Move* m = moves; m < end; m++) {
        if (!makeMove(pos, *m, false)) continue;
        any = true;
        int child = popCount(occupied(pos)) == 2 ? 0 : probeTablebaseValue(pos, pos.sideToMove ^ 1);
        unmakeMove(pos);
        if (child == TB_NOT_AVAILABLE) return TB_NOT_AVAILABLE;
        if (child < 0) {
            int v = TB_NOT_AVAILABLE - (child + 32766 + 1);
            best = win ? std::max(best, v) : v;
            win = true;
        } else if (child == 0) {
            draw = true;
        } else {
            slowest = std::max(slowest, TB_NOT_AVAILABLE - child);
        }
    }
    if (!any) return isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1) ? -32766 : 0;
    if (win) return best;
    if (draw) return 0;
    return -32766 + slowest;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    long samples = 100000;
    std::vector<int> tables;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "-d") && i + 1 < argc) dir = argv[++i];
        else if (!std::strcmp(argv[i], "-n") && i + 1 < argc) samples = std::atol(argv[++i]);
        else if (int t = findTable(argv[i]); t > 0 && tableHasIndex(t)) tables.push_back(t);
        else {
            std::fprintf(stderr, "tbverify: no table \"%s\"\n", argv[i]);
            return 2;
        }
    }
    if (dir.empty() || tables.empty()) {
        std::fprintf(stderr, "usage: tbverify -d DIR [-n N] TABLE...\n");
        return 2;
    }
    initZobristKeys();
    initBoardTables();
    if (initTablebases(dir.c_str(), 1, false) == 0) {
        std::fprintf(stderr, "tbverify: no tables in %s\n", dir.c_str());
        return 2;
    }
    std::vector<uint8_t> cache(256u << 20);
    setTablebaseCache(cache.data(), cache.size());

    std::mt19937_64 rng(12345);
    auto pos = std::make_unique<Position>();
    long totalChecked = 0, totalWrong = 0;
    for (int t : tables) {
        const uint64_t size = tableLayout(t).size;
        long checked = 0, wrong = 0, missing = 0;
        for (int side = 0; side < 2; side++) {
            auto check = [&](uint32_t index, const int* sq) {
                const std::string fen = entryFen(t, sq, side);
                if (setBoardFromFen(*pos, fen.c_str()) != 0) return;
                const int stored = probeTablebaseValue(*pos, side ^ 1);
                const int expected = valueFromChildren(*pos);
                if (stored == TB_NOT_AVAILABLE || expected == TB_NOT_AVAILABLE) {
                    missing++;
                    return;
                }
                checked++;
                if (stored != expected) {
                    if (wrong < 10) std::printf("  %s (entry %u): stored %d, from the moves %d\n", fen.c_str(), index, stored, expected);
                    wrong++;
                }
            };
            if (samples == 0) {
                forEachLegalEntry(t, side, check);
                continue;
            }
            for (long n = 0; n < samples;) {
                uint32_t index = uint32_t(rng() % size);
                int sq[TB_MAX_MEN];
                if (!legalEntry(t, side, index, sq)) continue;
                check(index, sq);
                n++;
            }
        }
        std::printf("%-6s %ld positions checked, %ld differences%s\n", tableCatalogue[t].name, checked, wrong,
                    missing ? (", " + std::to_string(missing) + " not in the tables").c_str() : "");
        totalChecked += checked;
        totalWrong += wrong;
    }
    releaseTablebases();
    return totalWrong ? 1 : 0;
}

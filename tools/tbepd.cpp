// tbepd: checks the engine's tablebase probe against EPD files with exact
// mate distances ("dm N" or "bm #N": the side to move mates in N moves; N
// below 0: it is mated in -N; dm 0: a draw).
//
//   tbepd -d DIR FILE...
//
// The tables in DIR are registered as the engine registers them and each
// position is probed as the search probes it. A position with an
// en-passant capture available is not in the tables; like the search, the
// check then looks one move further, where every reply is. While it works,
// a progress line says which file it reads and how far it has come.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/block_cache.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_values.h"
#include "egtb/tablebases.h"
#include "platform/progress_line.h"
#include "search/position.h"

namespace {

// The value of a position from the values after each of its moves.
int valueByOneMove(Position& pos) {
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    bool any = false, draw = false, win = false, unknown = false;
    int best = 0, slowest = 0;
    for (Move* m = moves; m < end; m++) {
        if (!makeMove(pos, *m, false)) continue;
        any = true;
        int child = popCount(occupied(pos)) == 2 ? 0 : probeTablebaseValue(pos, pos.sideToMove ^ 1);
        unmakeMove(pos);
        if (child == TB_NOT_AVAILABLE) unknown = true;
        else if (child < 0) {
            int v = TB_NOT_AVAILABLE - (child + 32766 + 1);
            best = win ? std::max(best, v) : v;
            win = true;
        } else if (child == 0) draw = true;
        else slowest = std::max(slowest, TB_NOT_AVAILABLE - child);
    }
    if (!any) return isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1) ? -32766 : 0;
    if (win) return best;
    if (unknown) return TB_NOT_AVAILABLE;
    if (draw) return 0;
    return -32766 + slowest;
}

// The expected value of an EPD line, false when it names no distance.
bool expectedValue(const std::string& operations, int& value) {
    int n;
    size_t at;
    if ((at = operations.find("dm ")) != std::string::npos) n = std::atoi(operations.c_str() + at + 3);
    else if ((at = operations.find("bm #")) != std::string::npos) n = std::atoi(operations.c_str() + at + 4);
    else return false;
    value = n > 0 ? TB_NOT_AVAILABLE - n : n < 0 ? -32766 - n : 0;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "-d") && i + 1 < argc) dir = argv[++i];
        else files.push_back(argv[i]);
    }
    if (dir.empty() || files.empty()) {
        std::fprintf(stderr, "usage: tbepd -d DIR FILE...\n");
        return 2;
    }
    initZobristKeys();
    initBoardTables();
    if (initTablebases(dir.c_str(), 1, false) == 0) {
        std::fprintf(stderr, "tbepd: no tables in %s\n", dir.c_str());
        return 2;
    }
    std::vector<uint8_t> cache(32u << 20);
    setTablebaseCache(cache.data(), cache.size());

    // Progress is counted in bytes of the files read (a byte more for each
    // file, so that empty ones count too).
    std::vector<uint64_t> fileBytes;
    uint64_t totalBytes = 0, finishedBytes = 0;
    for (const std::string& file : files) {
        std::error_code unknownSize;
        const uint64_t bytes = std::filesystem::file_size(file, unknownSize);
        fileBytes.push_back(unknownSize ? 1 : bytes + 1);
        totalBytes += fileBytes.back();
    }
    ProgressLine progress;
    startProgressLine(progress, stdout);

    auto pos = std::make_unique<Position>();
    long total = 0, wrong = 0;
    for (size_t f = 0; f < files.size(); f++) {
        const std::string& file = files[f];
        std::ifstream in(file);
        if (!in) {
            clearProgressLine(progress);
            std::fprintf(stderr, "tbepd: cannot read %s\n", file.c_str());
            return 2;
        }
        long checked = 0, differences = 0;
        std::string line;
        while (std::getline(in, line)) {
            if (progressDue(progress)) {
                const std::streamoff at = in.tellg();
                const std::string what = "probing " + file + " (file " + std::to_string(f + 1) + " of " +
                                         std::to_string(files.size()) + "): " + std::to_string(checked) + " positions";
                showProgress(progress, what, double(finishedBytes + (at > 0 ? uint64_t(at) : 0)) / double(totalBytes));
            }
            std::istringstream fields(line);
            std::string board, side, castling, ep;
            if (!(fields >> board >> side >> castling >> ep) || board[0] == '#') continue;
            int expected;
            std::string operations;
            std::getline(fields, operations);
            if (!expectedValue(operations, expected)) continue;
            const std::string fen = board + " " + side + " " + castling + " " + ep;
            if (setBoardFromFen(*pos, fen.c_str()) != 0) {
                clearProgressLine(progress);
                std::printf("  unreadable: %s\n", fen.c_str());
                differences++;
                continue;
            }
            int value = probeTablebaseValue(*pos, pos->sideToMove ^ 1);
            if (value == TB_NOT_AVAILABLE && pos->epSquare) value = valueByOneMove(*pos);
            checked++;
            if (value != expected) {
                clearProgressLine(progress);
                if (differences < 10) std::printf("  %s: probed %d, expected %d\n", fen.c_str(), value, expected);
                differences++;
            }
        }
        clearProgressLine(progress);
        std::printf("%s: %ld positions, %ld differences\n", file.c_str(), checked, differences);
        finishedBytes += fileBytes[f];
        total += checked;
        wrong += differences;
    }
    std::printf("total: %ld positions, %ld differences\n", total, wrong);
    releaseTablebases();
    return wrong ? 1 : 0;
}

// Our endgame table files given to registration and probing. The input
// chooses a three- or four-man table and the form of its file, then gives
// the squares of a position and the file itself:
//
//   byte 0             the table (1 .. 35 by the catalogue's numbers)
//   byte 1             the file: White or Black to move, plain or one of
//                      the three compressed names
//   bytes 2 .. 17      squares for the men of a probed position, and
//                      entry numbers to read directly
//   the rest           the file's bytes
//
// The file is registered as "egtpath" would (a damaged file is left out),
// and then read through the cache both directly and by a position probe.
#include <cstdio>
#include <cstring>
#include <string>

#include "board/notation.h"
#include "egtb/catalogue.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_settings.h"
#include "egtb/tablebases.h"
#include "search/position.h"
#include "tools/fuzz/fuzz_support.h"

namespace {

constexpr size_t HEADER_BYTES = 18;
constexpr size_t CACHE_BYTES = 256 * 1024;
alignas(64) unsigned char cache[CACHE_BYTES];

std::string fileName(int table, int form) {
    const std::string name = tableCatalogue[size_t(table)].name;
    switch (form % 5) {
    case 0: return name + ".nbw";
    case 1: return name + ".nbb";
    case 2: return name + ".nbw.emd";
    case 3: return name + "_nbb.emd";
    default: return name + "nbw.emd";
    }
}

// A FEN with the table's men on the given squares (later men on a taken
// square are moved to the next free one); the set-up judges it.
std::string positionFen(int table, const uint8_t* squares, bool whiteToMove) {
    int counts[10];
    if (!countsFromName(tableCatalogue[size_t(table)].name, counts)) return "";
    char board[64];
    std::memset(board, 0, sizeof board);
    int next = 0;
    auto place = [&](char piece) {
        int sq = squares[next++ % 16] % 64;
        while (board[sq]) sq = (sq + 1) % 64;
        board[sq] = piece;
    };
    place('K');
    place('k');
    const char letters[10] = {'P', 'N', 'B', 'R', 'Q', 'p', 'n', 'b', 'r', 'q'};
    for (int i = 0; i < 10; i++)
        for (int n = 0; n < counts[i]; n++) place(letters[i]);
    std::string fen;
    for (int rank = 0; rank < 8; rank++) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            char c = board[rank * 8 + file];
            if (!c) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (rank < 7) fen += '/';
    }
    return fen + (whiteToMove ? " w - - 0 1" : " b - - 0 1");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzStartUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < HEADER_BYTES || size > 262144) return -1;
    const int table = 1 + data[0] % LAST_FOUR_MAN_TABLE;
    const int form = data[1];
    const uint8_t* squares = data + 2;
    Position& pos = fuzzFreshEngine();
    const std::string name = fileName(table, form);
    fuzzWriteFile(name.c_str(), data + HEADER_BYTES, size - HEADER_BYTES);

    if (initTablebases(".", 1, false) == 0) return 0;
    setTablebaseCache(cache, CACHE_BYTES);
    gTablebases.count = 1;

    const bool blackToMove = form % 5 == 1 || form % 5 == 3;
    const uint32_t entries = tableCatalogue[size_t(table)].expected[blackToMove];
    for (int i = 0; i < 4; i++) {
        uint32_t index;
        std::memcpy(&index, squares + 4 * i, 4);
        probeTableValue(table, 0, entries ? index % entries : index);
        probeTableValue(table, 1, entries ? index % entries : index);
    }
    for (bool whiteToMove : {true, false}) {
        if (setBoardFromFen(pos, positionFen(table, squares, whiteToMove).c_str()) != 0) continue;
        int score;
        probeTablebase(pos, pos.sideToMove ^ 1, score);
    }
    return 0;
}

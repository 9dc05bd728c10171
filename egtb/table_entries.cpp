#include "egtb/table_entries.h"

#include <algorithm>

#include "egtb/catalogue.h"
#include "egtb/index_scheme.h"
#include "egtb/table_board.h"

bool legalEntry(int table, int side, uint32_t index, int* sq) {
    const TableLayout& layout = tableLayout(table);
    TableBoard b;
    if (!decodeIndex(layout, index, sq) || !boardFromSquares(layout, sq, b) || b.inCheck(side ^ 1)) return false;
    int copy[TB_MAX_MEN];
    std::copy(sq, sq + layout.men, copy);
    return canonicalIndex(layout, copy) == index;
}

void forEachLegalEntry(int table, int side, const std::function<void(uint32_t, const int*)>& visit) {
    const uint64_t size = tableLayout(table).size;
    for (uint64_t index = 0; index < size; index++) {
        int sq[TB_MAX_MEN];
        if (legalEntry(table, side, uint32_t(index), sq)) visit(uint32_t(index), sq);
    }
}

std::string entryFen(int table, const int* sq, int side) {
    const TableLayout& layout = tableLayout(table);
    char board[64];
    std::fill(board, board + 64, '.');
    for (int m = 0; m < layout.men; m++) {
        const char letter = " PNBRQK"[layout.manType[m]];
        board[flipRanks(sq[m])] = layout.manColour[m] ? char(letter + ('a' - 'A')) : letter;
    }
    std::string fen;
    for (int row = 0; row < 8; row++) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            const char c = board[row * 8 + file];
            if (c == '.') {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (row < 7) fen += '/';
    }
    return fen + (side ? " b - - 0 1" : " w - - 0 1");
}

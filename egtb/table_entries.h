// The entries of a table that stand for legal positions, for the checks
// that compare a table with another source: each such entry with its men's
// squares, and the FEN of the position.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Visits every entry of a table side that stands for a legal position (the
// canonical entry of a position whose side not to move is not in check):
// visit(index, squares of the men in digit order, tablebase numbering).
// The board tables must be built (initBoardTables).
void forEachLegalEntry(int table, int side, const std::function<void(uint32_t, const int*)>& visit);

// Whether an entry stands for a legal position (see forEachLegalEntry);
// its men's squares go to sq.
bool legalEntry(int table, int side, uint32_t index, int* sq);

// The FEN of a table's men on the given squares (digit order, tablebase
// numbering), `side` to move.
std::string entryFen(int table, const int* sq, int side);

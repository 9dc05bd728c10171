// Materials as the generator looks them up: the ten men counts of the count
// tree (White pawns, knights, bishops, rooks, queens, then Black's) name a
// catalogue table, and a table's captures and promotions lead into the
// tables of the materials one man fewer or one pawn promoted.
#pragma once

#include <vector>

// The table of a material, negative when the table has the colours
// exchanged; 0 for none.
int tableOfCounts(const int counts[10]);

// The catalogue tables a table's captures and promotions lead into.
std::vector<int> tableDependencies(int table);

// The book moves of a position: its legal moves that have a record in the
// position's cluster.
#pragma once

#include <algorithm>
#include <climits>

#include "board/board.h"
#include "board/movegen.h"
#include "book/book_format.h"

struct BookMove {
    Move move;
    BookRecord record;

    int games() const {
        int64_t games = int64_t(record.wins) + record.losses + record.draws;
        return int(std::min<int64_t>(games, INT_MAX));
    }
    int learned() const { return learnedCentipawns(record.learned); }
};

// The cluster of a position: the top 16 bits of its hash key.
inline int clusterOfPosition(const Board& pos) { return int(pos.hashKey >> 48); }

// The legal moves of the position found among the `clusterCount` records
// now in the cluster buffer, in generation order; returns how many.
int bookMovesInCluster(Board& pos, int clusterCount, BookMove* out);

enum class BookRead { ok, noFile, noCluster, readError };
// Opens book.bin and reads the position's book moves into `out`, printing
// what went wrong: the file that would not open ("Error: " and the reason,
// or `openFailure` on the error stream when given), a position outside the
// book (its empty index entry), a cluster that could not be read.
BookRead readBookMoves(Board& pos, BookMove* out, int& count, const char* openFailure = nullptr);

// Building book.bin from a PGN game collection: every move of the first 50
// plies of every finished game becomes a record, the records are sorted in
// blocks into run files, and the runs are merged into the book.
#pragma once

#include <cstdint>

// Records held in memory and sorted at once; each full block becomes one
// run file. Tests choose smaller blocks to make many runs cheaply.
constexpr int BOOK_BLOCK_RECORDS = 100000;

struct BookBuildReport {
    int64_t records = 0;  // records generated; 0 when no book was made
    int games = 0;        // games read and replayed
    int runs = 0;         // run files written
};

// Builds book.bin from the PGN file; the old book stays in place unless the
// new one was completely written. Returns the number of records generated
// (0 when no book was made). Prints its progress.
BookBuildReport createBook(const char* pgnPath, int blockRecords = BOOK_BLOCK_RECORDS);

// The opened book: its index block and trailer, read once when the book is
// opened and checked so that no later read can leave the records, and the
// reading of one cluster (all the book moves of one position).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "book/book_format.h"

struct OpeningBook {
    // No usable book.bin: the probe answers "NoBook" and the engine searches.
    bool disabled = true;
    int32_t longestCluster = 0;
    int64_t recordCount = 0;  // records between the index block and the trailer
    // The index block, kept in memory so that a probe reads only its cluster.
    int32_t index[BOOK_CLUSTERS] = {};
    // Room for the longest cluster, allocated when the book is opened.
    std::vector<BookRecord> cluster;
    // The last "book moves" list, for the line a server front end kibitzes.
    std::string moveText;
};
extern OpeningBook gOpeningBook;

// Opens book.bin, checks its version and its structure and keeps its index.
// A missing or damaged book is reported and left disabled.
void openBook();
// Forgets the book and frees the cluster buffer.
void closeBook();

// Opens book.bin for reading a cluster: a file descriptor, or -1 after
// printing "Error: " and the system's reason.
int openBookForReading();
// What went wrong when a cluster's first record could not be read.
struct ClusterReadFailure {
    long bytesRead = 0;
    bool endOfFile = false;
    int error = 0;  // errno of a failed read, 0 at the end of the file
};
// Reads the records of cluster `c` (at most the longest-cluster count, and
// never past the records) into gOpeningBook.cluster: their number, 0 for an
// empty cluster, -1 when the first record could not be read.
int readCluster(int fd, int c, ClusterReadFailure& failure);
// The file offset of record i of cluster c.
inline int64_t recordOffset(int c, int i) { return int64_t(gOpeningBook.index[c]) + int64_t(i) * BOOK_RECORD_BYTES; }

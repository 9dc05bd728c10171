#include "book/book_moves.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "board/makemove.h"
#include "book/book_file.h"
#include "book/book_replay.h"

int bookMovesInCluster(Board& pos, int clusterCount, BookMove* out) {
    const BookRecord* records = gOpeningBook.cluster.data();
    Move moves[MAX_MOVES];
    const int legal = generateLegalMoves(pos, moves);
    const uint64_t parentKey = pos.hashKey;
    int found = 0;
    for (int i = 0; i < legal; i++) {
        makeMove(pos, moves[i], true);
        int at = findInCluster(records, clusterCount, bookKey(parentKey, pos.hashKey));
        unmakeMove(pos);
        if (at >= 0) out[found++] = {moves[i], records[at]};
    }
    return found;
}

BookRead readBookMoves(Board& pos, BookMove* out, int& count, const char* openFailure) {
    count = 0;
    int fd = openFailure ? open(BOOK_FILE_NAME, O_RDONLY) : openBookForReading();
    if (fd < 0) {
        if (openFailure) std::fprintf(stderr, "%s\n", openFailure);
        return BookRead::noFile;
    }
    const int c = clusterOfPosition(pos);
    if (gOpeningBook.index[c] == NO_CLUSTER) {
        close(fd);
        std::printf("cluster_index[%d] == %d\n", c, NO_CLUSTER);
        return BookRead::noCluster;
    }
    ClusterReadFailure failure;
    const int clusterCount = readCluster(fd, c, failure);
    close(fd);
    if (clusterCount < 0) {
        std::fprintf(stderr, "Expected: %d bytes, read: %ld\n", BOOK_RECORD_BYTES, failure.bytesRead);
        if (failure.endOfFile) std::fprintf(stderr, "End of file reached.\n");
        return BookRead::readError;
    }
    count = bookMovesInCluster(pos, clusterCount, out);
    return BookRead::ok;
}

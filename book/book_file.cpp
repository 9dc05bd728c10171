#include "book/book_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

OpeningBook gOpeningBook;

namespace {

// The version text is found by walking back from the end of the file over
// at most this many bytes (line ends are skipped and do not count), so a
// book that went through a text-mode copy still opens.
constexpr int VERSION_SEARCH_BYTES = 24;

// Where the trailer starts: the offset of the "V" of the version text and
// the text from there on.
struct Trailer {
    int64_t versionOffset = -1;
    std::string text;
};

enum class TrailerSearch { found, notFound, readError, startOfFile };

TrailerSearch findTrailer(int fd, int64_t size, Trailer& trailer) {
    char collected[VERSION_SEARCH_BYTES];
    int taken = 0;
    unsigned char block[256];
    int64_t blockStart = size, blockEnd = size;
    for (int64_t offset = size - 1;; offset--) {
        if (offset < 0) return TrailerSearch::startOfFile;
        if (offset < blockStart) {
            blockEnd = blockStart;
            blockStart = std::max<int64_t>(0, blockEnd - int64_t(sizeof block));
            ssize_t got = pread(fd, block, size_t(blockEnd - blockStart), blockStart);
            if (got != blockEnd - blockStart) return TrailerSearch::readError;
        }
        char byte = char(block[offset - blockStart]);
        if (byte == '\r' || byte == '\n') continue;
        collected[VERSION_SEARCH_BYTES - 1 - taken] = byte;
        taken++;
        const char* text = collected + VERSION_SEARCH_BYTES - taken;
        if (taken >= 7 && std::memcmp(text, "Version", 7) == 0) {
            trailer.versionOffset = offset;
            trailer.text.assign(text, size_t(taken));
            return TrailerSearch::found;
        }
        if (taken == VERSION_SEARCH_BYTES) return TrailerSearch::notFound;
    }
}

void reportDamage(const char* what) { std::printf("Book file damaged (%s): playing without it\n", what); }

// Every index entry names the first record of its cluster or nothing:
// an offset into the records on a record boundary, or -1.
bool indexIsSound(const OpeningBook& book) {
    const int64_t recordsEnd = BOOK_INDEX_BYTES + book.recordCount * BOOK_RECORD_BYTES;
    for (int32_t entry : book.index) {
        if (entry == NO_CLUSTER) continue;
        if (entry < BOOK_INDEX_BYTES || entry >= recordsEnd) return false;
        if ((entry - BOOK_INDEX_BYTES) % BOOK_RECORD_BYTES != 0) return false;
    }
    return true;
}

bool readIndex(int fd, OpeningBook& book) {
    std::vector<unsigned char> bytes(BOOK_INDEX_BYTES);
    if (pread(fd, bytes.data(), bytes.size(), 0) != BOOK_INDEX_BYTES) {
        std::fprintf(stderr, "Did not read index block correctly\n");
        return false;
    }
    for (int c = 0; c < BOOK_CLUSTERS; c++) book.index[c] = getInt32(bytes.data() + 4 * c);
    return true;
}

// The checks after the version line: a trailer that bounds the records, an
// index inside them. A book that fails any is not used at all.
bool checkStructure(int fd, const Trailer& trailer, OpeningBook& book) {
    const int64_t countOffset = trailer.versionOffset - 4;
    if (countOffset < BOOK_INDEX_BYTES) {
        reportDamage("shorter than its index block");
        return false;
    }
    unsigned char countBytes[4];
    if (pread(fd, countBytes, 4, countOffset) != 4) {
        std::fprintf(stderr, "error reading book file!\n");
        return false;
    }
    book.longestCluster = getInt32(countBytes);
    // A stray partial record before the trailer is ignored: the records
    // are read as far as they are whole.
    book.recordCount = (countOffset - BOOK_INDEX_BYTES) / BOOK_RECORD_BYTES;
    if (book.longestCluster <= 0 || book.longestCluster > book.recordCount) {
        char what[80];
        std::snprintf(what, sizeof what, "longest cluster %d of %lld records", book.longestCluster,
                      (long long)book.recordCount);
        reportDamage(what);
        return false;
    }
    if (!readIndex(fd, book)) return false;
    if (!indexIsSound(book)) {
        reportDamage("index entry outside the records");
        return false;
    }
    return true;
}

}  // namespace

void openBook() {
    OpeningBook& book = gOpeningBook;
    closeBook();
    int fd = open(BOOK_FILE_NAME, O_RDONLY);
    struct stat status;
    if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(fd);  // a folder of that name is no book
        fd = -1;
    }
    if (fd < 0) {
        // Not "not found": xboard reads those words in an engine's first
        // lines as a failed start and drops the engine before the game.
        std::printf("Book file missing!\n");
        return;
    }
    if (status.st_size <= 0) {
        std::printf("Seek Failed!\n");
        close(fd);
        return;
    }

    Trailer trailer;
    switch (findTrailer(fd, status.st_size, trailer)) {
        case TrailerSearch::found: break;
        case TrailerSearch::notFound: reportDamage("no version text"); close(fd); return;
        case TrailerSearch::readError:
            std::fprintf(stderr, "error reading book file!\nfatal i/o error\n");
            close(fd);
            return;
        case TrailerSearch::startOfFile:
            std::fprintf(stderr, "error reading book file!\nend of file\n");
            close(fd);
            return;
    }
    if (trailer.text != BOOK_VERSION_TEXT) std::printf("Warning! Book not made by Version 4.1\n");
    std::printf("Book created by %s\n", trailer.text.c_str());

    if (checkStructure(fd, trailer, book)) {
        book.cluster.assign(size_t(book.longestCluster), BookRecord{});
        book.disabled = false;
    }
    close(fd);
}

void closeBook() {
    OpeningBook& book = gOpeningBook;
    book.disabled = true;
    book.longestCluster = 0;
    book.recordCount = 0;
    std::vector<BookRecord>().swap(book.cluster);
}

int openBookForReading() {
    int fd = open(BOOK_FILE_NAME, O_RDONLY);
    if (fd < 0) std::printf("Error: %s\n", std::strerror(errno));
    return fd;
}

int readCluster(int fd, int c, ClusterReadFailure& failure) {
    OpeningBook& book = gOpeningBook;
    const int32_t start = book.index[c];
    if (start == NO_CLUSTER || book.cluster.empty()) return 0;
    const int64_t recordsEnd = BOOK_INDEX_BYTES + book.recordCount * BOOK_RECORD_BYTES;
    const int64_t room = std::min<int64_t>(int64_t(book.cluster.size()), (recordsEnd - start) / BOOK_RECORD_BYTES);

    std::vector<unsigned char> bytes(size_t(room) * BOOK_RECORD_BYTES);
    ssize_t got = pread(fd, bytes.data(), bytes.size(), start);
    if (got < BOOK_RECORD_BYTES) {
        failure.bytesRead = got < 0 ? 0 : long(got);
        failure.error = got < 0 ? errno : 0;
        failure.endOfFile = got >= 0;
        return -1;
    }
    // The cluster ends where the top 16 bits of the keys change.
    int count = 0;
    for (int64_t i = 0; i < got / BOOK_RECORD_BYTES; i++) {
        BookRecord record = decodeRecord(bytes.data() + i * BOOK_RECORD_BYTES);
        if (clusterOf(record.key) != c) break;
        book.cluster[size_t(count++)] = record;
    }
    return count;
}

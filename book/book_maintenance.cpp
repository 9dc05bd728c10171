#include "book/book_maintenance.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "book/book_format.h"
#include "book/book_state.h"

namespace {

constexpr int64_t TRAILER_BYTES = 4 + BOOK_VERSION_LENGTH;
constexpr size_t RECORDS_PER_READ = 4096;

// book.bin opened for reading, and its size; -1 when it is missing or no
// plain file.
int openBookFile(int64_t& size) {
    int fd = open(BOOK_FILE_NAME, O_RDONLY);
    struct stat status;
    if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(fd);
        return -1;
    }
    if (fd >= 0) size = status.st_size;
    return fd;
}

// The running number, shown in place: written, then backspaced over.
void appendCounter(std::string& out, int64_t number) {
    const std::string digits = std::to_string(number);
    out += digits;
    out.append(digits.size(), '\b');
}

}  // namespace

void showBookInfo() {
    int64_t size = 0;
    int fd = openBookFile(size);
    if (fd < 0) {
        std::printf("Couldn't open book file!\n");
        return;
    }
    close(fd);
    const int64_t chunks = size / BOOK_RECORD_BYTES;
    // The index block is 8192 whole chunks and the trailer less than one.
    const int64_t records = std::max<int64_t>(0, chunks - BOOK_INDEX_BYTES / BOOK_RECORD_BYTES);
    std::printf("book.bin\r\n   Bytes:\t%lld\r\n   Positions:\t%lld\n", (long long)(chunks * BOOK_RECORD_BYTES),
                (long long)records);
}

void testBookForDuplicates() {
    int64_t size = 0;
    int fd = openBookFile(size);
    if (fd < 0) {
        std::fprintf(stderr, "Could not open book.bin\n");
        gBook.missCount++;
        return;
    }
    std::printf("Testing book.bin for duplicates...\n");
    const int64_t records = std::max<int64_t>(0, (size - BOOK_INDEX_BYTES - TRAILER_BYTES) / BOOK_RECORD_BYTES);

    std::vector<unsigned char> bytes(RECORDS_PER_READ * BOOK_RECORD_BYTES);
    std::string out;
    uint64_t previousKey = 0;
    bool previousWasDuplicate = false;
    // Record i is judged when record i + 1 has been read: it is a duplicate
    // when it equals either neighbour.
    auto judge = [&](int64_t i, bool duplicate) {
        appendCounter(out, i);
        if (duplicate) out += "Found duplicate at position " + std::to_string(i) + "\n";
        if (out.size() > 60000) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    };
    int64_t index = 0;
    while (index < records) {
        const size_t wanted = size_t(std::min<int64_t>(RECORDS_PER_READ, records - index));
        const ssize_t got = pread(fd, bytes.data(), wanted * BOOK_RECORD_BYTES,
                                  BOOK_INDEX_BYTES + index * BOOK_RECORD_BYTES);
        if (got < BOOK_RECORD_BYTES) break;
        for (ssize_t at = 0; at + BOOK_RECORD_BYTES <= got; at += BOOK_RECORD_BYTES, index++) {
            const uint64_t key = decodeRecord(bytes.data() + at).key;
            const bool sameAsPrevious = index > 0 && key == previousKey;
            if (index > 0) judge(index - 1, previousWasDuplicate || sameAsPrevious);
            previousWasDuplicate = sameAsPrevious;
            previousKey = key;
        }
    }
    if (index > 0) judge(index - 1, previousWasDuplicate);
    close(fd);
    out += "Test complete.\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

#include "book/book_merge.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <queue>
#include <vector>

#include "book/book_file.h"
#include "book/book_format.h"

namespace {

constexpr const char TEMPORARY_BOOK[] = "book.bin.new";
constexpr int RECORDS_PER_DOT = 10000;
// Descriptors the process holds besides the run files and the new book:
// the standard streams and a few to spare.
constexpr rlim_t DESCRIPTORS_IN_USE = 16;
constexpr size_t RUN_BUFFER_BYTES = 1 << 16;

// All run files are read at once, so the limit of open files must cover
// them. Doubles the current limit until it does; false when the system
// refuses.
bool raiseOpenFileLimit(int runs) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    const rlim_t needed = rlim_t(runs) + 1 + DESCRIPTORS_IN_USE;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return true;
    rlim_t wanted = std::max<rlim_t>(limit.rlim_cur, 1);
    while (wanted < needed) wanted *= 2;
    struct rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted) raised.rlim_max = wanted;
    if (setrlimit(RLIMIT_NOFILE, &raised) != 0) return false;
    return getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur == wanted;
}

// One run file and the record at its head.
struct Run {
    std::FILE* file = nullptr;
    std::vector<char> buffer;
    BookRecord head;
};

enum class Advance { record, end, error };

Advance readHead(Run& run) {
    unsigned char bytes[BOOK_RECORD_BYTES];
    size_t got = std::fread(bytes, 1, sizeof bytes, run.file);
    if (got == sizeof bytes) {
        run.head = decodeRecord(bytes);
        return Advance::record;
    }
    return got == 0 && std::feof(run.file) ? Advance::end : Advance::error;
}

// Writes the combined records in key order and fills the index; counts the
// distinct keys of each cluster for the longest-cluster count.
struct BookWriter {
    std::FILE* file;
    int32_t index[BOOK_CLUSTERS];
    int64_t offset = BOOK_INDEX_BYTES;
    int64_t written = 0;
    int32_t longestCluster = -1;
    int currentCluster = -1;
    int32_t keysInCluster = 0;
    bool failed = false;

    explicit BookWriter(std::FILE* f) : file(f) {
        for (int32_t& entry : index) entry = NO_CLUSTER;
    }

    void noteKey(uint64_t key) {
        if (clusterOf(key) != currentCluster) {
            currentCluster = clusterOf(key);
            keysInCluster = 0;
        }
        keysInCluster++;
        longestCluster = std::max(longestCluster, keysInCluster);
    }

    // A move is kept when it won more than half as often as it lost; a
    // move that was only ever drawn is dropped.
    void finish(const BookRecord& combined) {
        noteKey(combined.key);
        if (combined.wins <= combined.losses / 2 || failed) return;
        // The index holds 32-bit offsets: a book cannot grow past them.
        if (offset + BOOK_RECORD_BYTES > INT32_MAX) {
            std::fprintf(stderr, "Error, the book would pass 2 GB\n");
            failed = true;
            return;
        }
        const int c = clusterOf(combined.key);
        if (index[c] == NO_CLUSTER) index[c] = int32_t(offset);
        unsigned char bytes[BOOK_RECORD_BYTES];
        encodeRecord(combined, bytes);
        size_t wrote = std::fwrite(bytes, 1, sizeof bytes, file);
        if (wrote != sizeof bytes) {
            std::fprintf(stderr, "Error, wrote %zu instead of %d\n", wrote, BOOK_RECORD_BYTES);
            failed = true;
            return;
        }
        offset += BOOK_RECORD_BYTES;
        if (++written % RECORDS_PER_DOT == 0) std::printf(".");
    }

    // The index block at the front, the longest-cluster count and the
    // version text at the end.
    bool writeIndexAndTrailer() {
        std::vector<unsigned char> bytes(BOOK_INDEX_BYTES);
        for (int c = 0; c < BOOK_CLUSTERS; c++) putInt32(bytes.data() + 4 * c, index[c]);
        unsigned char trailer[4 + BOOK_VERSION_LENGTH];
        putInt32(trailer, longestCluster);
        std::memcpy(trailer + 4, BOOK_VERSION_TEXT, BOOK_VERSION_LENGTH);
        return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
               std::fseek(file, 0, SEEK_END) == 0 && std::fwrite(trailer, 1, sizeof trailer, file) == sizeof trailer;
    }
};

bool openRuns(std::vector<Run>& runs) {
    for (size_t i = 0; i < runs.size(); i++) {
        const std::string name = runFileName(int(i));
        Run& run = runs[i];
        run.file = std::fopen(name.c_str(), "rb");
        if (!run.file) {
            std::fprintf(stderr, "could not open %s reason is %s\n", name.c_str(), std::strerror(errno));
            return false;
        }
        run.buffer.resize(RUN_BUFFER_BYTES);
        std::setvbuf(run.file, run.buffer.data(), _IOFBF, run.buffer.size());
    }
    return true;
}

void closeRuns(std::vector<Run>& runs) {
    for (Run& run : runs)
        if (run.file) std::fclose(run.file);
}

// Takes the run heads in ascending key order, each generated record once,
// and hands each key's summed record to the writer.
bool mergeInto(std::vector<Run>& runs, BookWriter& writer) {
    using Head = std::pair<uint64_t, int>;  // key, run
    std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
    auto advance = [&](int i) {
        switch (readHead(runs[size_t(i)])) {
            case Advance::record: heads.push({runs[size_t(i)].head.key, i}); return true;
            case Advance::end: return true;
            case Advance::error: break;
        }
        std::fprintf(stderr, "error reading from book file %d %s\n", i, runFileName(i).c_str());
        return false;
    };
    for (int i = 0; i < int(runs.size()); i++)
        if (!advance(i)) return false;

    bool haveCombined = false;
    BookRecord combined;
    while (!heads.empty()) {
        const int i = heads.top().second;
        heads.pop();
        const BookRecord& record = runs[size_t(i)].head;
        if (haveCombined && record.key == combined.key) {
            combined.wins += record.wins;
            combined.losses += record.losses;
            combined.draws += record.draws;
        } else {
            if (haveCombined) writer.finish(combined);
            combined = record;
            combined.learned = 0;
            haveCombined = true;
        }
        if (!advance(i) || writer.failed) return false;
    }
    if (haveCombined) writer.finish(combined);
    return !writer.failed;
}

bool writeBook(std::vector<Run>& runs) {
    std::FILE* file = std::fopen(TEMPORARY_BOOK, "wb");
    if (!file) {
        std::fprintf(stderr, "Error: could not create %s: %s\n", TEMPORARY_BOOK, std::strerror(errno));
        return false;
    }
    auto writer = std::make_unique<BookWriter>(file);
    std::vector<char> buffer(RUN_BUFFER_BYTES);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    bool ok = std::fseek(file, BOOK_INDEX_BYTES, SEEK_SET) == 0 && mergeInto(runs, *writer) &&
              writer->writeIndexAndTrailer();
    if (std::fclose(file) != 0) ok = false;
    if (ok && std::rename(TEMPORARY_BOOK, BOOK_FILE_NAME) != 0) {
        std::fprintf(stderr, "Error: could not replace %s: %s\n", BOOK_FILE_NAME, std::strerror(errno));
        ok = false;
    }
    if (!ok) {
        std::remove(TEMPORARY_BOOK);
        std::fprintf(stderr, "Error writing the book: %s left as it was.\n", BOOK_FILE_NAME);
        return false;
    }
    std::printf("\nFinished.\nLongest cluster: %d\n", writer->longestCluster);
    return true;
}

}  // namespace

std::string runFileName(int run) { return "book." + std::to_string(run); }

void removeRunFiles(int runs) {
    for (int i = 0; i < runs; i++) std::remove(runFileName(i).c_str());
}

bool mergeRunFiles(int runCount) {
    closeBook();
    if (!raiseOpenFileLimit(runCount)) {
        std::fprintf(stderr, "could not set stdio max file handles\n");
        removeRunFiles(runCount);
        openBook();
        return false;
    }
    std::vector<Run> runs(static_cast<size_t>(runCount));
    bool ok = openRuns(runs);
    if (ok) {
        std::printf("Merging book file (10000 moves/dot)\n");
        ok = writeBook(runs);
    }
    closeRuns(runs);
    removeRunFiles(runCount);
    // The new book, or the old one again when nothing was replaced.
    openBook();
    return ok;
}

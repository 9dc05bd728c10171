// Opening book speed: building book.bin from a PGN collection against
// Debian's polyglot building its own book from the same file (same run,
// alternating, median of a few runs), the peak resident memory of each
// build, and the time of a probe as the engine makes it when it is to move.
//
//   book_speed <pgn file> [runs, default 3] [work folder, default a new one in /tmp]
//
// Each build runs in a child process so that its peak memory is its own.
// polyglot is looked for as "polyglot" on the PATH and in /usr/games; when
// it is missing only our figures are given.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "book/book_create.h"
#include "book/book_file.h"
#include "book/book_maintenance.h"
#include "book/book_probe.h"
#include "book/book_replay.h"
#include "book/book_state.h"
#include "search/position.h"

namespace {

struct Measure {
    double seconds = 0;
    long peakKilobytes = 0;
    int status = -1;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Runs `child` in a child process with its output sent to `logFile`.
template <typename Child>
Measure measureChild(const std::string& logFile, Child child) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        int status = child();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    Measure measure;
    struct rusage usage;
    int status = 0;
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        measure.peakKilobytes = usage.ru_maxrss;
        measure.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return measure;
}

std::string findPolyglot() {
    for (const char* path : {"/usr/games/polyglot", "/usr/bin/polyglot", "/usr/local/bin/polyglot"})
        if (access(path, X_OK) == 0) return path;
    return "";
}

// The probe as game flow makes it, along the book's own main line: the
// median and the slowest time of many probes, in milliseconds.
void measureProbes(int rounds) {
    auto pos = std::make_unique<Position>();
    std::vector<double> times;
    std::fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    int bookPlies = 0;
    for (int round = 0; round < rounds; round++) {
        setInitialBoard(*pos);
        for (int ply = 0; ply < 30; ply++) {
            gBook.missCount = 0;
            Move move = 0;
            auto start = std::chrono::steady_clock::now();
            int found = probeBook(*pos, move);
            times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            if (found <= 0 || !move) break;
            if (round == 0) bookPlies++;
            advancePosition(*pos, move);
        }
    }
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    std::sort(times.begin(), times.end());
    std::printf("probe: %zu probes along a %d-ply book line, median %.3f ms, slowest %.3f ms\n", times.size(),
                bookPlies, median(times), times.empty() ? 0.0 : times.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <pgn file> [runs] [work folder]\n", argv[0]);
        return 2;
    }
    std::string pgn = argv[1];
    if (pgn[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) pgn = std::string(cwd) + "/" + pgn;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::string work;
    if (argc > 3) {
        work = argv[3];
        mkdir(work.c_str(), 0755);
    } else {
        char templ[] = "/tmp/book-speed-XXXXXX";
        if (!mkdtemp(templ)) return 2;
        work = templ;
    }
    if (chdir(work.c_str()) != 0) return 2;
    initZobristKeys();
    initBoardTables();

    const std::string polyglot = findPolyglot();
    std::vector<double> ours, theirs;
    long oursPeak = 0, theirsPeak = 0;
    for (int run = 0; run < runs; run++) {
        Measure m = measureChild(work + "/tarno.log", [&] {
            BookBuildReport report = createBook(pgn.c_str());
            std::printf("Records generated: %lld in %d run files\n", (long long)report.records, report.runs);
            return report.records > 0 ? 0 : 1;
        });
        if (m.status != 0) {
            std::printf("our build failed (see %s/tarno.log)\n", work.c_str());
            return 1;
        }
        ours.push_back(m.seconds);
        oursPeak = std::max(oursPeak, m.peakKilobytes);
        if (polyglot.empty()) continue;
        Measure p = measureChild(work + "/polyglot.log", [&] {
            execl(polyglot.c_str(), "polyglot", "make-book", "-pgn", pgn.c_str(), "-bin", "polyglot.bin", "-max-ply",
                  "50", (char*)nullptr);
            return 127;
        });
        theirs.push_back(p.seconds);
        theirsPeak = std::max(theirsPeak, p.peakKilobytes);
        std::printf("run %d: tarno %.2f s, polyglot %.2f s\n", run + 1, m.seconds, p.seconds);
    }
    std::printf("build: tarno median %.2f s (peak %ld KB)", median(ours), oursPeak);
    if (!theirs.empty())
        std::printf(", polyglot make-book -max-ply 50 median %.2f s (peak %ld KB)", median(theirs), theirsPeak);
    std::printf(", %d runs\n", runs);

    // What the last build made, as the engine reads it.
    std::FILE* log = std::fopen((work + "/tarno.log").c_str(), "r");
    if (log) {
        char line[4096];
        while (std::fgets(line, sizeof line, log))
            if (std::strstr(line, "Merging ") == line || std::strstr(line, "Games parsed") ||
                std::strstr(line, "Longest cluster") || std::strstr(line, "Records generated"))
                std::printf("  %s", line);
        std::fclose(log);
    }
    openBook();
    struct stat status;
    if (stat("book.bin", &status) == 0)
        std::printf("  book.bin: %lld bytes, %lld records\n", (long long)status.st_size,
                    (long long)gOpeningBook.recordCount);
    auto pos = std::make_unique<Position>();
    setInitialBoard(*pos);
    showBookMoves(*pos);
    gBook.missCount = 0;
    Move move = 0;
    probeBook(*pos, move);
    measureProbes(200);

    // "book test" reads every record once; its output goes nowhere here.
    std::fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    auto start = std::chrono::steady_clock::now();
    testBookForDuplicates();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    std::printf("book test: %lld records in %.2f s\n", (long long)gOpeningBook.recordCount, seconds);
    std::printf("work folder: %s\n", work.c_str());
    return 0;
}

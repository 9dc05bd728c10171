#include "shell/config.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "eval/pawn_table.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "egtb/tablebase_settings.h"
#include "egtb/syzygy.h"
#include "egtb/syzygy_probe.h"
#include "egtb/tablebases.h"
#include "search/search_request.h"
#include "search/transposition.h"
#include "shell/commands.h"
#include "shell/shell_state.h"

namespace {

constexpr uint64_t MEGABYTE = 1048576;
constexpr size_t STARTUP_LINE = 255;
constexpr size_t HASH_LINE = 254;
constexpr size_t TABLEBASE_LINE = 1023;

const char* const HASH_SECTION = "[Hash Table Section]";
const char* const NO_MEMORY_TRANSPOSITION = "Not enough Memory for Depth Preferred Table";
const char* const NO_MEMORY_PAWNS = "Not enough Memory for Pawn Table";

// Reads one line into buf, keeping at most `limit` characters of it; the
// rest of a longer line is passed over so that it never turns into lines of
// its own. The newline and a carriage return before it are dropped. False at
// the end of the file when nothing was read.
bool readConfigLine(FILE* file, char* buf, size_t limit) {
    size_t length = 0;
    int ch;
    bool any = false;
    while ((ch = std::fgetc(file)) != EOF) {
        any = true;
        if (ch == '\n') break;
        if (length < limit) buf[length++] = char(ch);
    }
    if (length > 0 && buf[length - 1] == '\r') --length;
    buf[length] = '\0';
    return any;
}

const char* skipSeparators(const char* p) {
    while (*p == '=' || *p == ' ') ++p;
    return p;
}

// The integer after a key that starts at `key` and is `keyLength` long.
int valueAfterKey(const char* key, size_t keyLength) { return wordValue(skipSeparators(key + keyLength)); }

// Hash-section keys: the value follows the first space or "=" after the
// key's start; a line without one has no value.
int64_t hashSectionValue(const char* key) {
    const char* p = key + std::strcspn(key, " =");
    if (*p == '\0') return 0;
    int value = wordValue(skipSeparators(p));
    return value > 0 ? value : 0;
}

struct HashSizes {
    uint64_t transpositionBytes = 0;
    uint64_t pawnBytes = 0;
};

HashSizes hashSizesFromFile() {
    HashSizes sizes;
    FILE* file = std::fopen(CONFIG_FILE_NAME, "r");
    if (!file) return sizes;
    char line[HASH_LINE + 1];
    bool inSection = false;
    while (readConfigLine(file, line, HASH_LINE)) {
        if (!inSection) {
            inSection = std::strcmp(line, HASH_SECTION) == 0;
            continue;
        }
        if (const char* key = std::strstr(line, "transposition_table"))
            sizes.transpositionBytes = uint64_t(hashSectionValue(key)) * MEGABYTE;
        else if (const char* key = std::strstr(line, "pawn_table"))
            sizes.pawnBytes = uint64_t(hashSectionValue(key)) * MEGABYTE;
    }
    std::fclose(file);
    return sizes;
}

// Makes both tables, or neither: the running tables are only replaced when
// both new ones exist. Returns the message for the table that failed, or
// null.
const char* replaceHashTables(const HashSizes& sizes) {
    // Memory is granted lazily: a table larger than the machine would be
    // handed out and then end the process when it is zero-filled.
    uint64_t physical = physicalMemoryBytes();
    if (physical && sizes.transpositionBytes > physical) return NO_MEMORY_TRANSPOSITION;
    if (physical && sizes.transpositionBytes + sizes.pawnBytes > physical) return NO_MEMORY_PAWNS;
    TranspositionTable transposition;
    if (!createTranspositionTable(sizes.transpositionBytes, transposition)) return NO_MEMORY_TRANSPOSITION;
    PawnTable pawns;
    if (!createPawnTable(sizes.pawnBytes, pawns)) {
        std::free(transposition.buckets);
        return NO_MEMORY_PAWNS;
    }
    installTranspositionTable(transposition);
    installPawnTable(pawns);
    return nullptr;
}

// The first line of the file holding `key`, or false.
bool findKeyLine(const char* key, char* line, size_t limit, const char** at) {
    FILE* file = std::fopen(CONFIG_FILE_NAME, "r");
    if (!file) return false;
    bool found = false;
    while (readConfigLine(file, line, limit)) {
        if ((*at = std::strstr(line, key))) {
            found = true;
            break;
        }
    }
    std::fclose(file);
    return found;
}

void* tablebaseCache = nullptr;
// The smallest page size of the machines the engine runs on.
constexpr size_t PAGE_TOUCH_STRIDE = 4096;

// A cache for the tablebase files: the configured size, or 1 MB when that
// cannot be had. Its pages are touched as it is allocated. The hash tables
// have every page written within the first game or two; the cache fills
// only as endings come up, over hundreds of games, so untouched it made
// the engine's footprint creep up for hours, and each block read in then
// faulted in a page in the middle of a search.
void setupTablebaseCache() {
    uint64_t bytes = gTablebases.cacheBytes ? gTablebases.cacheBytes : MEGABYTE;
    std::free(tablebaseCache);
    tablebaseCache = std::malloc(size_t(bytes));
    if (!tablebaseCache) {
        std::fputs("ERROR:  unable to malloc egtb cache.\n", stdout);
        bytes = MEGABYTE;
        tablebaseCache = std::malloc(size_t(bytes));
    }
    // A byte of each page, written through a volatile pointer: a clearing
    // memset after malloc may be compiled as calloc, which touches nothing.
    volatile uint8_t* page = static_cast<uint8_t*>(tablebaseCache);
    for (size_t at = 0; page && at < size_t(bytes); at += PAGE_TOUCH_STRIDE) page[at] = 0;
    gTablebases.cacheBytes = bytes;
    char text[64];
    formatTablebaseCacheLine(bytes, text, sizeof text);
    if (gShell.uciMode) std::fputs("info string ", stdout);
    std::fputs(text, stdout);
    setTablebaseCache(tablebaseCache, size_t(bytes));
}

// The set-up's report, as remarks in a UCI session.
void printSyzygyLine(const char* line) { std::printf("%s%s\n", gShell.uciMode ? "info string " : "", line); }

// A switch in the file: "0", "false", "off" and "no" turn it off.
bool switchValue(const char* text) {
    for (const char* off : {"0", "false", "off", "no"}) {
        const size_t n = std::strlen(off);
        if (strncasecmp(text, off, n) == 0 && !std::isalnum(static_cast<unsigned char>(text[n]))) return false;
    }
    return true;
}

}  // namespace

void readStartupSettings() {
    FILE* file = std::fopen(CONFIG_FILE_NAME, "r");
    if (!file) return;
    char line[STARTUP_LINE + 1];
    bool haveResign = false, haveThreads = false;
    while (readConfigLine(file, line, STARTUP_LINE)) {
        if (line[0] == '\0') continue;
        if (const char* key = std::strstr(line, "resign_score")) {
            if (!haveResign) gShell.resignScore = valueAfterKey(key, 12);
            haveResign = true;
        } else if (const char* key = std::strstr(line, "n_cpus")) {
            if (!haveThreads) {
                int count = valueAfterKey(key, 6);
                // At least the main thread searches; far more threads than
                // any machine has would only exhaust memory.
                if (count < 1) count = 1;
                gShell.threadCount = unsigned(count) > MAX_THREAD_COUNT ? MAX_THREAD_COUNT : unsigned(count);
            }
            haveThreads = true;
        }
    }
    std::fclose(file);
}

void setupHashTables(bool fromFile) {
    HashSizes sizes = fromFile ? hashSizesFromFile() : HashSizes{};
    if (sizes.transpositionBytes == 0) sizes.transpositionBytes = uint64_t(gShell.transpositionTableMB) * MEGABYTE;
    if (sizes.pawnBytes == 0) sizes.pawnBytes = uint64_t(gShell.pawnTableMB) * MEGABYTE;
    if (const char* failure = replaceHashTables(sizes)) {
        std::puts(failure);
        freeTranspositionTable();
        freePawnTable();
        std::exit(-1);
    }
}

bool resizeHashTables(int64_t transpositionMB, int64_t pawnMB) {
    HashSizes sizes;
    sizes.transpositionBytes = uint64_t(transpositionMB) * MEGABYTE;
    sizes.pawnBytes = uint64_t(pawnMB) * MEGABYTE;
    if (const char* failure = replaceHashTables(sizes)) {
        std::puts(failure);
        return false;
    }
    gShell.transpositionTableMB = int(transpositionMB);
    gShell.pawnTableMB = int(pawnMB);
    return true;
}

void setupTablebases(const char* pathOrNull, bool atStartUp) {
    if (gTablebases.count != 0) {
        std::puts("EGTB already initialized");
        return;
    }
    char line[TABLEBASE_LINE + 1];
    const char* key = nullptr;
    char* path = gTablebases.path;
    constexpr size_t pathSize = sizeof gTablebases.path;
    if (pathOrNull) {
        std::snprintf(path, pathSize, "%s", pathOrNull);
    } else if (findKeyLine("tbpath", line, TABLEBASE_LINE, &key)) {
        std::snprintf(path, pathSize, "%s", skipSeparators(key + 6));
    } else {
        path[0] = '\0';
    }
    gTablebases.cacheBytes = 0;
    if (findKeyLine("tbcache", line, TABLEBASE_LINE, &key)) {
        int megabytes = valueAfterKey(key, 7);
        gTablebases.cacheBytes = megabytes > 0 ? uint64_t(megabytes) * MEGABYTE : 0;
    }
    // One decode area for each thread that may probe at once.
    gTablebases.count = initTablebases(path, int(searchThreadCount()), atStartUp);
    if (gTablebases.count != 0) setupTablebaseCache();
}

void readSyzygySettings() {
    char line[TABLEBASE_LINE + 1];
    const char* key = nullptr;
    if (findKeyLine("syzygy_50_move_rule", line, TABLEBASE_LINE, &key))
        gTablebases.syzygy50MoveRule = switchValue(skipSeparators(key + std::strlen("syzygy_50_move_rule")));
    if (findKeyLine("syzygy_probe_limit", line, TABLEBASE_LINE, &key))
        gTablebases.syzygyProbeLimit = std::clamp(valueAfterKey(key, std::strlen("syzygy_probe_limit")), 0, SYZYGY_MAX_MEN);
    if (findKeyLine("syzygy_probe_depth", line, TABLEBASE_LINE, &key))
        gTablebases.syzygyProbeDepth = std::clamp(valueAfterKey(key, std::strlen("syzygy_probe_depth")),
                                                  SYZYGY_MIN_PROBE_DEPTH, SYZYGY_MAX_PROBE_DEPTH);
}

bool setupSyzygy(const char* pathOrNull) {
    char line[TABLEBASE_LINE + 1];
    const char* key = nullptr;
    const char* path = "";
    if (pathOrNull) path = pathOrNull;
    else if (findKeyLine("syzygy_path", line, TABLEBASE_LINE, &key)) path = skipSeparators(key + std::strlen("syzygy_path"));
    if (std::strlen(path) >= sizeof gTablebases.syzygyPath) {
        std::printf("Syzygy: the folder list is longer than %d characters; the tables stay as they were\n",
                    int(sizeof gTablebases.syzygyPath - 1));
        return false;
    }
    // Interfaces send the same folders at every new game: the tables in use
    // stay as they are.
    if (gTablebases.syzygyMen > 0 && std::strcmp(path, gTablebases.syzygyPath) == 0) {
        printSyzygyLine(syzygySummary());
        return false;
    }
    const bool hadTables = gTablebases.syzygyMen > 0;
    const bool replaced = setUpSyzygy(path, printSyzygyLine);
    if (replaced) std::snprintf(gTablebases.syzygyPath, sizeof gTablebases.syzygyPath, "%s", path);
    gTablebases.syzygyMen = syzygyLargestMen();
    return replaced && (hadTables || gTablebases.syzygyMen > 0);
}

namespace {

void setUpSyzygyAgain() {
    printSyzygyLine("Syzygy: a table file changed on disk; setting the tables up again from the files there now");
    // Released first, so that a set-up finding nothing usable does not keep
    // the changed tables in use.
    releaseSyzygy();
    gTablebases.syzygyMen = 0;
    setUpSyzygy(gTablebases.syzygyPath, printSyzygyLine);
    gTablebases.syzygyMen = syzygyLargestMen();
}

void setUpTablesAgain() {
    std::printf("%sEGTB: a table file changed on disk or could not be read; setting the tables up again from the "
                "files there now\n",
                gShell.uciMode ? "info string " : "");
    // Registration checks every file's size and header again and leaves out
    // what no longer passes; the cache forgets the old files' blocks.
    resetTablebases();
}

}  // namespace

void recheckTableFiles() {
    // A stat of every file costs some microseconds per table: once a second
    // is often enough for a user's copying or unpacking to be seen before
    // it matters, and keeps bullet moves free of it.
    constexpr uint32_t RECHECK_INTERVAL_MS = 1000;
    static uint32_t lastCheck = 0;
    static bool checkedOnce = false;
    const bool syzygyFault = takeSyzygyFileFault();
    const bool tableFault = takeTablebaseReadFault();
    if (gTablebases.syzygyMen == 0 && gTablebases.count == 0) return;
    const uint32_t now = timeNow();
    if (!syzygyFault && !tableFault && checkedOnce && now - lastCheck < RECHECK_INTERVAL_MS) return;
    lastCheck = now;
    checkedOnce = true;
    if (gTablebases.syzygyMen > 0 && (syzygyFault || syzygyFilesChanged())) setUpSyzygyAgain();
    if (gTablebases.count > 0 && (tableFault || tablebaseFilesChanged())) setUpTablesAgain();
}

void resetTablebases() {
    // The folders in use, whether from the file or from "egtpath": a user
    // who pointed the engine at his tables and then changed the thread
    // count keeps them.
    char path[sizeof gTablebases.path];
    std::snprintf(path, sizeof path, "%s", gTablebases.path);
    gTablebases.count = 0;
    setupTablebases(path);
}

void formatTablebaseCacheLine(uint64_t bytes, char* out, size_t size) {
    if (bytes >= MEGABYTE) std::snprintf(out, size, "EGTB cache memory = %dM bytes.\n", int(bytes / MEGABYTE));
    else std::snprintf(out, size, "EGTB cache memory = %dK bytes.\n", int(bytes / 1024));
}

void showHashInfo() {
    uint64_t transposition = gTransposition.bytes;
    uint64_t pawns = gPawnTable.count * sizeof(PawnEntry);
    std::printf("\nHash Table Info\n\nTransposition Table\tPawn Table\n");
    char rule[72];
    std::memset(rule, '-', 71);
    rule[71] = '\0';
    std::puts(rule);
    std::printf("%llu Bytes\t\t%llu Bytes\t\n\n", (unsigned long long)transposition, (unsigned long long)pawns);
    std::printf("Total: %llu Bytes\n", (unsigned long long)(transposition + pawns));
}

void commandHash(int wordCount, const char* transpositionWord, const char* pawnWord) {
    int transposition = wordCount == 3 ? wordValue(transpositionWord) : 0;
    int pawns = wordCount == 3 ? wordValue(pawnWord) : 0;
    // A table of no size would leave the search without a table at all.
    if (transposition < 1 || pawns < 1) {
        std::puts("Usage Hash <tt> <p>");
        return;
    }
    resizeHashTables(transposition, pawns);
}

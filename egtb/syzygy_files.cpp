#include "egtb/syzygy_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "board/types.h"
#include "egtb/tablebase_settings.h"

namespace {

constexpr const char* WDL_SUFFIX = ".rtbw";
constexpr const char* DTZ_SUFFIX = ".rtbz";

// Every table opens with one of these (read as a little-endian word,
// 0x5d23e871 and 0xa50c66d7) and ends with a 16-byte trailer behind data
// laid out in 64-byte blocks.
constexpr unsigned char WDL_MAGIC[4] = {0x71, 0xe8, 0x23, 0x5d};
constexpr unsigned char DTZ_MAGIC[4] = {0xd7, 0x66, 0x0c, 0xa5};
constexpr long long TABLE_ALIGNMENT = 64;
constexpr long long TABLE_TRAILER = 16;

// Piece letters in the order a table name gives them.
constexpr const char* NAME_ORDER = "QRBNP";
constexpr int NAME_TYPES[5] = {QUEEN, ROOK, BISHOP, KNIGHT, PAWN};

void report(SyzygyMessage say, const char* format, const std::string& a, const char* b = "") {
    char line[PATH_MAX + 256];
    std::snprintf(line, sizeof line, format, a.c_str(), b);
    say(line);
}

// One side of a name, "KQR": the king, then pieces in name order.
bool parseSide(const std::string& text, int counts[7]) {
    if (text.empty() || text[0] != 'K') return false;
    int last = 0;
    for (size_t i = 1; i < text.size(); i++) {
        const char* at = std::strchr(NAME_ORDER, text[i]);
        if (!at || text[i] == '\0') return false;
        const int rank = int(at - NAME_ORDER);
        if (rank < last) return false;
        last = rank;
        counts[NAME_TYPES[rank]]++;
    }
    counts[KING] = 1;
    return true;
}

bool hasSuffix(const std::string& name, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return name.size() > n && name.compare(name.size() - n, n, suffix) == 0;
}

}  // namespace

std::vector<std::string> splitSyzygyFolders(const char* list) {
    std::vector<std::string> entries;
    std::string current;
    auto finish = [&] {
        size_t begin = current.find_first_not_of(" \t");
        size_t end = current.find_last_not_of(" \t");
        std::string entry = begin == std::string::npos ? "" : current.substr(begin, end - begin + 1);
        if (!entry.empty() && entry != "<empty>") entries.push_back(entry);
        current.clear();
    };
    for (const char* p = list ? list : ""; *p; p++) {
        if (*p == ',' || *p == ';' || *p == ':') finish();
        else current += *p;
    }
    finish();
    return entries;
}

namespace {

// The folder's table files (name without suffix, and whether DTZ), or false
// when it is no folder that can be read.
bool listFolder(const std::string& folder, std::vector<std::pair<std::string, bool>>& files) {
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const bool wdl = hasSuffix(name, WDL_SUFFIX), dtz = hasSuffix(name, DTZ_SUFFIX);
        if (!wdl && !dtz) continue;
        SyzygyTable probe;
        const std::string base = name.substr(0, name.size() - std::strlen(WDL_SUFFIX));
        if (parseSyzygyName(base, probe)) files.emplace_back(base, dtz);
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());
    return true;
}

}  // namespace

bool parseSyzygyName(const std::string& name, SyzygyTable& table) {
    const size_t v = name.find('v');
    if (v == std::string::npos || name.find('v', v + 1) != std::string::npos) return false;
    SyzygyTable t;
    if (!parseSide(name.substr(0, v), t.counts[WHITE]) || !parseSide(name.substr(v + 1), t.counts[BLACK])) return false;
    for (int colour = WHITE; colour <= BLACK; colour++)
        for (int type = PAWN; type <= KING; type++) t.men += t.counts[colour][type];
    if (t.men < 3 || t.men > SYZYGY_MAX_MEN) return false;
    t.name = name;
    table = t;
    return true;
}

const char* syzygyFileFault(const std::string& path, bool dtz) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "not a regular file";
    if (info.st_size == 0) return "the file is empty";
    const long long size = info.st_size;
    if (size < TABLE_ALIGNMENT + TABLE_TRAILER || size % TABLE_ALIGNMENT != TABLE_TRAILER)
        return "its size is not that of a table (cut short?)";
    // Open without waiting: a pipe or device under a table's name never
    // gets this far, but a file on a hung mount must not stall the engine.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return "the file cannot be read";
    unsigned char head[4];
    const bool read = ::read(fd, head, sizeof head) == ssize_t(sizeof head);
    ::close(fd);
    if (!read) return "the file cannot be read";
    if (std::memcmp(head, dtz ? DTZ_MAGIC : WDL_MAGIC, sizeof head) != 0)
        return dtz ? "not a DTZ table (wrong header)" : "not a WDL table (wrong header)";
    return nullptr;
}

std::vector<SyzygyTable> findSyzygyTables(const char* pathList, SyzygyMessage say) {
    std::map<std::string, SyzygyTable> byName;
    std::map<std::string, bool> seen;  // "name.rtbw": the first folder's sound file is used
    for (const std::string& folder : splitSyzygyFolders(pathList)) {
        if (folder.size() >= PATH_MAX - 32) {
            report(say, "Syzygy: skipping a folder name of %s characters: too long", std::to_string(folder.size()));
            continue;
        }
        std::vector<std::pair<std::string, bool>> files;
        if (!listFolder(folder, files)) {
            report(say, "Syzygy: skipping '%s': not a folder that can be read", folder);
            continue;
        }
        for (const auto& [base, dtz] : files) {
            const std::string fileName = base + (dtz ? DTZ_SUFFIX : WDL_SUFFIX);
            if (seen.count(fileName)) continue;
            const std::string path = folder + (folder.back() == '/' ? "" : "/") + fileName;
            // A damaged copy is passed over for a sound one in a later folder.
            if (const char* fault = syzygyFileFault(path, dtz)) {
                report(say, "Syzygy: leaving out %s: %s", path, fault);
                continue;
            }
            seen[fileName] = true;
            SyzygyTable& table = byName[base];
            if (table.name.empty()) parseSyzygyName(base, table);
            (dtz ? table.dtzPath : table.wdlPath) = path;
        }
    }

    std::vector<SyzygyTable> tables;
    for (auto& [name, table] : byName) {
        if (table.wdlPath.empty()) {
            // The prober registers a material only through its WDL file.
            report(say, "Syzygy: leaving out %s: its WDL table is missing", table.dtzPath);
            continue;
        }
        tables.push_back(table);
    }
    std::stable_sort(tables.begin(), tables.end(),
                     [](const SyzygyTable& a, const SyzygyTable& b) { return a.men < b.men; });
    return tables;
}

std::string makeSyzygyFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/tarno-syzygy-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) return "";
    return buffer.data();
}

bool linkSyzygyFiles(const std::string& folder, const std::vector<SyzygyTable>& tables) {
    for (const SyzygyTable& table : tables) {
        for (const std::string* path : {&table.wdlPath, &table.dtzPath}) {
            if (path->empty()) continue;
            // Absolute targets: the engine's working folder may change.
            char* target = ::realpath(path->c_str(), nullptr);
            if (!target) return false;
            const std::string link = folder + "/" + path->substr(path->find_last_of('/') + 1);
            const bool made = ::symlink(target, link.c_str()) == 0;
            std::free(target);
            if (!made) return false;
        }
    }
    return true;
}

void unlinkSyzygyFile(const std::string& folder, const std::string& path) {
    const std::string link = folder + "/" + path.substr(path.find_last_of('/') + 1);
    ::unlink(link.c_str());
}

void removeSyzygyFolder(const std::string& folder) {
    if (folder.empty()) return;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            ::unlink((folder + "/" + entry->d_name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(folder.c_str());
}

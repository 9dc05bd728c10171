// Tarno.ini: the input is the settings file, read as start-up reads it (the
// resignation score and the thread count, the hash table sizes from its
// section, the tablebase path and cache), except that a damaged table file
// is only left out rather than ending the program.
//
// Files asking for tables or a cache of more than 16 MB are refused: the
// engine would grant them, and zero-filling gigabytes tells nothing new.
#include <cstring>
#include <string>

#include "search/search_request.h"
#include "shell/config.h"
#include "shell/shell_state.h"
#include "tools/fuzz/fuzz_support.h"

namespace {

bool asksForMuchMemory(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        if (line.find("table") == std::string::npos && line.find("tbcache") == std::string::npos) continue;
        // Any run of digits long enough or large enough.
        for (size_t at = 0; (at = line.find_first_of("0123456789", at)) != std::string::npos;) {
            size_t stop = line.find_first_not_of("0123456789", at);
            if (stop == std::string::npos) stop = line.size();
            const std::string digits = line.substr(at, stop - at);
            const size_t first = digits.find_first_not_of('0');
            if (first != std::string::npos && (digits.size() - first > 2 || std::stoi(digits) > 16)) return true;
            at = stop;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzStartUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096 || asksForMuchMemory(data, size)) return -1;
    fuzzFreshEngine();
    fuzzWriteFile(CONFIG_FILE_NAME, data, size);
    readStartupSettings();
    setupHashTables(true);
    setupTablebases(nullptr, false);
    shareShellSettings();
    showHashInfo();
    return 0;
}

// tbgen: generates endgame tables in the engine's own format.
//
//   tbgen [-d DIR] [-c] [-l LEVEL] [-q] (--men N | TABLE...)
//
// Writes both sides of each named table (or of every table up to N men)
// into DIR, generating first the smaller tables its captures and
// promotions lead into, or reading them when DIR holds them already.
// -c writes compressed ".emd" files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "egtb/catalogue.h"
#include "egtb/generator.h"
#include "search/position.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: tbgen [-d DIR] [-c] [-l LEVEL] [-q] (--men N | TABLE...)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    GeneratorOptions options;
    options.verbose = true;
    int men = 0;
    std::vector<int> tables;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!std::strcmp(a, "-d") && i + 1 < argc) options.directory = argv[++i];
        else if (!std::strcmp(a, "-c")) options.compress = true;
        else if (!std::strcmp(a, "-l") && i + 1 < argc) options.level = std::atoi(argv[++i]);
        else if (!std::strcmp(a, "-q")) options.verbose = false;
        else if (!std::strcmp(a, "--men") && i + 1 < argc) men = std::atoi(argv[++i]);
        else if (a[0] == '-') return usage();
        else {
            int t = findTable(a);
            if (t < 0 || !tableHasIndex(t)) {
                std::fprintf(stderr, "tbgen: no table \"%s\" (up to five men)\n", a);
                return 2;
            }
            tables.push_back(t);
        }
    }
    if (men) {
        if (men < 3 || men > 5) {
            std::fprintf(stderr, "tbgen: --men takes 3, 4 or 5\n");
            return 2;
        }
        for (int t = 1; t < TABLE_COUNT; t++)
            if (tableMen(t) <= men) tables.push_back(t);
    }
    if (tables.empty()) return usage();

    initZobristKeys();
    initBoardTables();
    TableStore store(options);
    for (int t : tables) {
        std::string error;
        if (!store.ensure(t, error)) {
            std::fprintf(stderr, "tbgen: %s: %s\n", tableCatalogue[t].name, error.c_str());
            return 1;
        }
        // Five-man tables are large: read them again when another needs them.
        store.releaseAbove(4);
    }
    return 0;
}

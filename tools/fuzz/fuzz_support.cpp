#include "tools/fuzz/fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/attacks.h"
#include "book/book_file.h"
#include "book/book_learn.h"
#include "book/book_state.h"
#include "egtb/tablebase_settings.h"
#include "egtb/tablebases.h"
#include "eval/pawn_table.h"
#include "search/iterate.h"
#include "search/parallel.h"
#include "search/position.h"
#include "search/search_request.h"
#include "shell/pondering.h"
#include "search/time_control.h"
#include "search/transposition.h"
#include "shell/commands.h"
#include "shell/config.h"
#include "shell/input.h"
#include "shell/shell_state.h"

namespace {

std::string folder;
std::string startFolder;

std::string absolute(const char* path) {
    if (path[0] == '/') return path;
    return startFolder + "/" + path;
}

// libFuzzer reads its flags after this point, so rewriting argv here moves
// every relative path it names onto the folder it was started in.
void makePathsAbsolute(int* argc, char*** argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    const char* const pathFlags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-merge_control_file="};
    bool prefixGiven = false;
    texts.push_back((*argv)[0]);
    for (int i = 1; i < *argc; i++) {
        const char* arg = (*argv)[i];
        std::string text = arg;
        if (arg[0] != '-') {
            text = absolute(arg);
        } else {
            for (const char* flag : pathFlags) {
                const size_t n = std::strlen(flag);
                if (std::strncmp(arg, flag, n) == 0 && arg[n] != '\0') text = flag + absolute(arg + n);
            }
            // A prefix is a folder when it ends in '/', otherwise a file-name
            // prefix; either way it is now absolute.
            prefixGiven |= std::strncmp(arg, "-artifact_prefix=", 17) == 0;
        }
        texts.push_back(text);
    }
    if (!prefixGiven) texts.push_back("-artifact_prefix=" + startFolder + "/");
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    *argc = int(texts.size());
    *argv = pointers.data();
}

void removeFolderContents() {
    DIR* dir = opendir(".");
    if (!dir) return;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    }
    closedir(dir);
    for (const std::string& name : names) {
        if (unlink(name.c_str()) != 0) {
            // A folder an input made ("book create" makes none, but be safe).
            rmdir(name.c_str());
        }
    }
}

// At the end of the run. What the engine holds only through its own globals
// (the tables' decode areas, the book's cluster buffer) is given back first:
// the globals' containers are destroyed before the leak check looks, which
// would make it look lost.
void endRun() {
    releaseTablebases();
    closeBook();
    if (folder.empty() || chdir(startFolder.c_str()) != 0) return;
    if (chdir(folder.c_str()) == 0) removeFolderContents();
    if (chdir(startFolder.c_str()) == 0) rmdir(folder.c_str());
}

}  // namespace

void fuzzStartUp(int* argc, char*** argv) {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) std::abort();
    startFolder = cwd;
    makePathsAbsolute(argc, argv);

    char pattern[] = "/tmp/tarno-fuzz-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) {
        std::perror("fuzz folder");
        std::abort();
    }
    folder = pattern;
    std::atexit(endRun);

    // The engine talks on standard output; libFuzzer reports on standard
    // error. Nobody needs the engine's words here.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();

    gShell.transpositionTableMB = 1;
    gShell.pawnTableMB = 1;
    gShell.gamePosition = new Position();
    gPonder.record = new Position();
    initZobristKeys();
    initBoardTables();
    setupHashTables(false);
    if (!allocateRecordPool(1)) std::abort();
}

Position& fuzzFreshEngine() {
    removeFolderContents();
    closeBook();
    releaseTablebases();
    gTablebases = TablebaseSettings{};
    gBookLearning = BookLearning{};

    Position* game = gShell.gamePosition;
    gShell = ShellState{};
    gShell.gamePosition = game;
    gShell.transpositionTableMB = 1;
    gShell.pawnTableMB = 1;
    clearPendingInput();
    setLineCapacity(LINE_SIZE);

    gShell.nodeLimit = FUZZ_NODE_LIMIT;
    // "cores" may have started helper threads: they end here.
    if (searchThreadCount() != 1) changeThreadCount(1);
    setPonderingDisabled(false);
    setCheckInterval(1024);
    setInputHook(pollInputDuringSearch);
    forgetLastScore();

    // Commands may have resized the tables; small ones keep inputs fast.
    if (gTransposition.bytes != 1u << 20) resizeHashTables(1, 1);
    clearTranspositionTable();
    clearPawnTable();

    *game = Position();
    *gPonder.record = Position();
    startNewGame(*game);
    gGame.engineSide = -1;
    gBook.missCount = 0;
    return *game;
}

void fuzzWriteFile(const char* name, const uint8_t* data, size_t size) {
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += size_t(n);
    }
    close(fd);
}

const std::string& fuzzFolder() { return folder; }

#include "support/test_support.h"

#include "search/reporter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/catalogue.h"
#include "egtb/table_store.h"
#include "search/new_game.h"

void initEngineTables() {
    static bool done = false;
    if (done) return;
    initZobristKeys();
    initBoardTables();
    done = true;
}

std::unique_ptr<Position> positionFromFen(const std::string& fen) {
    initEngineTables();
    auto pos = std::make_unique<Position>();
    EXPECT_TRUE(beginGame(*pos, fen.c_str())) << fen;
    return pos;
}

std::unique_ptr<Position> startPosition() {
    initEngineTables();
    auto pos = std::make_unique<Position>();
    beginGame(*pos);
    return pos;
}

bool legalLine(const std::string& fen, const std::vector<std::string>& moves) {
    auto pos = positionFromFen(fen);
    for (const std::string& text : moves) {
        MoveC m;
        parseMove(m, *pos, text.c_str());
        if (!m.valid || !isLegalMove(m.move, *pos)) return false;
        playGameMove(*pos, m.move);
    }
    return true;
}

std::string testDataPath(const std::string& name) { return std::string(TARNO_TEST_DATA) + "/" + name; }

std::vector<SyzygyReference> readSyzygyReferences(const std::string& path) {
    std::vector<SyzygyReference> references;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string placement, side, castling, ep;
        if (!(words >> placement >> side >> castling >> ep)) continue;
        SyzygyReference r{placement + " " + side + " " + castling + " " + ep, 0, 0};
        const size_t wdl = line.find("; wdl "), dtz = line.find("; dtz ");
        if (wdl == std::string::npos || dtz == std::string::npos) continue;
        r.wdl = std::stoi(line.substr(wdl + 6));
        r.dtz = std::stoi(line.substr(dtz + 6));
        references.push_back(r);
    }
    return references;
}

namespace {

struct ScratchDirectories {
    std::vector<std::string> made;
    ~ScratchDirectories() {
        for (const std::string& dir : made) std::filesystem::remove_all(dir);
    }
};
ScratchDirectories scratch;

}  // namespace

std::string scratchDirectory() {
    char templ[] = "/tmp/tarno-test-XXXXXX";
    const char* made = mkdtemp(templ);
    if (!made) {
        ADD_FAILURE() << "mkdtemp failed";
        return "/tmp";
    }
    scratch.made.push_back(made);
    return made;
}

const std::string& threeManTables() {
    static const std::string dir = [] {
        initEngineTables();
        GeneratorOptions options;
        options.directory = scratchDirectory();
        TableStore store(options);
        for (int t = 1; t <= LAST_THREE_MAN_TABLE; t++) {
            std::string error;
            EXPECT_TRUE(store.ensure(t, error)) << error;
        }
        return options.directory;
    }();
    return dir;
}

EngineSession::EngineSession(const std::string& iniText) : EngineSession({TARNO_BINARY}, iniText) {}

EngineSession::EngineSession(const std::vector<std::string>& command, const std::string& iniText) {
    char templ[] = "/tmp/tarno-test-XXXXXX";
    char* made = mkdtemp(templ);
    if (!made) {
        ADD_FAILURE() << "mkdtemp failed";
        return;
    }
    dir_ = made;
    if (!iniText.empty()) std::ofstream(dir_ + "/Tarno.ini") << iniText;

    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    signal(SIGPIPE, SIG_IGN);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(in[0]); close(in[1]); close(out[0]); close(out[1]);
        if (chdir(dir_.c_str()) != 0) _exit(127);
        std::vector<char*> argv;
        for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toEngine_ = in[1];
    fromEngine_ = out[0];
}

EngineSession::~EngineSession() {
    if (toEngine_ >= 0) close(toEngine_);
    if (pid_ > 0) {
        if (waitpid(pid_, nullptr, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    if (fromEngine_ >= 0) close(fromEngine_);
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

void EngineSession::send(const std::string& text) {
    if (toEngine_ < 0) return;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(toEngine_, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += size_t(n);
    }
}

bool EngineSession::readSome(int timeoutMs) {
    if (fromEngine_ < 0) return false;
    pollfd pfd{fromEngine_, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0) return false;
    char buf[4096];
    ssize_t n = read(fromEngine_, buf, sizeof buf);
    if (n <= 0) {
        close(fromEngine_);
        fromEngine_ = -1;
        return false;
    }
    output_.append(buf, size_t(n));
    return true;
}

bool EngineSession::waitFor(const std::string& needle, int timeoutMs, size_t from) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (output_.find(needle, from) != std::string::npos) return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        if (!readSome(int(left)) && fromEngine_ < 0) return output_.find(needle, from) != std::string::npos;
    }
}

void EngineSession::closeInput() {
    if (toEngine_ >= 0) close(toEngine_);
    toEngine_ = -1;
}

int EngineSession::waitExit(int timeoutMs) {
    if (pid_ <= 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            while (readSome(50)) {}
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return -1;
        }
        readSome(20);
    }
}

std::string runEngine(const std::string& input, int* exitStatus, int timeoutMs, const std::string& iniText) {
    EngineSession session(iniText);
    session.send(input);
    session.closeInput();
    int status = session.waitExit(timeoutMs);
    if (exitStatus) *exitStatus = status;
    return session.output();
}

void reportNotesAsLines() {
    Reporter reporter;
    reporter.note = [](const char* text) { std::printf("%s\n", text); };
    setReporter(reporter);
}

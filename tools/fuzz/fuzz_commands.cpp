// Command sessions: the input is what an interface or a person types, one
// command or move a line, in the console's, xboard's or UCI's form. It is
// handed to the engine's own main loop on a fresh engine state through a
// pipe in place of standard input, so that the loop, the input channel,
// the commands, game flow, pondering and analysis all see it as they would
// see a real session, ending at the end of input.
//
// Searches stay tiny: a node budget in the game's time control, and for
// UCI, whose "go" sets its own limits, a node limit added to every "go".
// Lines that would only make an input slow, not different, are left out:
// tables of more than 4 MB, perft deeper than 3 plies, more than 2 threads
// (this machine has two cores).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "search/position.h"
#include "shell/engine.h"
#include "shell/shell_state.h"
#include "shell/uci.h"
#include "tools/fuzz/fuzz_support.h"

namespace {

// The first number in the text after `from`, saturated; -1 when none.
long firstNumber(const std::string& line, size_t from = 0) {
    size_t at = line.find_first_of("0123456789", from);
    if (at == std::string::npos) return -1;
    long value = 0;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; at++)
        value = std::min(value * 10 + (line[at] - '0'), 1000000000L);
    return value;
}

bool hasNumberAbove(const std::string& line, long limit) {
    for (size_t at = 0; (at = line.find_first_of("0123456789", at)) != std::string::npos;) {
        size_t end = line.find_first_not_of("0123456789", at);
        if (end == std::string::npos) end = line.size();
        if (firstNumber(line, at) > limit) return true;
        at = end;
    }
    return false;
}

bool startsWith(const std::string& line, const char* word) {
    const size_t n = std::strlen(word);
    return line.compare(0, n, word) == 0 && (line.size() == n || line[n] == ' ');
}

// The session as the engine will read it: the slow lines left out, a node
// limit added to UCI's "go".
std::string prepareSession(const uint8_t* data, size_t size) {
    std::string out;
    bool uci = false;
    size_t begin = 0;
    while (begin < size) {
        const uint8_t* newline = static_cast<const uint8_t*>(std::memchr(data + begin, '\n', size - begin));
        size_t end = newline ? size_t(newline - data) : size;
        std::string line(reinterpret_cast<const char*>(data + begin), end - begin);
        begin = end + 1;
        // The input channel drops NUL bytes, so "perft 2<NUL>0" reaches the
        // engine as "perft 20": judge the line as the engine will read it.
        line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());

        if ((startsWith(line, "hash") || line.find("Hash") != std::string::npos) && hasNumberAbove(line, 4)) continue;
        if (startsWith(line, "perft") && hasNumberAbove(line, 3)) continue;
        if ((startsWith(line, "cores") || line.find("Threads") != std::string::npos) && hasNumberAbove(line, 2)) continue;
        if (startsWith(line, "memory") && hasNumberAbove(line, 4)) continue;
        // The benchmark is a fixed six-million-node search: slow, never different.
        if (line.find("bench") != std::string::npos) continue;
        if (!uci && isUciRequest(line.c_str())) uci = true;
        if (uci && startsWith(line, "go")) line += " nodes " + std::to_string(FUZZ_NODE_LIMIT);
        out += line;
        if (newline) out += '\n';
    }
    return out;
}

// Standard input reads the session from a pipe that ends with it.
void feedStandardInput(const std::string& session) {
    int fds[2];
    if (pipe(fds) != 0) std::abort();
    size_t done = 0;
    while (done < session.size()) {
        ssize_t n = write(fds[1], session.data() + done, session.size() - done);
        if (n <= 0) std::abort();
        done += size_t(n);
    }
    close(fds[1]);
    if (dup2(fds[0], STDIN_FILENO) < 0) std::abort();
    close(fds[0]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzStartUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The whole session must fit the pipe (64 KB), which is written before
    // the engine reads a byte of it.
    if (size > 16384) return -1;
    const std::string session = prepareSession(data, size);
    if (session.size() > 60000) return -1;
    fuzzFreshEngine();
    feedStandardInput(session);
    mainLoop();
    // Whatever the session did to the game (moves, take-backs, set-ups,
    // searches stopped anywhere), the keys must still be the board's.
    const Position& pos = *gShell.gamePosition;
    if (pos.hashKey != computeHashKey(pos) || pos.pawnKey != computePawnKey(pos)) {
        std::fprintf(stderr, "the game position's keys are not its board's\n");
        std::abort();
    }
    return 0;
}

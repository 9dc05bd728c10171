#include "shell/input.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"
#include "search/search_request.h"
#include "shell/commands.h"
#include "shell/shell_state.h"

namespace {

// Bytes read but not yet taken as lines, zero-terminated. At most
// capacity - 1 characters count, so a line may hold capacity - 2 characters
// plus its newline: 2046 for xboard and the console, more for a UCI
// interface, whose "position" line grows with the game.
char pending[UCI_LINE_SIZE];
size_t capacity = LINE_SIZE;
size_t pendingLength = 0;
// Set after an over-long line was rejected: its remaining bytes are dropped
// up to and including the newline that ends it.
bool discardingLine = false;

bool pendingHasLine() { return std::memchr(pending, '\n', pendingLength) != nullptr; }

void appendInput(const char* bytes, int count) {
    for (int i = 0; i < count; i++) {
        char c = bytes[i];
        if (discardingLine) {
            if (c == '\n') discardingLine = false;
            continue;
        }
        if (c == '\0') continue;  // would end the text early
        pending[pendingLength++] = c;
    }
    pending[pendingLength] = '\0';
}

// A line that cannot fit the buffers is refused as a whole rather than cut
// into pieces that would run as separate commands.
void rejectOverlongLine() {
    std::printf(gShell.uciMode ? "info string line too long: ignored\n" : "Error (line too long): ignored\n");
    pendingLength = 0;
    pending[0] = '\0';
    discardingLine = true;
}

// Moves the first line of pending input into out. A carriage return before
// the newline (an interface or server that ends its lines with CR LF) is
// dropped, as the configuration reader drops it.
void takeLine(char* out) {
    char* newline = static_cast<char*>(std::memchr(pending, '\n', pendingLength));
    const size_t length = size_t(newline - pending);
    const size_t kept = length > 0 && pending[length - 1] == '\r' ? length - 1 : length;
    std::memcpy(out, pending, kept);
    out[kept] = '\0';
    size_t rest = pendingLength - length - 1;
    std::memmove(pending, newline + 1, rest);
    pendingLength = rest;
    pending[pendingLength] = '\0';
}

// Text left without a newline when the input ends still counts as a line.
bool takeUnfinishedLine(char* out) {
    if (pendingLength == 0 || discardingLine) return false;
    appendInput("\n", 1);
    takeLine(out);
    return true;
}

// The interface has gone while the engine was thinking: nobody can stop
// this search or read its result any more, so the engine ends.
void endOfInputDuringSearch() {
    gShell.quit = true;
    stopSearch();
}

}  // namespace

void setLineCapacity(size_t bytes) { capacity = std::min(bytes, sizeof pending); }

void clearPendingInput() {
    pendingLength = 0;
    pending[0] = '\0';
    discardingLine = false;
}

int readInput() {
    size_t room = capacity - 1 - pendingLength;
    if (room == 0) {
        if (pendingHasLine()) return 1;
        rejectOverlongLine();
        room = capacity - 1;
    }
    char chunk[512];
    int n = readStandardInput(chunk, int(std::min(room, sizeof chunk)));
    if (n < 0) {
        std::printf("ERROR!  input I/O stream is unreadable, exiting.\n");
        std::exit(1);
    }
    if (n == 0) return 0;
    appendInput(chunk, n);
    return 1;
}

int readLine(bool wait, char* out) {
    out[0] = '\0';
    if (!wait) {
        if (!inputAvailable()) return 0;
        if (!pendingHasLine() && readInput() == 0) return takeUnfinishedLine(out) ? 1 : -1;
        if (!pendingHasLine()) return 0;
    }
    while (!pendingHasLine()) {
        if (readInput() == 0) return takeUnfinishedLine(out) ? 1 : -1;
    }
    takeLine(out);
    return 1;
}

int inputAvailable() {
    restartInputCountdown();
    bool terminal = standardInputIsTerminal();
    if (!gShell.xboardMode && !gShell.uciMode && !terminal) {
        // Redirected console input never interrupts a search that ends by
        // itself; an endless one (pondering, analysis) must still hear the
        // next line or the end of the input, or it would never stop.
        if (!searchStatus().pondering && !gShell.analysisMode) return 0;
        return pendingHasLine() ? 1 : standardInputWaiting();
    }
    if (pendingHasLine()) return 1;
    if (terminal) return terminalHasInput() ? 1 : 0;
    return standardInputWaiting();
}

void checkInputDuringSearch(Position& pos) {
    // A line that has stopped the search waits for the main loop; nothing
    // more is read until then, or it would be lost.
    if (gShell.inputLine[0] && searchStatus().stopped) return;
    gShell.inputLine[0] = '\0';
    if (!pendingHasLine()) {
        if (!inputAvailable()) return;
        if (readInput() == 0) {
            endOfInputDuringSearch();
            return;
        }
        if (!pendingHasLine()) return;
    }
    takeLine(gShell.inputLine);

    // During an analysis every line but "." changes what is analysed (or
    // ends it): the search stops and the main loop runs the line, then
    // analyses afresh.
    if (gShell.analysisMode && !gShell.epdtest && gShell.inputLine[0] != '.') {
        stopSearch();
        return;
    }
    // A line that is no command (normally the opponent's move) stops the
    // search and stays in the input line for the main loop.
    if (dispatchCommand(pos, gShell.inputLine) < 0) stopSearch();
}

void pollInputDuringSearch(Position& pos) {
    if (inputAvailable()) checkInputDuringSearch(pos);
}

#include "shell/epdtest.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "board/notation.h"
#include "book/book_state.h"
#include "eval/evaluate.h"
#include "platform/clock.h"
#include "search/new_game.h"
#include "search/search_request.h"
#include "search/time_control.h"
#include "shell/command_numbers.h"
#include "shell/game_flow.h"
#include "shell/shell_state.h"

namespace {

constexpr int MAX_BEST_MOVES = 10;
constexpr int MAX_TOKEN = 15;
constexpr size_t MAX_FEN = 256;

struct EpdCounters {
    int succeeded = 0;
    int failed = 0;
    int tested = 0;
    int percentSum = 0;
};

bool blank(const char* s) {
    for (; *s; s++)
        if (!std::isspace(static_cast<unsigned char>(*s))) return false;
    return true;
}

// Reads the best moves after "bm" into `best`; prints the id and the moves
// once the ";" closing them has been reached. Returns how many were read.
int readBestMoves(Position& pos, const char* bm, MoveC (&best)[MAX_BEST_MOVES]) {
    int count = 0;
    const char* c = bm + 2;
    if (*c == ' ') c++;
    while (true) {
        const char* end = c;
        while (*end && *end != ' ' && *end != ';') end++;
        if (!*end) {
            std::printf("Could not read best move\n");
            return count;
        }
        char token[MAX_TOKEN + 1];
        size_t length = std::min<size_t>(size_t(end - c), MAX_TOKEN);
        std::memcpy(token, c, length);
        token[length] = 0;
        if (length > 0 && count < MAX_BEST_MOVES) {
            MoveC parsed;
            parseMove(parsed, pos, token);
            if (parsed.valid) {
                best[count] = MoveC(parsed.move);
                moveToSan(best[count], pos);
                count++;
            }
        }
        if (*end == ';') {
            if (const char* id = std::strstr(end, "id")) std::printf("%s\n", id);
            for (int i = 0; i < count; i++) std::printf("Best move: %s\n", best[i].text);
            return count;
        }
        c = end + 1;
    }
}

SearchResult searchTestPosition(Position& pos, uint32_t moveTime) {
    gGame.engineSide = pos.sideToMove;
    shareShellSettings();
    // The suite's time is its searches' own: the game's clocks and control
    // stay as they were for the searches after it.
    SearchRequest request = gameRequest();
    request.clocks.fixedTime = true;
    request.clocks.fixedMoveTime = moveTime;
    request.startTime = timeNow();
    request.newPosition = true;
    gShell.thinking = true;
    const SearchResult result = search(pos, request);
    gShell.thinking = false;
    return result;
}

// One line of the suite. False when the test must stop.
bool testLine(Position& pos, char* line, uint32_t moveTime, EpdCounters& counters) {
    char* bm = std::strstr(line, "bm");
    if (!bm) {
        std::printf("invalid line\n");
        return false;
    }
    size_t fenLength = size_t(bm - line);
    if (fenLength > MAX_FEN) {
        std::printf("NOT ENOUGH ROOM FOR FEN!!\n");
        return false;
    }
    char fen[MAX_FEN + 1];
    std::memcpy(fen, line, fenLength);
    fen[fenLength] = 0;
    if (!blank(fen)) {
        if (!beginGame(pos, fen)) {
            std::printf("Invalid fen %s\n", fen);
            return false;
        }
        // A test position starts a game of its own: the book's count
        // starts afresh and pondering is allowed again.
        gBook.missCount = 0;
        gShell.ponderNext = true;
    }

    MoveC best[MAX_BEST_MOVES];
    const int bestCount = readBestMoves(pos, bm, best);
    const Move found = searchTestPosition(pos, moveTime).best;
    bool solved = false;
    for (int i = 0; i < bestCount; i++) solved |= found != 0 && best[i].move == found;
    if (solved) {
        std::printf("SUCCESS!\n");
        counters.succeeded++;
        counters.percentSum += 100;
    } else {
        std::printf("failed\n");
        counters.failed++;
    }
    counters.tested++;
    std::printf("%d / %d (%d%%)\n\n", counters.succeeded, counters.tested, counters.percentSum / counters.tested);
    return !gShell.quit;
}

}  // namespace

void commandEpdtest(Position& pos, const CommandArgs& args) {
    uint32_t moveTime;
    if (args.count < 3 || !readThousandths(args.word[2], 86400, moveTime)) {
        std::printf("usage: epdtest <epdfile> <seconds_to_search>\n");
        return;
    }
    const char* fileName = args.word[1];
    FILE* file = std::fopen(fileName, "r");
    if (!file) {
        std::printf("could not open %s\n", fileName);
        return;
    }
    // No thinking on the opponent's time between test positions; the
    // setting comes back with the end of the suite.
    const bool ponderingWasDisabled = ponderingDisabled();
    gShell.epdtest = true;
    gShell.ponderNext = false;
    setPonderingDisabled(true);
    EpdCounters counters;
    char line[512];
    while (std::fgets(line, sizeof line, file)) {
        size_t length = std::strlen(line);
        bool wholeLine = length > 0 && line[length - 1] == '\n';
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
        if (!wholeLine) {
            // Skip the rest of an overlong line.
            int c;
            while ((c = std::fgetc(file)) != EOF && c != '\n') {}
        }
        if (blank(line)) continue;
        if (!testLine(pos, line, moveTime, counters)) break;
    }
    std::fclose(file);
    std::printf("%s results\n", fileName);
    std::printf("succeeded=%d failed=%d\n", counters.succeeded, counters.failed);
    gGame.engineSide = -1;
    gShell.epdtest = false;
    setPonderingDisabled(ponderingWasDisabled);
}

#include "shell/xboard_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "book/book_probe.h"
#include "search/ponder.h"
#include "search/position.h"
#include "search/transposition.h"
#include "shell/command_numbers.h"
#include "shell/config.h"
#include "shell/engine_options.h"
#include "shell/settings_commands.h"
#include "shell/shell_state.h"

namespace {

// The largest node rate "nps" takes: a clock of nodes must still fit the
// node budget's 32 bits over a long move.
constexpr long MOST_NODES_PER_SECOND = 100000000;
// A hash of less than this many MB is no table.
constexpr long LEAST_MEMORY_MB = 2;

// The legal moves of `pos` at its root.
int legalRootMoves(Position& pos, Move* legal) {
    pos.historyCount = 1;
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    int n = 0;
    for (Move* m = moves; m < end; m++)
        if (isLegalMove(*m, pos)) legal[n++] = *m;
    return n;
}

bool isExcluded(Move m) {
    for (int i = 0; i < gShell.excludedCount; i++)
        if (gShell.excludedMoves[i] == m) return true;
    return false;
}

// Exclusions belong to the position they were given in.
void dropStaleExclusions(const Position& pos) {
    if (gShell.excludedCount && gShell.excludedKey != pos.hashKey) gShell.excludedCount = 0;
}

}  // namespace

void printFeatures() {
    // colors=0: the side to move follows from the moves (and "go",
    // "playother", "force"); xboard then never sends "white" or "black",
    // which would cost the game its move history.
    std::printf("feature draw=1 setboard=1 analyze=1 ping=1 reuse=1 time=1 playother=1 sigint=0 "
                "sigterm=0 smp=1 ics=1 name=1 colors=0 memory=1 exclude=1 setscore=1 nps=1 "
                "egt=\"nalimov,syzygy\" variants=\"normal,fischerandom\" myname=\"Tarno 4.1\"\n");
    printXboardOptions();
    std::printf("feature done=1\n");
}

void commandSd(const CommandArgs& args) {
    long depth;
    if (args.count != 2 || !readInteger(args.word[1], 1, MAX_PLY, depth)) {
        reportBadArguments(args, "sd <plies>");
        return;
    }
    gShell.depthLimit = int(depth) + 1;
}

void commandNps(const CommandArgs& args) {
    long rate;
    if (args.count != 2 || !readInteger(args.word[1], 0, MOST_NODES_PER_SECOND, rate)) {
        reportBadArguments(args, "nps <nodes per second>");
        return;
    }
    gShell.nodeRate = uint32_t(rate);
}

void commandMemory(const CommandArgs& args) {
    long megabytes;
    if (args.count != 2 || !readInteger(args.word[1], LEAST_MEMORY_MB, 1L << 20, megabytes)) {
        reportBadArguments(args, "memory <megabytes for both hash tables>");
        return;
    }
    // The pawn table keeps its size while that leaves the main table at
    // least as big; a small total is split evenly.
    long pawn = std::min<long>(gShell.pawnTableMB, megabytes / 2);
    resizeHashTables(megabytes - pawn, pawn);
}

void commandMoveNow() {
    if (gShell.onMove && !searchStatus().pondering) stopSearch();
}

void commandHint(Position& pos) {
    // The second move of the last line, when the engine has just moved, is
    // the reply it expects; with no line there is nothing to say.
    Move reply = pos.pv[0].end > 2 ? pos.pv[0].moves[2] : 0;
    if (!reply || !isLegalMove(reply, pos)) return;
    MoveC text(reply);
    std::printf("Hint: %s\n", moveToSan(text, pos));
}

void commandBk(Position& pos) {
    BookShare shares[MAX_MOVES];
    const int count = bookMoveShares(pos, shares);
    if (count == 0) std::printf(" no book moves\n");
    for (int i = 0; i < count; i++) {
        MoveC text(shares[i].move);
        std::printf(" %s %i%%\n", moveToSan(text, pos), shares[i].percent);
    }
    std::printf("\n");
}

void commandExclude(Position& pos, const CommandArgs& args, bool exclude) {
    if (args.count != 2) {
        reportBadArguments(args, exclude ? "exclude <move>|all" : "include <move>|all");
        return;
    }
    dropStaleExclusions(pos);
    gShell.excludedKey = pos.hashKey;
    if (std::strcmp(args.word[1], "all") == 0) {
        gShell.excludedCount = exclude ? legalRootMoves(pos, gShell.excludedMoves) : 0;
        return;
    }
    MoveC parsed;
    parseMove(parsed, pos, args.word[1]);
    pos.historyCount = 1;
    if (!parsed.valid || !isLegalMove(parsed.move, pos)) {
        std::printf("Illegal move: %s\n", args.word[1]);
        return;
    }
    const Move m = parsed.move;
    if (exclude && !isExcluded(m)) gShell.excludedMoves[gShell.excludedCount++] = m;
    if (!exclude) {
        int kept = 0;
        for (int i = 0; i < gShell.excludedCount; i++)
            if (gShell.excludedMoves[i] != m) gShell.excludedMoves[kept++] = gShell.excludedMoves[i];
        gShell.excludedCount = kept;
    }
}

void commandSetscore(Position& pos, const CommandArgs& args) {
    long score, depth;
    if (args.count != 3 || !readInteger(args.word[1], -(MATE - 1), MATE - 1, score) ||
        !readInteger(args.word[2], 0, MAX_PLY, depth)) {
        reportBadArguments(args, "setscore <centipawns for the side to move> <depth>");
        return;
    }
    // As if a search of that depth had found it: the next search of the
    // position starts from this score and may take it as it stands.
    hashStore(pos.hashKey, 1, int(depth), int(score), HASH_EXACT, 0);
}

void commandOption(const CommandArgs& args) {
    // The name may hold blanks ("Resign Score"): the words after "option"
    // joined again as they came.
    char text[LINE_SIZE] = "";
    for (int i = 1; i < args.count; i++) {
        if (i > 1) std::strncat(text, " ", sizeof text - std::strlen(text) - 1);
        std::strncat(text, args.word[i], sizeof text - std::strlen(text) - 1);
    }
    char name[LINE_SIZE];
    const char* equals = std::strchr(text, '=');
    const size_t length = equals ? size_t(equals - text) : std::strlen(text);
    std::snprintf(name, sizeof name, "%.*s", int(length), text);
    const char* value = equals ? equals + 1 : "";
    const EngineOption* option = findEngineOption(name);
    if (!option) {
        reportUnknownOption(name);
        return;
    }
    setEngineOption(*option, value);
}

void applyExclusions(Position& pos, SearchRequest& request) {
    dropStaleExclusions(pos);
    if (gShell.excludedCount == 0) return;
    Move legal[MAX_MOVES];
    const int n = legalRootMoves(pos, legal);
    int allowed = 0;
    for (int i = 0; i < n; i++)
        if (!isExcluded(legal[i])) request.searchMoves[allowed++] = legal[i];
    // Every move excluded: a game must still go on, with any move.
    request.searchMoveCount = allowed;
}

bool everyMoveExcluded(Position& pos) {
    dropStaleExclusions(pos);
    if (gShell.excludedCount == 0) return false;
    Move legal[MAX_MOVES];
    const int n = legalRootMoves(pos, legal);
    for (int i = 0; i < n; i++)
        if (!isExcluded(legal[i])) return false;
    return n > 0;
}

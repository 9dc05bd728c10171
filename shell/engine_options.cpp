#include "shell/engine_options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "board/game_state.h"
#include "egtb/tablebase_settings.h"
#include "eval/pawn_table.h"
#include "search/parallel.h"
#include "search/search_request.h"
#include "search/strength.h"
#include "search/transposition.h"
#include "shell/command_numbers.h"
#include "shell/config.h"
#include "shell/settings_commands.h"
#include "shell/shell_state.h"

namespace {

constexpr long MEGABYTE = 1 << 20;
// The transposition table an interface may ask for, in megabytes (the
// machine's memory is checked when it is made).
constexpr long HASH_MIN_MB = 1;
constexpr long HASH_MAX_MB = 65536;
// A resign score is a loss in centipawns the engine accepts as hopeless.
constexpr long RESIGN_MIN = -9000;
constexpr long RESIGN_MAX = 0;

// A remark about a setting: an "info string" for a UCI interface, a plain
// line otherwise.
void say(const char* text) {
    if (gShell.uciMode) std::printf("info string %s\n", text);
    else std::printf("%s\n", text);
}

void writeNumber(char* text, int size, long value) { std::snprintf(text, size_t(size), "%ld", value); }
void writeCheck(char* text, int size, bool on) { std::snprintf(text, size_t(size), "%s", on ? "true" : "false"); }
void writeText(char* text, int size, const char* value) {
    std::snprintf(text, size_t(size), "%s", value[0] ? value : "<empty>");
}
bool isOn(const char* value) { return strcasecmp(value, "true") == 0; }
// "<empty>" is how UCI writes an empty text.
const char* textValue(const char* value) { return std::strcmp(value, "<empty>") == 0 ? "" : value; }

void hashNow(char* t, int n) { writeNumber(t, n, long(gTransposition.bytes / MEGABYTE)); }
void changeHash(const char* value) {
    const long megabytes = std::strtol(value, nullptr, 10);
    // As "hash" does: both tables made anew, the pawn table keeping its size.
    char text[96];
    if (resizeHashTables(megabytes, gShell.pawnTableMB))
        std::snprintf(text, sizeof text, "hash table %ld MB", megabytes);
    else
        std::snprintf(text, sizeof text, "hash table stays at %llu MB",
                      (unsigned long long)(gTransposition.bytes / MEGABYTE));
    say(text);
}

void threadsNow(char* t, int n) { writeNumber(t, n, long(searchThreadCount())); }
void changeThreads(const char* value) { useSearchThreads(unsigned(std::strtol(value, nullptr, 10))); }

void ponderNow(char* t, int n) { writeCheck(t, n, !ponderingDisabled()); }
void changePonder(const char* value) { setPonderingDisabled(!isOn(value)); }

void bookNow(char* t, int n) { writeCheck(t, n, gShell.ownBook); }
void changeBook(const char* value) { gShell.ownBook = isOn(value); }

void nalimovNow(char* t, int n) { writeText(t, n, gTablebases.path); }
// The tables in the folders of `value` (separated by ',' or ';'), as
// "egtpath nalimov" sets them up; but where "egtpath" sets the tables up
// once, an interface may point to another folder later, and gets it.
void changeNalimov(const char* value) {
    value = textValue(value);
    if (gTablebases.count != 0 && std::strcmp(gTablebases.path, value) == 0) return;
    gTablebases.count = 0;
    setupTablebases(value);
    char text[LINE_SIZE + 64];
    if (gTablebases.count) {
        std::snprintf(text, sizeof text, "tablebases of up to %d men", gTablebases.count);
        say(text);
    } else if (value[0]) {
        std::snprintf(text, sizeof text, "no tablebases in '%s'", value);
        say(text);
    }
}

void syzygyNow(char* t, int n) { writeText(t, n, gTablebases.syzygyPath); }
// As "egtpath syzygy": the same folders again keep the tables in use, an
// empty value drops them. Scores found with other tables are stale.
void changeSyzygy(const char* value) {
    if (setupSyzygy(textValue(value))) clearTranspositionTable();
}

void ruleNow(char* t, int n) { writeCheck(t, n, gTablebases.syzygy50MoveRule); }
void changeRule(const char* value) {
    const bool on = isOn(value);
    if (on == gTablebases.syzygy50MoveRule) return;
    gTablebases.syzygy50MoveRule = on;
    clearTranspositionTable();
}

void probeLimitNow(char* t, int n) { writeNumber(t, n, gTablebases.syzygyProbeLimit); }
void changeProbeLimit(const char* value) {
    const int men = int(std::strtol(value, nullptr, 10));
    if (men == gTablebases.syzygyProbeLimit) return;
    gTablebases.syzygyProbeLimit = men;
    clearTranspositionTable();
}

void resignNow(char* t, int n) { writeNumber(t, n, gShell.resignScore); }
void changeResign(const char* value) { gShell.resignScore = int(std::strtol(value, nullptr, 10)); }

void multiPVNow(char* t, int n) { writeNumber(t, n, gShell.multiPV); }
// Several lines from the next search on; more than the legal moves means
// all of them.
void changeMultiPV(const char* value) { gShell.multiPV = int(std::strtol(value, nullptr, 10)); }

void overheadNow(char* t, int n) { writeNumber(t, n, long(gShell.moveOverhead)); }
void changeOverhead(const char* value) { gShell.moveOverhead = uint32_t(std::strtol(value, nullptr, 10)); }

void probeDepthNow(char* t, int n) { writeNumber(t, n, gTablebases.syzygyProbeDepth); }
void changeProbeDepth(const char* value) { gTablebases.syzygyProbeDepth = int(std::strtol(value, nullptr, 10)); }

void showWdlNow(char* t, int n) { writeCheck(t, n, gShell.showWDL); }
void changeShowWdl(const char* value) { gShell.showWDL = isOn(value); }

void limitNow(char* t, int n) { writeCheck(t, n, gShell.limitStrength); }
void changeLimit(const char* value) { gShell.limitStrength = isOn(value); }

void eloNow(char* t, int n) { writeNumber(t, n, gShell.limitElo); }
void changeElo(const char* value) { gShell.limitElo = int(std::strtol(value, nullptr, 10)); }

void chess960Now(char* t, int n) { writeCheck(t, n, gGame.chess960); }
// Fischer random chess: castling by any king and rook files, written as the
// king taking its own rook.
void changeChess960(const char* value) { gGame.chess960 = isOn(value); }

void noValue(char* t, int n) {
    if (n > 0) t[0] = '\0';
}
void clearHash(const char*) {
    clearTranspositionTable();
    clearPawnTable();
}

const EngineOption options[] = {
    {"Hash", OptionKind::Spin, HASH_MIN_MB, HASH_MAX_MB, false, false, hashNow, changeHash},
    {"Threads", OptionKind::Spin, 1, long(MAX_THREAD_COUNT), false, false, threadsNow, changeThreads},
    {"Ponder", OptionKind::Check, 0, 0, false, false, ponderNow, changePonder},
    {"OwnBook", OptionKind::Check, 0, 0, false, false, bookNow, changeBook},
    {"NalimovPath", OptionKind::Text, 0, 0, false, false, nalimovNow, changeNalimov},
    // The Syzygy options under the names interfaces give them.
    {"SyzygyPath", OptionKind::Text, 0, 0, false, false, syzygyNow, changeSyzygy},
    {"Syzygy50MoveRule", OptionKind::Check, 0, 0, false, false, ruleNow, changeRule},
    {"SyzygyProbeLimit", OptionKind::Spin, 0, SYZYGY_MAX_MEN, false, false, probeLimitNow, changeProbeLimit},
    // No Syzygy probes where fewer plies than this are left (slow disks).
    {"SyzygyProbeDepth", OptionKind::Spin, SYZYGY_MIN_PROBE_DEPTH, SYZYGY_MAX_PROBE_DEPTH, false, false, probeDepthNow,
     changeProbeDepth},
    {"MultiPV", OptionKind::Spin, 1, MAX_MULTI_PV, false, false, multiPVNow, changeMultiPV},
    // What the interface and the system take per move, kept back from it.
    {"Move Overhead", OptionKind::Spin, 0, long(MAX_MOVE_OVERHEAD_MS), false, false, overheadNow, changeOverhead},
    // Win, draw and loss beside the score: a UCI info line's field.
    {"UCI_ShowWDL", OptionKind::Check, 0, 0, true, false, showWdlNow, changeShowWdl},
    // A weaker engine: UCI_Elo's strength while UCI_LimitStrength is on.
    {"UCI_LimitStrength", OptionKind::Check, 0, 0, false, false, limitNow, changeLimit},
    {"UCI_Elo", OptionKind::Spin, STRENGTH_ELO_MIN, STRENGTH_ELO_MAX, false, false, eloNow, changeElo},
    // xboard chooses the variant with "variant fischerandom" instead.
    {"UCI_Chess960", OptionKind::Check, 0, 0, true, false, chess960Now, changeChess960},
    // A UCI interface adjudicates and resigns for its engine.
    {"Resign Score", OptionKind::Spin, RESIGN_MIN, RESIGN_MAX, false, true, resignNow, changeResign},
    {"Clear Hash", OptionKind::Button, 0, 0, false, false, noValue, clearHash},
};
constexpr int OPTION_COUNT = int(sizeof options / sizeof options[0]);

bool offered(const EngineOption& o) { return gShell.uciMode ? !o.xboardOnly : !o.uciOnly; }

// Why `value` does not fit the option; empty when it does.
void describeFault(const EngineOption& o, const char* value, char* why, int size) {
    why[0] = '\0';
    long number;
    switch (o.kind) {
    case OptionKind::Spin:
        if (!readInteger(value, o.low, o.high, number))
            std::snprintf(why, size_t(size), "%s takes a whole number from %ld to %ld, not '%s'", o.name, o.low,
                          o.high, value);
        break;
    case OptionKind::Check:
        if (strcasecmp(value, "true") != 0 && strcasecmp(value, "false") != 0)
            std::snprintf(why, size_t(size), "%s takes true or false, not '%s'", o.name, value);
        break;
    case OptionKind::Text:
    case OptionKind::Button: break;
    }
}

}  // namespace

int engineOptionCount() { return OPTION_COUNT; }
const EngineOption& engineOption(int index) { return options[index]; }

const EngineOption* findEngineOption(const char* name) {
    for (const EngineOption& o : options)
        if (offered(o) && strcasecmp(o.name, name) == 0) return &o;
    return nullptr;
}

void printUciOptions() {
    static const char* const kinds[] = {"spin", "check", "string", "button"};
    for (const EngineOption& o : options) {
        if (o.xboardOnly) continue;
        char now[LINE_SIZE];
        o.current(now, sizeof now);
        std::printf("option name %s type %s", o.name, kinds[int(o.kind)]);
        if (o.kind != OptionKind::Button) std::printf(" default %s", now);
        if (o.kind == OptionKind::Spin) std::printf(" min %ld max %ld", o.low, o.high);
        std::printf("\n");
    }
}

void printXboardOptions() {
    for (const EngineOption& o : options) {
        if (o.uciOnly) continue;
        char now[LINE_SIZE];
        o.current(now, sizeof now);
        switch (o.kind) {
        case OptionKind::Spin:
            std::printf("feature option=\"%s -spin %s %ld %ld\"\n", o.name, now, o.low, o.high);
            break;
        case OptionKind::Check:
            std::printf("feature option=\"%s -check %d\"\n", o.name, std::strcmp(now, "true") == 0 ? 1 : 0);
            break;
        case OptionKind::Text:
            // xboard offers a folder chooser for a -path option.
            std::printf("feature option=\"%s -path %s\"\n", o.name, std::strcmp(now, "<empty>") == 0 ? "" : now);
            break;
        case OptionKind::Button: std::printf("feature option=\"%s -button\"\n", o.name); break;
        }
    }
}

bool setEngineOption(const EngineOption& option, const char* value) {
    // xboard sends a check box as 1 or 0.
    if (option.kind == OptionKind::Check && !gShell.uciMode) {
        if (std::strcmp(value, "1") == 0) value = "true";
        else if (std::strcmp(value, "0") == 0) value = "false";
    }
    if (option.kind != OptionKind::Button && option.kind != OptionKind::Text && !value[0]) {
        char text[128];
        std::snprintf(text, sizeof text, "%s needs a value", option.name);
        if (gShell.xboardMode) std::printf("Error (bad value): option %s\n", option.name);
        else say(text);
        return false;
    }
    char why[LINE_SIZE + 128];
    describeFault(option, value, why, sizeof why);
    if (why[0]) {
        if (gShell.xboardMode) std::printf("Error (bad value): option %s=%s\n", option.name, value);
        else say(why);
        return false;
    }
    option.change(value);
    return true;
}

void reportUnknownOption(const char* name) {
    if (gShell.xboardMode) {
        std::printf("Error (unknown option): %s\n", name);
        return;
    }
    char text[LINE_SIZE + 32];
    std::snprintf(text, sizeof text, "unknown option '%s'", name);
    say(text);
}

#include "shell/evaltest.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "board/notation.h"
#include "book/book_state.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "search/new_game.h"
#include "search/score.h"
#include "shell/shell_state.h"

namespace {

constexpr size_t EPD_TEXT = 255;

// The text up to the next ";" (or the end of the line when it has none),
// keeping at most EPD_TEXT characters. `endedLine` tells whether the line is
// already used up. False at the end of the file when nothing was read.
bool readEpdRecord(FILE* file, char* buf, bool& endedLine) {
    size_t length = 0;
    int ch;
    bool any = false;
    endedLine = true;
    while ((ch = std::fgetc(file)) != EOF) {
        any = true;
        if (ch == '\n') break;
        if (ch == ';') {
            endedLine = false;
            break;
        }
        if (length < EPD_TEXT) buf[length++] = char(ch);
    }
    if (length > 0 && buf[length - 1] == '\r') --length;
    buf[length] = '\0';
    return any;
}

void skipRestOfLine(FILE* file) {
    int ch;
    while ((ch = std::fgetc(file)) != EOF && ch != '\n') {}
}

bool isBlank(const char* text) {
    for (; *text; ++text)
        if (!std::isspace(static_cast<unsigned char>(*text))) return false;
    return true;
}

// The colour-reversed position is the same position for the other side; so
// is the engine's own colour, which a few terms look at.
int mirrorEvaluation(Position& mirror) {
    int saved = gGame.engineSide;
    if (saved >= 0) gGame.engineSide = saved ^ 1;
    int score = consoleEvaluation(mirror);
    gGame.engineSide = saved;
    return score;
}

}  // namespace

int consoleEvaluation(Position& pos) {
    pos.history[1].castling = pos.castling;
    shareShellSettings();
    prepareEvaluation(pos);
    // A position typed in may share its pawns with one scored under other
    // phase tables: score its structure afresh.
    forgetPawnEntry(pos.pawnKey);
    pos.pawnEntry = PawnEntry{};
    return evaluate(pos, -MATE, MATE);
}

void commandEval(Position& pos) { std::printf("Eval: %d\n", consoleEvaluation(pos)); }

void commandEvaltest(Position& pos, int wordCount, const char* fileName) {
    if (wordCount < 1) {
        std::puts("usage: evaltest <epdfile>");
        return;
    }
    FILE* file = std::fopen(fileName, "r");
    if (!file) {
        std::printf("could not open %s\n", fileName);
        return;
    }
    auto mirror = std::make_unique<Position>();
    char text[EPD_TEXT + 1];
    bool endedLine = true;
    while (readEpdRecord(file, text, endedLine)) {
        char fen[EPD_TEXT + 1];
        std::strcpy(fen, text);
        if (char* bm = std::strstr(fen, "bm")) *bm = '\0';
        std::puts(text);
        // Our EPD files carry "#" comment lines; they are shown, not scored.
        const char* first = fen + std::strspn(fen, " \t");
        if (*first != '#' && !isBlank(fen)) {
            if (!beginGame(pos, fen)) {
                // A half-set board is no position to judge symmetry on.
                std::printf("Invalid fen %s\n", fen);
            } else {
                // Each position starts a game of its own: the book's count
                // starts afresh and pondering is allowed again.
                gBook.missCount = 0;
                gShell.ponderNext = true;
                int score = consoleEvaluation(pos);
                std::printf("Eval Score: %d\n", score);
                std::puts("flipping board");
                mirrorPosition(pos, *mirror);
                int mirrored = mirrorEvaluation(*mirror);
                std::printf("Mirror eval score: %d\n", mirrored);
                if (score != mirrored) {
                    std::puts("ASYMMETRICAL!");
                    std::puts("board:");
                    displayBoard(pos);
                    std::puts("mirror board: ");
                    displayBoard(*mirror);
                    break;
                }
            }
        }
        if (!endedLine) skipRestOfLine(file);
    }
    beginGame(pos);
    std::fclose(file);
}

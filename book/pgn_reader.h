// Reading games from a PGN file for the book: the tags that matter (result,
// set-up position), the header text for messages, and the first moves of
// the main line as words, ready to be read as SAN.
//
// Moves inside parenthesised variations (nested or not), comments in braces
// or after a semicolon, numeric annotation glyphs and move numbers in any
// form ("12.", "12...", "12.e4", a number alone at the end of a line) never
// become moves of the game. A game ends at its result token; one that is
// cut short by the next game's tags or by the end of the file gives nothing.
#pragma once

#include <cstdio>
#include <string>

constexpr int PGN_MAX_PLIES = 50;     // only the opening is stored
constexpr int PGN_MAX_WORD = 15;      // longer words are cut (and never legal)
constexpr size_t PGN_MAX_HEADER = 8192;

enum class GameResult { none, whiteWin, blackWin, draw };

struct PgnGame {
    std::string header;  // the tag lines, each ended by a line feed
    GameResult result = GameResult::none;
    // Games from a set-up position (a FEN tag) and unfinished ones (result
    // "*") are read to their end and left out.
    bool skip = false;
    int moveCount = 0;
    char moves[PGN_MAX_PLIES][PGN_MAX_WORD + 1];
};

enum class PgnNext { game, end, headerTooLong };

struct PgnReader {
    // False (after printing "Error opening: " and the name) when the file
    // cannot be read: missing, unreadable or a folder.
    bool open(const char* path);
    void close();
    ~PgnReader() { close(); }

    // The next finished game that is not skipped.
    PgnNext next(PgnGame& game);

private:
    enum class Section { tags, moves };
    bool readLine();
    void readMovetext(PgnGame& game, bool& finished);
    void takeWord(PgnGame& game, bool& finished);
    bool addTag(PgnGame& game);

    std::FILE* file_ = nullptr;
    char buffer_[1 << 16];
    size_t bufferStart_ = 0, bufferEnd_ = 0;
    bool atStart_ = true;
    std::string line_;
    char word_[PGN_MAX_WORD + 1];
    int wordLength_ = 0;
    bool inComment_ = false;
    int variationDepth_ = 0;
};

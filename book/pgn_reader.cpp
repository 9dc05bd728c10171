#include "book/pgn_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace {

// A longer line is read in pieces of this size, so that no file, however
// it is made, can make the reader hold more than this at once.
constexpr size_t MAX_LINE = 1 << 20;

// Character classes on unsigned bytes: PGN files carry Latin-1 and
// worse, and the <cctype> functions are undefined for negative chars.
bool isBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\0'; }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

size_t firstNonBlank(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && isBlank((unsigned char)line[i])) i++;
    return i;
}

bool isBlankLine(const std::string& line) { return firstNonBlank(line) == line.size(); }

// A tag pair: "[" and a letter, and a closing "]". In the movetext this is
// the start of the next game's tags, even inside an unclosed comment.
bool isTagLine(const std::string& line) {
    size_t i = firstNonBlank(line);
    return i + 1 < line.size() && line[i] == '[' && isLetter((unsigned char)line[i + 1]) &&
           line.find(']', i) != std::string::npos;
}

bool isResultToken(const char* word) {
    return std::strcmp(word, "1-0") == 0 || std::strcmp(word, "0-1") == 0 || std::strcmp(word, "1/2-1/2") == 0 ||
           std::strcmp(word, "*") == 0;
}

// A result written in a tag's value.
void readResultTag(const std::string& value, PgnGame& game) {
    if (value.find("1-0") != std::string::npos)
        game.result = GameResult::whiteWin;
    else if (value.find("1/2-1/2") != std::string::npos)
        game.result = GameResult::draw;
    else if (value.find("0-1") != std::string::npos)
        game.result = GameResult::blackWin;
    else if (value.find('*') != std::string::npos)
        game.skip = true;
}

// "Nf3+!?" -> "Nf3", "e8Q" -> "e8=Q". Returns false when nothing is left.
bool normaliseMoveWord(char* word, int& length) {
    while (length > 0 && std::strchr("+#?!", word[length - 1])) word[--length] = 0;
    if (length >= 2 && length < PGN_MAX_WORD && std::strchr("QRBN", word[length - 1]) &&
        (word[length - 2] == '8' || word[length - 2] == '1')) {
        word[length] = word[length - 1];
        word[length - 1] = '=';
        word[++length] = 0;
    }
    return length > 0;
}

}  // namespace

bool PgnReader::open(const char* path) {
    close();
    struct stat status;
    file_ = std::fopen(path, "rb");
    if (file_ && (fstat(fileno(file_), &status) != 0 || S_ISDIR(status.st_mode))) close();
    if (!file_) {
        std::printf("Error opening: %s\n", path);
        return false;
    }
    atStart_ = true;
    bufferStart_ = bufferEnd_ = 0;
    return true;
}

void PgnReader::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool PgnReader::readLine() {
    line_.clear();
    if (!file_) return false;
    bool gotAny = false;
    for (;;) {
        if (bufferStart_ == bufferEnd_) {
            bufferStart_ = 0;
            bufferEnd_ = std::fread(buffer_, 1, sizeof buffer_, file_);
            if (bufferEnd_ == 0) {
                if (std::ferror(file_)) std::fprintf(stderr, "Error reading from book file.\n");
                close();
                break;
            }
        }
        const char* start = buffer_ + bufferStart_;
        const size_t available = bufferEnd_ - bufferStart_;
        const size_t room = MAX_LINE - line_.size();
        const char* newline = static_cast<const char*>(std::memchr(start, '\n', std::min(available, room)));
        gotAny = true;
        if (newline) {
            line_.append(start, size_t(newline - start));
            bufferStart_ += size_t(newline - start) + 1;
            break;
        }
        const size_t taken = std::min(available, room);
        line_.append(start, taken);
        bufferStart_ += taken;
        if (line_.size() == MAX_LINE) break;
    }
    if (!gotAny) return false;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (atStart_) {
        atStart_ = false;
        if (line_.compare(0, 3, "\xEF\xBB\xBF") == 0) line_.erase(0, 3);  // byte-order mark
    }
    return true;
}

bool PgnReader::addTag(PgnGame& game) {
    if (game.header.size() + line_.size() + 1 > PGN_MAX_HEADER) return false;
    game.header += line_;
    game.header += '\n';

    size_t i = firstNonBlank(line_) + 1;
    size_t nameStart = i;
    while (i < line_.size() && !isBlank((unsigned char)line_[i]) && line_[i] != '"' && line_[i] != ']') i++;
    const std::string name = line_.substr(nameStart, i - nameStart);
    const size_t open = line_.find('"', i);
    const size_t close = open == std::string::npos ? std::string::npos : line_.rfind('"');
    const std::string value = close != std::string::npos && close > open ? line_.substr(open + 1, close - open - 1) : "";
    if (name == "Result") readResultTag(value, game);
    if (name == "FEN") game.skip = true;
    return true;
}

void PgnReader::takeWord(PgnGame& game, bool& finished) {
    if (wordLength_ == 0) return;
    word_[wordLength_] = 0;
    char* word = word_;
    int length = wordLength_;
    wordLength_ = 0;
    if (variationDepth_ > 0) return;  // another line than the game's
    if (isResultToken(word)) {
        finished = true;
        return;
    }
    if (word[0] == '$') return;  // annotation glyph
    // Move numbers, with the move glued on or not: "12." "12..." "12...e5".
    if (isDigit((unsigned char)word[0])) {
        int i = 0;
        while (isDigit((unsigned char)word[i])) i++;
        if (word[i] != '.' && word[i] != 0) {
            // "0-0", "0-0-0": castling written with zeros
        } else {
            while (word[i] == '.') i++;
            word += i;
            length -= i;
        }
    }
    while (word[0] == '.') {
        word++;
        length--;
    }
    if (!normaliseMoveWord(word, length)) return;
    if (game.moveCount < PGN_MAX_PLIES) std::memcpy(game.moves[game.moveCount++], word, size_t(length) + 1);
}

void PgnReader::readMovetext(PgnGame& game, bool& finished) {
    for (size_t i = 0; i < line_.size() && !finished; i++) {
        const unsigned char c = (unsigned char)line_[i];
        if (inComment_) {
            inComment_ = c != '}';
            continue;
        }
        switch (c) {
            case '{': takeWord(game, finished); inComment_ = true; break;
            case ';': takeWord(game, finished); return;  // comment to the end of the line
            case '(': takeWord(game, finished); variationDepth_++; break;
            case ')':
                takeWord(game, finished);
                if (variationDepth_ > 0) variationDepth_--;
                break;
            default:
                if (isBlank(c)) {
                    takeWord(game, finished);
                } else if (wordLength_ < PGN_MAX_WORD) {
                    word_[wordLength_++] = char(c);
                }
        }
    }
    takeWord(game, finished);  // lines are joined with a blank
}

PgnNext PgnReader::next(PgnGame& game) {
    auto startGame = [&] {
        game.header.clear();
        game.result = GameResult::none;
        game.skip = false;
        game.moveCount = 0;
        wordLength_ = 0;
        inComment_ = false;
        variationDepth_ = 0;
    };
    startGame();
    Section section = Section::tags;
    bool haveTags = false;
    while (readLine()) {
        if (section == Section::moves && isTagLine(line_)) {
            // The game never reached its result: drop it, and let these tags
            // begin the next one.
            startGame();
            section = Section::tags;
            haveTags = false;
        }
        if (section == Section::tags) {
            if (isBlankLine(line_)) {
                if (haveTags) section = Section::moves;
                continue;
            }
            if (isTagLine(line_)) {
                if (!addTag(game)) return PgnNext::headerTooLong;
                haveTags = true;
                continue;
            }
            section = Section::moves;  // movetext without the blank line before it
        }
        bool finished = false;
        readMovetext(game, finished);
        if (!finished) continue;
        if (!game.skip) return PgnNext::game;
        startGame();
        section = Section::tags;
        haveTags = false;
    }
    return PgnNext::end;
}

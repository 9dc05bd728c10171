#include "book/book_create.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "board/makemove.h"
#include "board/notation.h"
#include "book/book_format.h"
#include "book/book_merge.h"
#include "book/book_replay.h"
#include "book/pgn_reader.h"

namespace {

constexpr int RECORDS_PER_DOT = 10000;

// Records waiting to be sorted into the next run file.
struct RecordBlock {
    std::vector<BookRecord> records;
    int capacity;
    int runs = 0;
    int64_t total = 0;

    explicit RecordBlock(int size) : capacity(std::max(1, size)) { records.reserve(size_t(capacity)); }

    // Sorts the block and writes it whole as the next run file.
    bool writeRun() {
        std::sort(records.begin(), records.end(),
                  [](const BookRecord& a, const BookRecord& b) { return a.key < b.key; });
        const std::string name = runFileName(runs);
        std::FILE* file = std::fopen(name.c_str(), "wb");
        bool written = file != nullptr;
        if (file) {
            std::vector<unsigned char> bytes(records.size() * BOOK_RECORD_BYTES);
            for (size_t i = 0; i < records.size(); i++) encodeRecord(records[i], bytes.data() + i * BOOK_RECORD_BYTES);
            written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
            written = std::fclose(file) == 0 && written;
            runs++;  // written or not, it is there to be removed
        }
        if (!written) {
            std::fprintf(stderr, "Error: %s\n", std::strerror(errno));
            std::fprintf(stderr, "Fatal error, could not create sort file.\n");
        }
        records.clear();
        return written;
    }

    bool add(const BookRecord& record) {
        records.push_back(record);
        total++;
        if (total % RECORDS_PER_DOT == 0) std::printf(".");
        return int(records.size()) < capacity || writeRun();
    }
};

// What each side's moves earned in a game with this result.
void countResult(BookRecord& record, GameResult result, int mover) {
    if (result == GameResult::draw)
        record.draws = 1;
    else if (result == GameResult::whiteWin)
        (mover == WHITE ? record.wins : record.losses) = 1;
    else if (result == GameResult::blackWin)
        (mover == BLACK ? record.wins : record.losses) = 1;
}

void reportIllegalMove(Board& pos, const PgnGame& game, const char* word, int gameNumber) {
    std::printf("%s", game.header.c_str());
    displayBoard(pos);
    std::printf("Illegal Move: \"%s\" in game: %d\n", word, gameNumber);
}

// Plays the game's moves from the initial position, one record per move,
// up to the first move that cannot be read or played.
bool replayGame(Board& pos, const PgnGame& game, int gameNumber, RecordBlock& block) {
    setInitialBoard(pos);
    for (int ply = 0; ply < game.moveCount; ply++) {
        MoveC parsed;
        parseMove(parsed, pos, game.moves[ply]);
        const Move move = parsed.valid ? findLegalMove(pos, parsed.move) : 0;
        if (!move) {
            reportIllegalMove(pos, game, game.moves[ply], gameNumber);
            return true;
        }
        BookRecord record;
        const uint64_t parentKey = pos.hashKey;
        const int mover = pos.sideToMove;
        makeMove(pos, move, true);
        record.key = bookKey(parentKey, pos.hashKey);
        countResult(record, game.result, mover);
        if (!block.add(record)) return false;
    }
    return true;
}

}  // namespace

BookBuildReport createBook(const char* pgnPath, int blockRecords) {
    BookBuildReport report;
    PgnReader reader;
    if (!reader.open(pgnPath)) return report;

    RecordBlock block(blockRecords);
    auto pos = std::make_unique<Board>();
    auto game = std::make_unique<PgnGame>();
    bool failed = false;
    for (;;) {
        const PgnNext next = reader.next(*game);
        if (next == PgnNext::end) break;
        if (next == PgnNext::headerTooLong) {
            std::printf("not enough space for header\n");
            failed = true;
            break;
        }
        report.games++;
        if (!replayGame(*pos, *game, report.games, block)) {
            failed = true;
            break;
        }
    }
    reader.close();
    if (!failed && !block.records.empty()) failed = !block.writeRun();
    report.runs = block.runs;
    if (failed) {
        removeRunFiles(block.runs);
        return BookBuildReport{0, report.games, report.runs};
    }
    if (block.total == 0) {
        std::printf("\nNo moves to store: book.bin left as it was.\n");
        return report;
    }

    std::printf("\nMerging %d blocks.\n", block.runs);
    if (!mergeRunFiles(block.runs)) return BookBuildReport{0, report.games, report.runs};
    std::printf("Games parsed: %d\n", report.games);
    report.records = block.total;
    return report;
}

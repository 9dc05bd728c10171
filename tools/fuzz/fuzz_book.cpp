// book.bin given to the book: opened, probed along a game, listed ("book
// probe"), reported on ("book info", "book test") and learned into.
//
// A book's index alone is 256 KB, nearly all of it "empty cluster" in a
// small book, and random changes to so large an input would rarely touch
// the records. The input therefore gives the index as changes to an empty
// one, followed by the rest of the file as it stands:
//
//   2 bytes            n, the number of index entries given (little-endian)
//   n x 6 bytes        cluster (2 bytes) and its offset (4 bytes, signed)
//   the rest           the file from offset 262144 on: records and trailer
//
// Any book.bin can be written so, and any input makes a book.bin.
#include <cstring>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "book/book_file.h"
#include "book/book_format.h"
#include "book/book_learn.h"
#include "book/book_maintenance.h"
#include "book/book_probe.h"
#include "book/book_state.h"
#include "search/position.h"
#include "tools/fuzz/fuzz_support.h"

namespace {

constexpr int GAME_PLIES = 16;

std::vector<uint8_t> bookFile(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(BOOK_INDEX_BYTES, 0xFF);
    if (size < 2) return file;
    const size_t given = size_t(data[0] | data[1] << 8);
    size_t at = 2;
    for (size_t i = 0; i < given && at + 6 <= size; i++, at += 6) {
        const int cluster = data[at] | data[at + 1] << 8;
        std::memcpy(&file[size_t(cluster) * 4], data + at + 2, 4);
    }
    file.insert(file.end(), data + at, data + size);
    return file;
}

// The game: the book's move where it has one, else the first legal move.
void playFromBook(Position& pos) {
    for (int ply = 0; ply < GAME_PLIES; ply++) {
        showBookMoves(pos);
        Move move = 0;
        if (probeBook(pos, move) <= 0 || !isLegalMove(move, pos)) {
            Move list[MAX_MOVES];
            Move* end = generateAllMoves(pos, list);
            move = 0;
            for (Move* m = list; m < end && !move; m++)
                if (isLegalMove(*m, pos)) move = *m;
        }
        if (!move) return;
        playGameMove(pos, move);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzStartUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return -1;
    Position& pos = fuzzFreshEngine();
    const std::vector<uint8_t> file = bookFile(data, size);
    fuzzWriteFile(BOOK_FILE_NAME, file.data(), file.size());
    openBook();
    playFromBook(pos);

    // The engine played White in this game: first its scores after the
    // book, then the result, teach the book.
    LearnContext game;
    game.engineColour = WHITE;
    game.engineRating = 2400;
    game.opponentRating = 2500;
    game.gameRecord = &gGame.gameRecord;
    for (int out = 1; out <= LEARN_SLOTS + 1; out++) {
        gBook.missCount = out;
        learnFromGame(game, -120 + 10 * out, 8, 0);
    }
    learnFromResult(game, size % 2 ? "1-0" : "0-1");

    showBookInfo();
    testBookForDuplicates();
    closeBook();
    return 0;
}

// PGN text given to the book builder: the input is the game collection.
// Blocks of a few records make even short inputs go through several run
// files and their merge; the book made is opened and probed.
#include "book/book_create.h"
#include "book/book_file.h"
#include "book/book_probe.h"
#include "search/position.h"
#include "tools/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzStartUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return -1;
    Position& pos = fuzzFreshEngine();
    fuzzWriteFile("games.pgn", data, size);
    if (createBook("games.pgn", 16).records == 0) return 0;
    openBook();
    showBookMoves(pos);
    closeBook();
    return 0;
}

// Tarno Chess: a chess engine for xboard-compatible interfaces and the console.
#include <cstring>

#include "board/attacks.h"
#include "search/benchmark.h"
#include "shell/engine.h"

int main(int argc, char** argv) {
    // "tarno bench": the fixed benchmark search and its node count, as
    // testing frameworks run it to check a build; nothing else is read or
    // started. Any other argument is ignored.
    if (argc > 1 && std::strcmp(argv[1], "bench") == 0) {
        initZobristKeys();
        initBoardTables();
        runAndPrintBenchmark();
        return 0;
    }
    startUp();
    mainLoop();
    shutdown();
}

// EPD test suites: the input is the file given to "evaltest" (every
// position scored, and its mirror) and then to "epdtest" (every position
// searched, its best moves read), each on a fresh engine. Searches get no
// time of their own and stop at the harness's node budget.
#include "search/position.h"
#include "shell/commands.h"
#include "shell/epdtest.h"
#include "shell/evaltest.h"
#include "tools/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzStartUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return -1;
    fuzzFreshEngine();
    fuzzWriteFile("suite.epd", data, size);
    commandEvaltest(fuzzFreshEngine(), 1, "suite.epd");

    Position& pos = fuzzFreshEngine();
    fuzzWriteFile("suite.epd", data, size);
    CommandArgs args;
    splitCommandLine("epdtest suite.epd 0", args);
    commandEpdtest(pos, args);
    return 0;
}

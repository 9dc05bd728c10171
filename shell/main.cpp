// Tarno Chess: a chess engine for xboard-compatible interfaces and the console.
#include "shell/engine.h"

int main() {
    startUp();
    mainLoop();
    shutdown();
}

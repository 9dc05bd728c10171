// The program's spine: start-up, the main loop and shutdown.
#pragma once

// Brings every table and setting into being and prints the banner.
void startUp();
// Reads and executes command lines until "quit" or the end of input.
void mainLoop();
// Frees everything and ends the process with status 0.
[[noreturn]] void shutdown();

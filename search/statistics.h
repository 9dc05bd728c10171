// What the engine reports after each move: the statistics block of the
// search and the line it whispers or kibitzes on a chess server.
#pragma once

#include <cstdint>

struct Position;

// Writes the statistics block into buffer (512 bytes) and prints it unless
// an interface is listening (xboard mode) or a test suite runs.
void printStatistics(const Position& pos, char* buffer, uint32_t now, uint32_t knps);
// The server line; text, when not empty, replaces the search figures.
void kibitzLine(const Position& pos, uint32_t now, int score, uint32_t knps, const char* text);

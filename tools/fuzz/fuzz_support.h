// What every fuzz harness shares: the engine brought up once without the
// console, a private working folder for the files the engine reads and
// writes (Tarno.ini, book.bin, table files), and the reset that gives every
// input a fresh engine, so that a finding reproduces from its one input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Position;

// Searches in the harnesses end after about this many nodes: enough for a
// few iterations under the sanitizers, few enough to try thousands of inputs a minute.
constexpr uint32_t FUZZ_NODE_LIMIT = 500;

// Brings up the engine's tables with small hash tables, silences its
// output, and moves into a fresh temporary folder. The paths among libFuzzer's
// arguments (corpus folders, files to run, the artifact prefix) are made
// absolute first, so that they still name the same files from there; the
// crash files go where the harness was started unless a prefix is given.
void fuzzStartUp(int* argc, char*** argv);

// A fresh engine: start position, empty game, cleared tables, default
// settings, no book, no tablebases, nothing pending on the input, and every
// file the last input left in the working folder removed.
Position& fuzzFreshEngine();

// Writes bytes to a file of the working folder (replacing it).
void fuzzWriteFile(const char* name, const uint8_t* data, size_t size);

// The working folder's absolute path.
const std::string& fuzzFolder();

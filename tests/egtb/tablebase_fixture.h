// Tables generated once per test program, and small file helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh empty directory under /tmp, removed when the program ends.
std::string scratchDirectory();

// A directory holding every three-man table, uncompressed (generated on
// first use).
const std::string& threeManTables();

// The bytes of a file, and writing them back.
std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void copyFile(const std::string& from, const std::string& to);

// Engine square (a8 = 0) of a square name such as "e4".
int engineSquare(const char* name);

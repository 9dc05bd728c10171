// Small file helpers for the tablebase tests; the scratch directories and
// the three-man tables come from the test support.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

// The bytes of a file, and writing them back.
std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void copyFile(const std::string& from, const std::string& to);

// Engine square (a8 = 0) of a square name such as "e4".
int engineSquare(const char* name);

// A table's files: where they lie in a directory, and their contents held
// in memory, read from plain or compressed files and written back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "egtb/tablebase_values.h"

// A table held in memory: the file contents of each side (one for a
// colour-symmetric table), 8-bit or 16-bit entries.
struct MemoryTable {
    int table = 0;
    bool wide = false;
    std::vector<uint8_t> data[2];

    // The tablebase value of an entry (inline: the generator reads its own
    // table this way for every move that stays in it).
    int value(int side, uint32_t index) const {
        const std::vector<uint8_t>& d = data[side];
        if (wide) {
            if (2 * uint64_t(index) + 1 >= d.size()) return TB_NOT_AVAILABLE;
            return int16_t(uint16_t(d[2 * size_t(index)] << 8 | d[2 * size_t(index) + 1]));
        }
        if (index >= d.size()) return TB_NOT_AVAILABLE;
        return valueFromByte(int8_t(d[index]));
    }
};

// The file of a table side: "kqkr.nbw" (White to move) or "kqkr.nbb", with
// ".emd" when compressed.
std::string tablePath(const std::string& directory, int table, int side, bool compressed);

// Whether the directory holds a file, plain or compressed, for every side
// of the table.
bool tableFilesPresent(const std::string& directory, int table);

// Reads every side of a table from its plain or else its compressed file.
// False with `error` empty when a file is missing; false with the reason in
// `error` when a file is there but unusable.
bool readTableFiles(const std::string& directory, int table, MemoryTable& out, std::string& error);

// Writes every side of a table, compressed at zstd level `level` or plain
// (through a temporary file, so that no half-written table is left under
// the table's name). False with the reason in `error` when that fails.
bool writeTableFiles(const std::string& directory, const MemoryTable& table, bool compress, int level,
                     std::string& error);

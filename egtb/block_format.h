// Our compressed table file (".emd"): the table cut into independent blocks
// of 8192 bytes, each compressed on its own with zstd, so one block can be
// read and expanded without touching the rest.
//
// Layout, all numbers little-endian:
//   0   8 bytes   "TarnoTB\1"
//   8   4         block size (8192)
//   12  4         number of blocks
//   16  4         bytes in the last block (1 .. block size)
//   20  4         0
//   24  8 * (n+1) file offset of each compressed block; the last offset is
//                 the file length
//   ...           the blocks: zstd frames with content size and checksum
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint32_t TB_BLOCK_SIZE = 8192;
constexpr size_t EMD_HEADER_BYTES = 24;
// The decode work area holds one compressed block; zstd never writes an
// 8192-byte block into more than this.
constexpr size_t DECODE_INPUT_BYTES = 8296;

// Decoder statuses.
constexpr int DECODE_OK = 0;
constexpr int DECODE_READ_ERROR = 2;
constexpr int DECODE_OUT_OF_MEMORY = 5;
constexpr int DECODE_FILE_BROKEN = 6;

// What a reader keeps of a compressed file.
struct EmdHeader {
    uint32_t blockSize = 0;
    uint32_t blocks = 0;
    uint32_t lastBlockSize = 0;
    uint64_t* offsets = nullptr;  // blocks + 1 entries
};

// Reads and checks the header of an open file; DECODE_OK or a failure
// status. The offsets are allocated here and released by freeEmdHeader.
int readEmdHeader(int fd, EmdHeader& header);
void freeEmdHeader(EmdHeader& header);

// A per-thread decompression work area: the compressed bytes of one block
// and a zstd context that never allocates after it is made.
struct DecodeArea;
DecodeArea* createDecodeArea();
void destroyDecodeArea(DecodeArea* area);

// Expands block `block` of the file into `out` (room for TB_BLOCK_SIZE
// bytes); returns the bytes written, or 0 when the block cannot be read or
// is corrupt.
size_t decodeBlock(int fd, const EmdHeader& header, uint32_t block, DecodeArea* area, uint8_t* out);

// Writes `bytes` bytes of table data as a compressed file. False (with the
// reason in `error`) when the file cannot be written.
bool writeEmdFile(const std::string& path, const uint8_t* data, uint64_t bytes, int level, std::string& error);

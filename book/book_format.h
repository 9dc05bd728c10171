// The opening book file, book.bin, byte for byte. Every build of the engine
// reads every other build's book, so the layout, the byte order and the
// keys are fixed here and nowhere else:
//
//   offset 0       65,536 signed 32-bit offsets, one per cluster (the top
//                  16 bits of a position's hash key): the file offset of
//                  the cluster's first record, or -1 for an empty cluster
//   offset 262144  32-byte records sorted by key as unsigned 64-bit
//                  numbers, so one position's moves lie side by side
//   then           signed 32-bit longest cluster (most distinct keys in one
//                  cluster before the win/loss filter) and the text
//                  "Version: 4.1" with no terminator
//
// All numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int BOOK_CLUSTERS = 65536;
constexpr int64_t BOOK_INDEX_BYTES = BOOK_CLUSTERS * 4;  // 262144
constexpr int BOOK_RECORD_BYTES = 32;
constexpr int32_t NO_CLUSTER = -1;
constexpr const char BOOK_VERSION_TEXT[] = "Version: 4.1";
constexpr int BOOK_VERSION_LENGTH = sizeof BOOK_VERSION_TEXT - 1;
constexpr const char BOOK_FILE_NAME[] = "book.bin";

// One move from one position. `key` holds the top 16 bits of the parent's
// hash key (the cluster) above the low 48 bits of the child's.
struct BookRecord {
    uint64_t key = 0;
    uint32_t wins = 0;    // games the side that made the move went on to win
    uint32_t losses = 0;
    uint32_t draws = 0;
    float learned = 0;    // pawns; learning moves it away from 0
};

constexpr uint64_t LOW_48_BITS = 0x0000FFFFFFFFFFFFull;

constexpr int clusterOf(uint64_t key) { return int(key >> 48); }
constexpr uint64_t bookKey(uint64_t parentKey, uint64_t childKey) {
    return (parentKey & ~LOW_48_BITS) | (childKey & LOW_48_BITS);
}

// The 32 bytes of a record as the file holds them (reserved bytes zero),
// and back.
void encodeRecord(const BookRecord& record, unsigned char* bytes);
BookRecord decodeRecord(const unsigned char* bytes);
void putInt32(unsigned char* bytes, int32_t value);
int32_t getInt32(const unsigned char* bytes);

// The learned value in centipawns, as the probe weighs it. A damaged file
// may hold a value no integer can represent; such values read as 0.
int learnedCentipawns(float learned);

// Binary search of a cluster's records for a key: its index, or -3 when it
// is absent (or the cluster empty), -1 when it is above the last key and
// -2 when below the first.
int findInCluster(const BookRecord* records, int count, uint64_t key);

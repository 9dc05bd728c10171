#include "book/book_format.h"

#include <cmath>
#include <cstring>

namespace {

void putUint32(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; i++) bytes[i] = uint8_t(value >> (8 * i));
}

uint32_t getUint32(const unsigned char* bytes) {
    uint32_t value = 0;
    for (int i = 0; i < 4; i++) value |= uint32_t(bytes[i]) << (8 * i);
    return value;
}

}  // namespace

void putInt32(unsigned char* bytes, int32_t value) { putUint32(bytes, uint32_t(value)); }
int32_t getInt32(const unsigned char* bytes) { return int32_t(getUint32(bytes)); }

void encodeRecord(const BookRecord& record, unsigned char* bytes) {
    putUint32(bytes, uint32_t(record.key));
    putUint32(bytes + 4, uint32_t(record.key >> 32));
    putUint32(bytes + 8, record.wins);
    putUint32(bytes + 12, record.losses);
    putUint32(bytes + 16, record.draws);
    uint32_t learnedBits;
    std::memcpy(&learnedBits, &record.learned, 4);
    putUint32(bytes + 20, learnedBits);
    std::memset(bytes + 24, 0, 8);
}

BookRecord decodeRecord(const unsigned char* bytes) {
    BookRecord record;
    record.key = uint64_t(getUint32(bytes)) | uint64_t(getUint32(bytes + 4)) << 32;
    record.wins = getUint32(bytes + 8);
    record.losses = getUint32(bytes + 12);
    record.draws = getUint32(bytes + 16);
    uint32_t learnedBits = getUint32(bytes + 20);
    std::memcpy(&record.learned, &learnedBits, 4);
    return record;
}

int learnedCentipawns(float learned) {
    float centipawns = learned * 100;
    if (!std::isfinite(centipawns) || std::fabs(centipawns) > 2e9f) return 0;
    return int(centipawns);
}

int findInCluster(const BookRecord* records, int count, uint64_t key) {
    if (count <= 0) return -3;
    if (key > records[count - 1].key) return -1;
    if (key < records[0].key) return -2;
    int low = 0, high = count - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        if (records[middle].key == key) return middle;
        if (records[middle].key < key)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -3;
}

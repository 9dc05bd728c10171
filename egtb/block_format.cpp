#include "egtb/block_format.h"

#define ZSTD_STATIC_LINKING_ONLY  // the static decompression context
#include <zstd.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr char EMD_MAGIC[8] = {'T', 'a', 'r', 'n', 'o', 'T', 'B', 1};

uint32_t readLE32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t readLE64(const uint8_t* p) { return uint64_t(readLE32(p)) | uint64_t(readLE32(p + 4)) << 32; }
void writeLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
void writeLE64(uint8_t* p, uint64_t v) {
    writeLE32(p, uint32_t(v));
    writeLE32(p + 4, uint32_t(v >> 32));
}

// Reads exactly `size` bytes at `offset`.
bool readAt(int fd, void* buffer, size_t size, uint64_t offset) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        ssize_t got = pread(fd, p, size, off_t(offset));
        if (got <= 0) return false;
        p += got;
        size -= size_t(got);
        offset += uint64_t(got);
    }
    return true;
}

bool writeAll(FILE* file, const void* data, size_t size) { return std::fwrite(data, 1, size, file) == size; }

}  // namespace

struct DecodeArea {
    uint8_t input[DECODE_INPUT_BYTES];
    ZSTD_DCtx* context;
    void* workspace;
};

int readEmdHeader(int fd, EmdHeader& header) {
    header = EmdHeader{};
    struct stat info;
    if (fstat(fd, &info) != 0) return DECODE_READ_ERROR;
    const uint64_t fileLength = uint64_t(info.st_size);
    uint8_t fixed[EMD_HEADER_BYTES];
    if (fileLength < EMD_HEADER_BYTES) return DECODE_FILE_BROKEN;
    if (!readAt(fd, fixed, sizeof fixed, 0)) return DECODE_READ_ERROR;
    if (std::memcmp(fixed, EMD_MAGIC, sizeof EMD_MAGIC) != 0) return DECODE_FILE_BROKEN;
    header.blockSize = readLE32(fixed + 8);
    header.blocks = readLE32(fixed + 12);
    header.lastBlockSize = readLE32(fixed + 16);
    if (header.blocks == 0 || header.lastBlockSize == 0 || header.lastBlockSize > header.blockSize)
        return DECODE_FILE_BROKEN;
    // The offset table must fit in the file before we trust its length.
    const uint64_t tableBytes = (uint64_t(header.blocks) + 1) * 8;
    if (fileLength < EMD_HEADER_BYTES + tableBytes) return DECODE_FILE_BROKEN;
    header.offsets = static_cast<uint64_t*>(std::malloc(size_t(tableBytes)));
    if (!header.offsets) return DECODE_OUT_OF_MEMORY;
    std::vector<uint8_t> raw;
    try {
        raw.resize(size_t(tableBytes));
    } catch (const std::bad_alloc&) {
        freeEmdHeader(header);
        return DECODE_OUT_OF_MEMORY;
    }
    if (!readAt(fd, raw.data(), raw.size(), EMD_HEADER_BYTES)) {
        freeEmdHeader(header);
        return DECODE_READ_ERROR;
    }
    uint64_t previous = EMD_HEADER_BYTES + tableBytes;
    for (uint32_t b = 0; b <= header.blocks; b++) {
        uint64_t offset = readLE64(raw.data() + 8 * size_t(b));
        bool fits = b == 0 ? offset == previous : offset > previous && offset - previous <= DECODE_INPUT_BYTES;
        if (!fits || offset > fileLength) {
            freeEmdHeader(header);
            return DECODE_FILE_BROKEN;
        }
        header.offsets[b] = previous = offset;
    }
    if (previous != fileLength) {
        freeEmdHeader(header);
        return DECODE_FILE_BROKEN;
    }
    return DECODE_OK;
}

void freeEmdHeader(EmdHeader& header) {
    std::free(header.offsets);
    header = EmdHeader{};
}

DecodeArea* createDecodeArea() {
    auto* area = static_cast<DecodeArea*>(std::malloc(sizeof(DecodeArea)));
    if (!area) return nullptr;
    const size_t workspaceSize = ZSTD_estimateDCtxSize();
    area->workspace = std::malloc(workspaceSize);
    area->context = area->workspace ? ZSTD_initStaticDCtx(area->workspace, workspaceSize) : nullptr;
    if (!area->context) {
        std::free(area->workspace);
        std::free(area);
        return nullptr;
    }
    return area;
}

void destroyDecodeArea(DecodeArea* area) {
    if (!area) return;
    std::free(area->workspace);
    std::free(area);
}

size_t decodeBlock(int fd, const EmdHeader& header, uint32_t block, DecodeArea* area, uint8_t* out) {
    if (block >= header.blocks || header.blockSize != TB_BLOCK_SIZE) return 0;
    const uint64_t start = header.offsets[block];
    const size_t length = size_t(header.offsets[block + 1] - start);
    if (!readAt(fd, area->input, length, start)) return 0;
    const size_t expected = block + 1 == header.blocks ? header.lastBlockSize : header.blockSize;
    size_t got = ZSTD_decompressDCtx(area->context, out, TB_BLOCK_SIZE, area->input, length);
    if (ZSTD_isError(got) || got != expected) return 0;
    return got;
}

bool writeEmdFile(const std::string& path, const uint8_t* data, uint64_t bytes, int level, std::string& error) {
    if (bytes == 0) {
        error = "empty table";
        return false;
    }
    const uint64_t blocks = (bytes + TB_BLOCK_SIZE - 1) / TB_BLOCK_SIZE;
    if (blocks > 0xFFFFFFFFull) {
        error = "table too large";
        return false;
    }
    ZSTD_CCtx* context = ZSTD_createCCtx();
    if (!context) {
        error = "out of memory";
        return false;
    }
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1);

    std::vector<uint8_t> compressed;
    std::vector<uint64_t> offsets(size_t(blocks) + 1);
    std::vector<uint8_t> buffer(ZSTD_compressBound(TB_BLOCK_SIZE));
    uint64_t offset = EMD_HEADER_BYTES + 8 * (blocks + 1);
    bool ok = true;
    for (uint64_t b = 0; b < blocks && ok; b++) {
        const size_t size = size_t(std::min<uint64_t>(TB_BLOCK_SIZE, bytes - b * TB_BLOCK_SIZE));
        size_t n = ZSTD_compress2(context, buffer.data(), buffer.size(), data + b * TB_BLOCK_SIZE, size);
        if (ZSTD_isError(n) || n > DECODE_INPUT_BYTES) {
            error = ZSTD_isError(n) ? ZSTD_getErrorName(n) : "block does not fit the decode area";
            ok = false;
            break;
        }
        offsets[size_t(b)] = offset;
        offset += n;
        compressed.insert(compressed.end(), buffer.begin(), buffer.begin() + long(n));
    }
    ZSTD_freeCCtx(context);
    if (!ok) return false;
    offsets[size_t(blocks)] = offset;

    uint8_t fixed[EMD_HEADER_BYTES] = {};
    std::memcpy(fixed, EMD_MAGIC, sizeof EMD_MAGIC);
    writeLE32(fixed + 8, TB_BLOCK_SIZE);
    writeLE32(fixed + 12, uint32_t(blocks));
    writeLE32(fixed + 16, uint32_t(bytes - (blocks - 1) * TB_BLOCK_SIZE));
    std::vector<uint8_t> table(8 * offsets.size());
    for (size_t i = 0; i < offsets.size(); i++) writeLE64(table.data() + 8 * i, offsets[i]);

    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        error = "cannot create " + temporary;
        return false;
    }
    ok = writeAll(file, fixed, sizeof fixed) && writeAll(file, table.data(), table.size()) &&
         writeAll(file, compressed.data(), compressed.size());
    ok = (std::fclose(file) == 0) && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

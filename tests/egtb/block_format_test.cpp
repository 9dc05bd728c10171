// Compressed table files: the header, block expansion and damaged files.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "egtb/block_format.h"
#include "egtb/tablebase_fixture.h"

namespace {

// Table-like data: long runs with some noise, three blocks and a bit.
std::vector<uint8_t> sampleData(size_t bytes) {
    std::vector<uint8_t> data(bytes);
    std::mt19937 rng(1);
    for (size_t i = 0; i < bytes; i++) data[i] = uint8_t((i / 700) % 5 == 0 ? rng() : (i / 300) & 0x7f);
    return data;
}

struct OpenFile {
    int fd;
    explicit OpenFile(const std::string& path) : fd(open(path.c_str(), O_RDONLY)) {}
    ~OpenFile() {
        if (fd >= 0) close(fd);
    }
};

int headerStatus(const std::string& path) {
    OpenFile f(path);
    EmdHeader header;
    int status = readEmdHeader(f.fd, header);
    freeEmdHeader(header);
    return status;
}

}  // namespace

TEST(BlockFormat, BlocksExpandToTheOriginalData) {
    const std::string dir = scratchDirectory();
    const std::string path = dir + "/t.emd";
    const std::vector<uint8_t> data = sampleData(3 * TB_BLOCK_SIZE + 1234);
    std::string error;
    ASSERT_TRUE(writeEmdFile(path, data.data(), data.size(), 5, error)) << error;
    EXPECT_LT(readFileBytes(path).size(), data.size());

    OpenFile f(path);
    EmdHeader header;
    ASSERT_EQ(readEmdHeader(f.fd, header), DECODE_OK);
    EXPECT_EQ(header.blockSize, TB_BLOCK_SIZE);
    EXPECT_EQ(header.blocks, 4u);
    EXPECT_EQ(header.lastBlockSize, 1234u);
    DecodeArea* area = createDecodeArea();
    ASSERT_NE(area, nullptr);
    std::vector<uint8_t> block(TB_BLOCK_SIZE);
    // Any block on its own, in any order.
    for (uint32_t b : {2u, 0u, 3u, 1u}) {
        size_t n = decodeBlock(f.fd, header, b, area, block.data());
        ASSERT_EQ(n, b == 3 ? 1234u : TB_BLOCK_SIZE);
        EXPECT_EQ(std::memcmp(block.data(), data.data() + b * TB_BLOCK_SIZE, n), 0) << b;
    }
    EXPECT_EQ(decodeBlock(f.fd, header, 4, area, block.data()), 0u);
    destroyDecodeArea(area);
    freeEmdHeader(header);
}

TEST(BlockFormat, DamagedHeadersAreRefused) {
    const std::string dir = scratchDirectory();
    const std::string good = dir + "/good.emd";
    const std::vector<uint8_t> data = sampleData(2 * TB_BLOCK_SIZE + 10);
    std::string error;
    ASSERT_TRUE(writeEmdFile(good, data.data(), data.size(), 3, error));
    const std::vector<uint8_t> bytes = readFileBytes(good);
    auto variant = [&](const char* name, auto change) {
        std::vector<uint8_t> copy = bytes;
        change(copy);
        std::string path = dir + "/" + name;
        writeFileBytes(path, copy);
        return headerStatus(path);
    };
    EXPECT_EQ(headerStatus(good), DECODE_OK);
    EXPECT_EQ(variant("magic", [](auto& b) { b[0] = 'X'; }), DECODE_FILE_BROKEN);
    EXPECT_EQ(variant("empty", [](auto& b) { b.clear(); }), DECODE_FILE_BROKEN);
    EXPECT_EQ(variant("short", [](auto& b) { b.resize(20); }), DECODE_FILE_BROKEN);
    EXPECT_EQ(variant("noblocks", [](auto& b) { std::memset(&b[12], 0, 4); }), DECODE_FILE_BROKEN);
    // A block count far beyond the file: refused before any allocation.
    EXPECT_EQ(variant("huge", [](auto& b) { std::memset(&b[12], 0xff, 4); }), DECODE_FILE_BROKEN);
    EXPECT_EQ(variant("lastsize", [](auto& b) { b[17] = 0x40; }), DECODE_FILE_BROKEN);
    EXPECT_EQ(variant("truncated", [](auto& b) { b.resize(b.size() - 5); }), DECODE_FILE_BROKEN);
    EXPECT_EQ(variant("offsets", [](auto& b) { b[24] ^= 0x10; }), DECODE_FILE_BROKEN);
    EXPECT_EQ(variant("garbage", [](auto& b) {
                  for (auto& c : b) c = uint8_t(c * 7 + 3);
              }),
              DECODE_FILE_BROKEN);
    // The block size is read as written; the registry refuses other sizes.
    std::vector<uint8_t> other = bytes;
    other[9] = 0x10;  // 4096
    writeFileBytes(dir + "/size", other);
    OpenFile f(dir + "/size");
    EmdHeader header;
    ASSERT_EQ(readEmdHeader(f.fd, header), DECODE_OK);
    EXPECT_EQ(header.blockSize, 4096u);
    freeEmdHeader(header);
}

TEST(BlockFormat, CorruptBlocksFailToExpand) {
    const std::string dir = scratchDirectory();
    const std::string path = dir + "/t.emd";
    const std::vector<uint8_t> data = sampleData(3 * TB_BLOCK_SIZE);
    std::string error;
    ASSERT_TRUE(writeEmdFile(path, data.data(), data.size(), 3, error));
    std::vector<uint8_t> bytes = readFileBytes(path);
    // Damage one byte in the middle of the second block's frame.
    OpenFile clean(path);
    EmdHeader header;
    ASSERT_EQ(readEmdHeader(clean.fd, header), DECODE_OK);
    const uint64_t middle = (header.offsets[1] + header.offsets[2]) / 2;
    bytes[size_t(middle)] ^= 0x5a;
    freeEmdHeader(header);
    writeFileBytes(path, bytes);

    OpenFile f(path);
    ASSERT_EQ(readEmdHeader(f.fd, header), DECODE_OK);
    DecodeArea* area = createDecodeArea();
    std::vector<uint8_t> block(TB_BLOCK_SIZE);
    EXPECT_EQ(decodeBlock(f.fd, header, 0, area, block.data()), TB_BLOCK_SIZE);
    EXPECT_EQ(decodeBlock(f.fd, header, 1, area, block.data()), 0u);
    EXPECT_EQ(decodeBlock(f.fd, header, 2, area, block.data()), TB_BLOCK_SIZE);
    destroyDecodeArea(area);
    freeEmdHeader(header);
}

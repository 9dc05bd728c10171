#include "egtb/table_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "egtb/block_format.h"
#include "egtb/catalogue.h"
#include "egtb/large_arrays.h"

namespace {

int tableSides(int table) { return (tableCatalogue[table].flags & TABLE_SYMMETRIC) ? 1 : 2; }

bool readWholeFile(const std::string& path, std::vector<uint8_t>& data) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fseek(file, 0, SEEK_END);
    long length = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    bool ok = length >= 0;
    if (ok) {
        reserveLarge(data, size_t(length));
        data.resize(size_t(length));
        ok = std::fread(data.data(), 1, data.size(), file) == data.size();
    }
    std::fclose(file);
    return ok;
}

bool readCompressedFile(const std::string& path, std::vector<uint8_t>& data, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    EmdHeader header;
    bool ok = readEmdHeader(fd, header) == DECODE_OK && header.blockSize == TB_BLOCK_SIZE;
    DecodeArea* area = ok ? createDecodeArea() : nullptr;
    if (ok && area) {
        const size_t bytes = size_t(uint64_t(header.blocks - 1) * TB_BLOCK_SIZE + header.lastBlockSize);
        reserveLarge(data, bytes);
        data.assign(bytes, 0);
        std::vector<uint8_t> block(TB_BLOCK_SIZE);
        for (uint32_t b = 0; b < header.blocks && ok; b++) {
            size_t n = decodeBlock(fd, header, b, area, block.data());
            ok = n > 0;
            if (ok) std::memcpy(data.data() + uint64_t(b) * TB_BLOCK_SIZE, block.data(), n);
        }
    }
    if (!ok) error = path + ": unreadable compressed table";
    destroyDecodeArea(area);
    freeEmdHeader(header);
    close(fd);
    return ok && area;
}

bool writePlainFile(const std::string& path, const std::vector<uint8_t>& data, std::string& error) {
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    bool ok = file && std::fwrite(data.data(), 1, data.size(), file) == data.size();
    if (file) ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

std::string tablePath(const std::string& directory, int table, int side, bool compressed) {
    std::string path = directory.empty() ? "" : directory + "/";
    path += tableCatalogue[table].name;
    path += side ? ".nbb" : ".nbw";
    if (compressed) path += ".emd";
    return path;
}

bool tableFilesPresent(const std::string& directory, int table) {
    for (int side = 0; side < tableSides(table); side++)
        if (access(tablePath(directory, table, side, false).c_str(), F_OK) != 0 &&
            access(tablePath(directory, table, side, true).c_str(), F_OK) != 0)
            return false;
    return true;
}

bool readTableFiles(const std::string& directory, int table, MemoryTable& out, std::string& error) {
    const TableInfo& info = tableCatalogue[table];
    out.table = table;
    out.wide = info.flags & TABLE_16BIT;
    for (int side = 0; side < tableSides(table); side++) {
        std::vector<uint8_t>& data = out.data[side];
        if (!readWholeFile(tablePath(directory, table, side, false), data) &&
            !readCompressedFile(tablePath(directory, table, side, true), data, error))
            return false;
        if (data.size() != uint64_t(info.expected[side]) * (out.wide ? 2 : 1)) {
            error = std::string(info.name) + ": table file of the wrong size in " + directory;
            return false;
        }
    }
    return true;
}

bool writeTableFiles(const std::string& directory, const MemoryTable& table, bool compress, int level,
                     std::string& error) {
    for (int side = 0; side < tableSides(table.table); side++) {
        const std::vector<uint8_t>& data = table.data[side];
        const std::string path = tablePath(directory, table.table, side, compress);
        if (compress ? !writeEmdFile(path, data.data(), data.size(), level, error) : !writePlainFile(path, data, error))
            return false;
    }
    return true;
}

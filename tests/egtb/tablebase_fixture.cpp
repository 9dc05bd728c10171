#include "egtb/tablebase_fixture.h"

#include <fstream>
#include <iterator>

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void copyFile(const std::string& from, const std::string& to) { writeFileBytes(to, readFileBytes(from)); }

int engineSquare(const char* name) { return (7 - (name[1] - '1')) * 8 + (name[0] - 'a'); }

#include "egtb/tablebase_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "egtb/catalogue.h"
#include "egtb/generator.h"
#include "support/test_support.h"

namespace {

struct Scratch {
    std::vector<std::string> made;
    ~Scratch() {
        for (const std::string& dir : made) std::filesystem::remove_all(dir);
    }
};
Scratch scratch;

}  // namespace

std::string scratchDirectory() {
    char templ[] = "/tmp/tarno-tb-XXXXXX";
    const char* made = mkdtemp(templ);
    if (!made) {
        ADD_FAILURE() << "mkdtemp failed";
        return "/tmp";
    }
    scratch.made.push_back(made);
    return made;
}

const std::string& threeManTables() {
    static const std::string dir = [] {
        initEngineTables();
        std::string d = scratchDirectory();
        GeneratorOptions options;
        options.directory = d;
        TableStore store(options);
        for (int t = 1; t <= LAST_THREE_MAN_TABLE; t++) {
            std::string error;
            EXPECT_TRUE(store.ensure(t, error)) << error;
        }
        return d;
    }();
    return dir;
}

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

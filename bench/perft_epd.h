// Reading perft reference files: one position a line, its FEN followed by
// ";D<depth> <leaf count>" for each depth. Lines starting with '#' are
// comments.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

struct PerftCase {
    std::string fen;
    std::string comment;  // the comment line just above, if any
    std::vector<std::pair<int, uint64_t>> counts;  // depth, expected leaves
};

inline std::vector<PerftCase> readPerftFile(const std::string& path) {
    std::vector<PerftCase> cases;
    std::ifstream file(path);
    std::string line, comment;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line[0] == '#') {
            comment = line.substr(line.find_first_not_of("# "));
            continue;
        }
        PerftCase entry;
        size_t semicolon = line.find(';');
        entry.fen = line.substr(0, semicolon);
        while (!entry.fen.empty() && entry.fen.back() == ' ') entry.fen.pop_back();
        entry.comment = comment;
        while (semicolon != std::string::npos) {
            size_t next = line.find(';', semicolon + 1);
            std::string field = line.substr(semicolon + 1, next == std::string::npos ? std::string::npos : next - semicolon - 1);
            if (field.size() > 1 && field[0] == 'D') {
                char* end = nullptr;
                long depth = std::strtol(field.c_str() + 1, &end, 10);
                uint64_t count = std::strtoull(end, nullptr, 10);
                entry.counts.emplace_back(int(depth), count);
            }
            semicolon = next;
        }
        cases.push_back(entry);
        comment.clear();
    }
    return cases;
}

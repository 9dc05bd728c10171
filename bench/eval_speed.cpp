// Evaluations per second over a fixed set of positions: the positions of the
// test suites and every position one legal move away from them, scored with
// the widest window. "cold" makes every evaluation compute its pawn
// structure; "warm" finds every structure in the pawn table already.
//
// Usage: eval_speed [epd files...] (default: the files in tests/data)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "eval/evaluate.h"
#include "eval/pawn_table.h"
#include "search/new_game.h"
#include "search/position.h"

namespace {

std::vector<std::string> readFens(const std::string& file) {
    std::vector<std::string> fens;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::string fen = line.substr(0, line.find(';'));
        fen = fen.substr(0, fen.find("bm"));
        fens.push_back(fen);
    }
    return fens;
}

// A root position of the files with its legal moves; the bench evaluates
// the root and, one after another on the same record, each position one
// move on, as a search does.
struct Root {
    Position pos;
    std::vector<Move> moves;
};

std::vector<Root> buildRoots(const std::vector<std::string>& files) {
    std::vector<Root> roots;
    for (const std::string& file : files) {
        for (const std::string& fen : readFens(file)) {
            Root& root = roots.emplace_back();
            if (!beginGame(root.pos, fen.c_str())) {
                roots.pop_back();
                continue;
            }
            root.pos.history[1].castling = root.pos.castling;
            Move moves[MAX_MOVES];
            Move* end = generateAllMoves(root.pos, moves);
            for (Move* m = moves; m < end; ++m) {
                if (!makeMove(root.pos, *m, false)) continue;
                unmakeMove(root.pos);
                root.moves.push_back(*m);
            }
        }
    }
    return roots;
}

inline int scored(Position& pos, bool cold, bool evaluating) {
    if (cold) {
        forgetPawnEntry(pos.pawnKey);
        pos.pawnEntry = PawnEntry{};
    }
    return evaluating ? evaluate(pos, -10000, 10000) : 0;
}

// One pass over every root and its children; returns the seconds taken and
// counts the positions visited.
double pass(std::vector<Root>& roots, bool cold, bool evaluating, long long& checksum, long long& visited) {
    auto start = std::chrono::steady_clock::now();
    for (Root& root : roots) {
        checksum += scored(root.pos, cold, evaluating);
        for (Move m : root.moves) {
            makeMove(root.pos, m, true);
            checksum += scored(root.pos, cold, evaluating);
            unmakeMove(root.pos);
        }
        visited += 1 + static_cast<long long>(root.moves.size());
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) files.push_back(argv[i]);
    if (files.empty()) {
        for (const char* name : {"bratko-kopec.epd", "wac-001-100.epd", "perft.epd"})
            files.push_back(std::string(TARNO_SOURCE_DIR) + "/tests/data/" + name);
    }
    initZobristKeys();
    initBoardTables();
    allocatePawnTable(8u << 20);
    std::vector<Root> roots = buildRoots(files);
    if (roots.empty()) {
        std::fprintf(stderr, "no positions\n");
        return 1;
    }
    // Prepared once, for the first position; the phase tables stay fixed for
    // the run, as they do during one search.
    prepareEvaluation(roots.front().pos);

    // The time of the same walk without evaluating (make, unmake, and for
    // "cold" the emptied pawn slot) is taken off each measurement.
    long long checksum = 0, visited = 0;
    constexpr int ROUNDS = 15;
    std::vector<double> cold, warm;
    for (int round = 0; round < ROUNDS; ++round) {
        long long n = 0;
        double walkCold = pass(roots, true, false, checksum, n);
        n = 0;
        double coldTime = pass(roots, true, true, checksum, n);
        cold.push_back(double(n) / (coldTime - walkCold));
        pass(roots, false, true, checksum, n);  // fills the table for the warm pass
        n = 0;
        double walkWarm = pass(roots, false, false, checksum, n);
        n = 0;
        double warmTime = pass(roots, false, true, checksum, n);
        warm.push_back(double(n) / (warmTime - walkWarm));
        visited = n;
    }
    std::printf("positions: %lld\n", visited);
    std::printf("cold pawn table: %.0f evaluations/s (median of %d)\n", median(cold), ROUNDS);
    std::printf("warm pawn table: %.0f evaluations/s (median of %d)\n", median(warm), ROUNDS);
    std::printf("checksum: %lld\n", checksum);
    return 0;
}

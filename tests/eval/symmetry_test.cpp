// The evaluation is colour-blind: a position and its colour-reversed mirror
// (board flipped top to bottom, colours and side to move exchanged) score
// the same for the side to move. Checked on every test-suite position and on
// every position one move away from them, with the engine playing either
// colour or none.
#include <fstream>
#include <vector>

#include "eval_fixture.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "shell/evaltest.h"

namespace {

std::vector<std::string> fensOf(const std::string& file) {
    std::vector<std::string> fens;
    std::ifstream in(testDataPath(file));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::string fen = line.substr(0, line.find(';'));
        size_t bm = fen.find("bm");
        if (bm != std::string::npos) fen = fen.substr(0, bm);
        fens.push_back(fen);
    }
    return fens;
}

class Symmetry : public EvalTest {
protected:
    Position mirror;
    Position copy;

    // The mirror is evaluated for the mirrored engine colour, as evaltest does.
    void expectSymmetric(const Position& pos, const std::string& what) {
        copy = pos;
        mirrorPosition(copy, mirror);
        int engine = gGame.engineSide;
        int score = consoleEvaluation(copy);
        if (engine >= 0) gGame.engineSide = engine ^ 1;
        int mirrored = consoleEvaluation(mirror);
        gGame.engineSide = engine;
        EXPECT_EQ(score, mirrored) << what << " engine side " << engine;
    }

    void checkFile(const std::string& file) {
        bool sanitized = std::getenv("TARNO_SANITIZED") != nullptr;
        int checked = 0;
        for (const std::string& fen : fensOf(file)) {
            auto pos = positionFromFen(fen);
            for (int engine : {-1, 0, 1}) {
                gGame.engineSide = engine;
                expectSymmetric(*pos, fen);
                if (sanitized && engine != -1) continue;
                // And one move further, along every legal move.
                Move moves[MAX_MOVES];
                Move* end = generateAllMoves(*pos, moves);
                for (Move* m = moves; m < end; ++m) {
                    if (!makeMove(*pos, *m, false)) continue;
                    expectSymmetric(*pos, fen + " after a move");
                    unmakeMove(*pos);
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 100) << file;
        gGame.engineSide = -1;
    }
};

TEST_F(Symmetry, BratkoKopec) { checkFile("bratko-kopec.epd"); }
TEST_F(Symmetry, WinAtChess) { checkFile("wac-001-100.epd"); }
TEST_F(Symmetry, PerftPositions) { checkFile("perft.epd"); }

}  // namespace

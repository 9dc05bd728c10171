// wdl_fit - the model behind UCI_ShowWDL: how often the side to move wins,
// draws and loses at a given score, fitted on real games.
//
// Every game of a PGN file (xz-compressed or plain) is played through; at
// every fifth ply from 20 to 100 the engine's quiescence score of the
// position is taken from the side to move's view, with the game's result
// from the same side and the position's material phase (knights and bishops
// 1, rooks 2, queens 4: 24 at the start). Per phase group the model
//     win  = 1 / (1 + exp(-(s - a) / b))
//     loss = 1 / (1 + exp(-(-s - a) / b))
//     draw = 1 - win - loss
// is fitted by maximum likelihood on the even-numbered games, and measured
// on the odd ones: log loss and Brier score against the plain frequencies,
// and the predicted against the observed win and draw shares by score band.
// The a and b printed go into search/win_draw_loss.cpp.
//
// Usage: wdl_fit [pgn(.xz)] [every n-th game]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/new_game.h"
#include "search/search.h"
#include "search/search_request.h"
#include "search/transposition.h"
#include "search/win_draw_loss.h"
#include "eval/pawn_table.h"

namespace {

// An odd step: both sides are to move in turn, so that White's edge of the
// first move falls on neither side of the model.
constexpr int FIRST_PLY = 20, LAST_PLY = 100, PLY_STEP = 5;
// Scores are kept in buckets of 10 centipawns up to +-20 pawns: beyond
// that a game is decided for the model's purpose.
constexpr int BUCKET = 10, MAX_SCORE = 2000, BUCKETS = 2 * MAX_SCORE / BUCKET + 1;

struct Counts {
    double w[BUCKETS] = {}, d[BUCKETS] = {}, l[BUCKETS] = {};
};
// [half][phase group]: half 0 fits, half 1 measures.
Counts gCounts[2][WDL_PHASE_GROUPS];

int bucketOf(int score) { return (std::clamp(score, -MAX_SCORE, MAX_SCORE) + MAX_SCORE) / BUCKET; }
int scoreOf(int bucket) { return bucket * BUCKET - MAX_SCORE; }

double sigmoid(double x) { return 1.0 / (1.0 + std::exp(-x)); }

struct Model {
    double a, b;
    void predict(int s, double& w, double& d, double& l) const {
        w = sigmoid((s - a) / b);
        l = sigmoid((-s - a) / b);
        d = std::max(1e-9, 1.0 - w - l);
        w = std::max(1e-9, w);
        l = std::max(1e-9, l);
    }
};

double logLikelihood(const Counts& c, const Model& m) {
    double sum = 0;
    for (int i = 0; i < BUCKETS; i++) {
        if (c.w[i] + c.d[i] + c.l[i] == 0) continue;
        double w, d, l;
        m.predict(scoreOf(i), w, d, l);
        sum += c.w[i] * std::log(w) + c.d[i] * std::log(d) + c.l[i] * std::log(l);
    }
    return sum;
}

// A coarse grid, then ever finer ones around the best point: two
// parameters and a few hundred buckets need nothing cleverer.
Model fit(const Counts& c) {
    Model best{100, 100};
    double bestValue = -1e300;
    double stepA = 25, stepB = 25;
    double lowA = 0, highA = 800, lowB = 10, highB = 800;
    for (int round = 0; round < 6; round++) {
        for (double a = lowA; a <= highA; a += stepA)
            for (double b = lowB; b <= highB; b += stepB) {
                const double v = logLikelihood(c, Model{a, b});
                if (v > bestValue) bestValue = v, best = Model{a, b};
            }
        lowA = std::max(0.0, best.a - 2 * stepA), highA = best.a + 2 * stepA;
        lowB = std::max(1.0, best.b - 2 * stepB), highB = best.b + 2 * stepB;
        stepA /= 5, stepB /= 5;
    }
    return best;
}

// A SAN move of the game, or 0 when it is none here.
Move readMove(Position& pos, const char* text) {
    MoveC parsed;
    parseMove(parsed, pos, text);
    if (!parsed.valid || !isLegalMove(parsed.move, pos)) return 0;
    return parsed.move;
}

int resultForMover(const std::string& result, int side) {
    if (result == "1/2-1/2") return 0;
    const int white = result == "1-0" ? 1 : -1;
    return side == WHITE ? white : -white;
}

struct Sample {
    int score, phase;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "../shared/data/pgn/games-145k.pgn.xz";
    const int every = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    initZobristKeys();
    initBoardTables();
    if (!allocateTranspositionTable(16u << 20) || !allocatePawnTable(8u << 20)) return 1;

    const bool compressed = path.size() > 3 && path.compare(path.size() - 3, 3, ".xz") == 0;
    const std::string command = (compressed ? "xz -dc '" : "cat '") + path + "'";
    std::FILE* in = popen(command.c_str(), "r");
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }

    auto pos = std::make_unique<Position>();
    std::vector<std::string> words;
    std::vector<Sample> samples;
    long games = 0, used = 0, positions = 0, broken = 0;
    char line[65536];
    auto finishGame = [&](const std::string& result) {
        const long number = games++;
        if (number % every != 0 || words.empty()) return;
        beginGame(*pos, nullptr, StoredResults::Aged);
        samples.clear();
        int ply = 0;
        std::vector<int> movers;
        for (const std::string& w : words) {
            const Move m = readMove(*pos, w.c_str());
            if (!m) {
                broken++;
                break;
            }
            pos->historyCount = 0;
            makeMove(*pos, m, true);
            pos->historyCount = 1;
            ply++;
            if (ply > LAST_PLY) break;
            if (ply < FIRST_PLY || ply % PLY_STEP != 0) continue;
            SearchRequest request;
            prepareSearch(*pos, request);
            const int score = quiesce(*pos, -MATE, MATE);
            samples.push_back({score, materialPhase(*pos)});
            movers.push_back(pos->sideToMove);
        }
        const int half = int(number / every) % 2;
        for (size_t i = 0; i < samples.size(); i++) {
            Counts& c = gCounts[half][wdlPhaseGroup(samples[i].phase)];
            const int b = bucketOf(samples[i].score);
            const int r = resultForMover(result, movers[i]);
            (r > 0 ? c.w : r < 0 ? c.l : c.d)[b] += 1;
            positions++;
        }
        used++;
    };
    std::string result;
    bool inMoves = false;
    while (std::fgets(line, sizeof line, in)) {
        if (line[0] == '[') {
            if (inMoves) {  // a game without its result token
                words.clear();
                inMoves = false;
            }
            continue;
        }
        for (char* t = std::strtok(line, " \t\r\n"); t; t = std::strtok(nullptr, " \t\r\n")) {
            std::string w = t;
            if (w == "1-0" || w == "0-1" || w == "1/2-1/2" || w == "*") {
                if (w != "*") finishGame(w);
                else games++;
                words.clear();
                inMoves = false;
                continue;
            }
            inMoves = true;
            // "12." and "12...": move numbers, also glued to the move.
            const size_t dot = w.find_last_of('.');
            if (dot != std::string::npos) w = w.substr(dot + 1);
            if (!w.empty() && !std::isdigit(static_cast<unsigned char>(w[0]))) words.push_back(w);
        }
    }
    pclose(in);

    std::printf("%ld games read, %ld used (every %d), %ld positions at plies %d-%d step %d, %ld games cut short "
                "by an unreadable move\n",
                games, used, every, positions, FIRST_PLY, LAST_PLY, PLY_STEP, broken);
    std::printf("group  phases  fit positions  a       b       test positions  logloss  (base)   brier   (base)\n");
    for (int g = 0; g < WDL_PHASE_GROUPS; g++) {
        const Model m = fit(gCounts[0][g]);
        const Counts& t = gCounts[1][g];
        double n = 0, nw = 0, nd = 0, nl = 0, fitN = 0;
        for (int i = 0; i < BUCKETS; i++) {
            nw += t.w[i], nd += t.d[i], nl += t.l[i];
            fitN += gCounts[0][g].w[i] + gCounts[0][g].d[i] + gCounts[0][g].l[i];
        }
        n = nw + nd + nl;
        if (n == 0) continue;
        // The base: the group's plain frequencies, whatever the score.
        const double fw = nw / n, fd = nd / n, fl = nl / n;
        double logloss = 0, base = 0, brier = 0, baseBrier = 0;
        for (int i = 0; i < BUCKETS; i++) {
            double w, d, l;
            m.predict(scoreOf(i), w, d, l);
            logloss -= t.w[i] * std::log(w) + t.d[i] * std::log(d) + t.l[i] * std::log(l);
            base -= t.w[i] * std::log(fw) + t.d[i] * std::log(fd) + t.l[i] * std::log(fl);
            auto sq = [](double x) { return x * x; };
            brier += t.w[i] * (sq(1 - w) + sq(d) + sq(l)) + t.d[i] * (sq(w) + sq(1 - d) + sq(l)) +
                     t.l[i] * (sq(w) + sq(d) + sq(1 - l));
            baseBrier += t.w[i] * (sq(1 - fw) + sq(fd) + sq(fl)) + t.d[i] * (sq(fw) + sq(1 - fd) + sq(fl)) +
                         t.l[i] * (sq(fw) + sq(fd) + sq(1 - fl));
        }
        std::printf("%5d  %2d-%2d   %13.0f  %6.1f  %6.1f  %14.0f  %7.4f  %7.4f  %6.4f  %6.4f\n", g,
                    wdlPhaseGroupLow(g), wdlPhaseGroupHigh(g), fitN, m.a, m.b, n, logloss / n, base / n, brier / n,
                    baseBrier / n);
        // Calibration on the test half, by score band.
        const int bands[] = {-2000, -300, -150, -75, -25, 25, 75, 150, 300, 2001};
        for (int k = 0; k + 1 < int(sizeof bands / sizeof bands[0]); k++) {
            double cw = 0, cd = 0, cn = 0, pw = 0, pd = 0;
            for (int i = 0; i < BUCKETS; i++) {
                const int s = scoreOf(i);
                if (s < bands[k] || s >= bands[k + 1]) continue;
                const double c = t.w[i] + t.d[i] + t.l[i];
                double w, d, l;
                m.predict(s, w, d, l);
                cw += t.w[i], cd += t.d[i], cn += c, pw += w * c, pd += d * c;
            }
            if (cn < 1) continue;
            std::printf("         score %5d..%5d: %7.0f positions, win %.3f predicted %.3f, draw %.3f predicted %.3f\n",
                        bands[k], bands[k + 1] - 1, cn, cw / cn, pw / cn, cd / cn, pd / cn);
        }
    }
    return 0;
}

#include "book/book_learn.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "board/makemove.h"
#include "book/book_file.h"
#include "book/book_moves.h"
#include "book/book_replay.h"
#include "book/book_state.h"

BookLearning gBookLearning;

namespace {

// How much one game says, by the rating difference in steps of 200 points
// from "engine 1000 or more below" to "engine 1000 or more above": a loss
// to a much weaker opponent teaches most, a game against a far stronger
// one nothing.
constexpr double ratingFactor[11] = {0.25, 0.2, 0.15, 0.1, 0.05, 0.025, 0.012, 0.006, 0.003, 0.001, 0.0};

constexpr int MAX_LEARN_SCORE = 600;
constexpr int MAX_LEARN_DEPTH = 19;
constexpr int RESULT_VALUE = 300;   // a won or lost game
constexpr int DRAW_VALUE = 50;      // a draw against a clearly different opponent
constexpr int LEARN_PLIES = 512;    // plies of a game the learning looks at
constexpr int MAX_CLUSTER_FOR_LEARNING = 99999;
// A book move counts as a real alternative while its learned value is
// above this (pawns).
constexpr float ALTERNATIVE_LEARNED = -0.8f;

// The score and depth to learn from once the tenth search after the book
// is done. A game that ended its opening phase at its best (the highest
// score came at or after the lowest) learns that best score; one that ended
// at its worst learns the worst; an up-and-down one learns the average.
void chooseFromSlots(int givenDepth, int& score, int& depth) {
    const int* s = gBookLearning.slotScore;
    const int* d = gBookLearning.slotDepth;
    int highSlot = 1, lowSlot = 1;
    for (int i = 2; i <= LEARN_SLOTS; i++) {
        if (s[i] > s[highSlot]) highSlot = i;
        if (s[i] < s[lowSlot]) lowSlot = i;
    }
    const int high = s[highSlot], low = s[lowSlot];
    const int lowAfterHigh = *std::min_element(s + highSlot, s + LEARN_SLOTS + 1);
    const int highAfterLow = *std::max_element(s + lowSlot, s + LEARN_SLOTS + 1);
    auto deepestScoring = [&](int value) {
        int deepest = givenDepth;
        for (int i = 1; i <= LEARN_SLOTS; i++)
            if (s[i] == value) deepest = std::max(deepest, d[i]);
        return deepest;
    };
    if (high == highAfterLow) {
        score = high;
        depth = deepestScoring(high);
    } else if (low == lowAfterHigh) {
        score = low;
        depth = deepestScoring(low);
    } else {
        int scoreSum = 0, depthSum = 0;
        for (int i = 1; i <= LEARN_SLOTS; i++) {
            scoreSum += s[i];
            depthSum += d[i];
        }
        score = scoreSum / LEARN_SLOTS;
        depth = depthSum / LEARN_SLOTS;
    }
}

// One learning pass over the game: the book is open for reading and, once
// the first record is to change, for writing.
struct LearningPass {
    int readFd = -1;
    int writeFd = -1;
    bool stopped = false;

    ~LearningPass() {
        if (readFd >= 0) close(readFd);
        if (writeFd >= 0) close(writeFd);
    }

    bool openForWriting() {
        if (writeFd >= 0) return true;
        writeFd = open(BOOK_FILE_NAME, O_RDWR);
        if (writeFd >= 0) return true;
        if (!gBookLearning.reportedUnwritable)
            std::printf("Could not open %s for writing (%s): the book does not learn\n", BOOK_FILE_NAME,
                        std::strerror(errno));
        gBookLearning.reportedUnwritable = true;
        stopped = true;
        return false;
    }

    // The position's cluster in the cluster buffer: its record count, or -1
    // when it could not be read (reported; the pass stops).
    int readPositionCluster(const Board& pos, int ply) {
        const int c = clusterOfPosition(pos);
        if (gOpeningBook.index[c] == NO_CLUSTER) return 0;
        ClusterReadFailure failure;
        const int count = readCluster(readFd, c, failure);
        if (count >= 0) return count;
        std::fprintf(stderr, "Expected: %d bytes, read: %ld on move %d\n", BOOK_RECORD_BYTES, failure.bytesRead,
                     ply);
        std::fprintf(stderr, "Index: %d bookfile.tellp() = %lld\n", gOpeningBook.index[c],
                     (long long)lseek(readFd, 0, SEEK_CUR));
        if (failure.endOfFile)
            std::fprintf(stderr, "End of file reached.\n");
        else
            std::fprintf(stderr, "File error: failbit set - error code: %d\n", failure.error);
        stopped = true;
        return -1;
    }

    // The number of book moves the engine could have chosen from here.
    int choiceCount(Board& pos, int ply) {
        const int count = readPositionCluster(pos, ply);
        if (count <= 0) return 0;
        BookMove found[MAX_MOVES];
        const int moves = bookMovesInCluster(pos, count, found);
        int choices = 0;
        for (int i = 0; i < moves; i++) choices += found[i].record.learned > ALTERNATIVE_LEARNED;
        return choices;
    }

    bool update(Board& pos, Move move, float delta, int ply) {
        const int count = readPositionCluster(pos, ply);
        if (count <= 0) return false;
        const int c = clusterOfPosition(pos);
        const uint64_t parentKey = pos.hashKey;
        makeMove(pos, move, true);
        const uint64_t key = bookKey(parentKey, pos.hashKey);
        unmakeMove(pos);
        const int at = findInCluster(gOpeningBook.cluster.data(), count, key);
        if (at < 0 || !openForWriting()) return false;

        BookRecord record = gOpeningBook.cluster[size_t(at)];
        record.learned = record.learned != 0 ? (delta + record.learned) * 0.5f : delta;
        unsigned char bytes[BOOK_RECORD_BYTES];
        encodeRecord(record, bytes);
        // One write of the whole record at its own offset: the rest of the
        // file is never touched, whatever happens to this write.
        if (pwrite(writeFd, bytes, sizeof bytes, recordOffset(c, at)) != BOOK_RECORD_BYTES) {
            std::printf("Didn't write correctly\n");
            return false;
        }
        gOpeningBook.cluster[size_t(at)] = record;
        return true;
    }
};

// The moves of the game that the replay can follow: up to the first move
// that is not legal in the replayed position (never, for a game the shell
// kept), at most LEARN_PLIES.
int replayableMoves(const std::vector<HistoryEntry>& record) {
    return int(std::min<size_t>(record.size(), LEARN_PLIES));
}

// Spreads `value` (centipawns) over the engine's book moves of the game.
void learnAlongGame(const LearnContext& game, int value) {
    if (game.setUpPosition || !game.gameRecord || gOpeningBook.disabled) return;
    if (game.engineColour != WHITE && game.engineColour != BLACK) return;
    if (gOpeningBook.longestCluster <= 0) {
        std::fprintf(stderr, "max_cluster_len = %d\n", gOpeningBook.longestCluster);
        return;
    }
    if (gOpeningBook.longestCluster > MAX_CLUSTER_FOR_LEARNING) {
        std::fprintf(stderr, "Error, block size too small.\n");
        return;
    }
    LearningPass pass;
    pass.readFd = openBookForReading();
    if (pass.readFd < 0) return;

    const std::vector<HistoryEntry>& record = *game.gameRecord;
    const int plies = replayableMoves(record);
    auto pos = std::make_unique<Board>();

    // First replay: where did the engine have a real choice?
    int choices[LEARN_PLIES] = {};
    int played = 0;
    setInitialBoard(*pos);
    for (; played < plies && !pass.stopped; played++) {
        const Move move = findLegalMove(*pos, record[size_t(played)].move);
        if (!move) break;
        if (pos->sideToMove == game.engineColour) choices[played] = pass.choiceCount(*pos, played + 1);
        advancePosition(*pos, move);
    }
    if (pass.stopped) return;

    // The last choice point takes the whole value, earlier ones a share in
    // proportion, moves before the first choice nothing.
    int choicePoints = 0;
    for (int ply = 0; ply < played; ply++) choicePoints += choices[ply] > 1;
    choicePoints = std::max(choicePoints, 1);
    float delta[LEARN_PLIES] = {};
    int seen = 0;
    for (int ply = 0; ply < played; ply++) {
        seen += choices[ply] > 1;
        delta[ply] = float(seen) * (float(value) / 100.0f) / float(choicePoints);
    }

    // Second replay: every book move the engine played learns its share.
    setInitialBoard(*pos);
    for (int ply = 0; ply < played && !pass.stopped; ply++) {
        const Move move = record[size_t(ply)].move;
        if (pos->sideToMove == game.engineColour) pass.update(*pos, move, delta[ply], ply + 1);
        advancePosition(*pos, move);
    }
}

}  // namespace

int learnValue(int score, int depth, int engineRating, int opponentRating) {
    const int step = std::clamp((engineRating - opponentRating) / 200, -5, 5);
    return int(double(std::clamp(score, -MAX_LEARN_SCORE, MAX_LEARN_SCORE)) *
               double(std::clamp(depth, 0, MAX_LEARN_DEPTH)) * ratingFactor[step + 5]);
}

void learnFromGame(const LearnContext& game, int score, int depth, int mode) {
    if (gBookLearning.disabled) return;
    const int movesOutOfBook = gBook.missCount;
    if (mode == 0) {
        if (movesOutOfBook <= LEARN_SLOTS) {
            if (movesOutOfBook > 0) {
                gBookLearning.slotScore[movesOutOfBook] = score;
                gBookLearning.slotDepth[movesOutOfBook] = depth;
            }
            return;
        }
        if (movesOutOfBook != LEARN_SLOTS + 1) return;
        chooseFromSlots(depth, score, depth);
    }
    learnAlongGame(game, learnValue(score, depth, game.engineRating, game.opponentRating));
}

void learnFromResult(const LearnContext& game, const char* result) {
    int value;
    if (std::strcmp(result, "1-0") == 0 || std::strcmp(result, "0-1") == 0) {
        if (game.engineColour != WHITE && game.engineColour != BLACK) return;
        const bool whiteWon = result[0] == '1';
        value = whiteWon == (game.engineColour == WHITE) ? RESULT_VALUE : -RESULT_VALUE;
    } else if (std::strcmp(result, "1/2-1/2") == 0) {
        // A draw against a stronger opponent is a good result, against a
        // weaker one a poor one.
        const int difference = game.opponentRating - game.engineRating;
        value = std::abs(difference) < 50 ? 0 : difference > 100 ? DRAW_VALUE : -DRAW_VALUE;
    } else {
        std::printf("Could not determine result from %s\n", result);
        return;
    }
    learnFromGame(game, value, LEARN_RESULT_DEPTH, 1);
}

bool updateBookRecord(Board& pos, Move move, float delta) {
    if (gOpeningBook.disabled) return false;
    LearningPass pass;
    pass.readFd = openBookForReading();
    if (pass.readFd < 0) return false;
    return pass.update(pos, move, delta, 0);
}

#include "book/book_probe.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "board/makemove.h"
#include "board/notation.h"
#include "book/book_file.h"
#include "book/book_moves.h"
#include "book/book_state.h"

namespace {

// After this many fruitless probes in a row the engine has left the book
// for this game; it is not read again until a new game or a book move.
constexpr int MISSES_BEFORE_LEAVING = 3;
// A move whose learned value fell to -3 pawns or below is never played.
constexpr int EXCLUDED_LEARNED = -299;

// Weights only favour: every candidate weighs a little over 1, and the
// excess reflects how often the move was played (up to 1/1000) and how well
// it has done for the engine (up to 1/500).
struct Weighing {
    int maxGames = -99999;
    int maxLearned = -99999;
    int minLearned = 99999;

    void see(const BookMove& found) {
        maxGames = std::max(maxGames, found.games());
        maxLearned = std::max(maxLearned, found.learned());
        minLearned = std::min(minLearned, found.learned());
    }
    float weight(const BookMove& found) const {
        float w = 1;
        if (maxGames > 0) w += float(found.games()) / (1000.0f * float(maxGames));
        if (minLearned < maxLearned)
            w += float(found.learned() - minLearned) / (500.0f * float(maxLearned - minLearned));
        return w;
    }
};

struct Candidate {
    BookMove found;
    float weight;
    float share;  // per cent of the choice
};

// Highest weight first; equal weights keep the order the moves were
// generated in.
void sortByWeight(Candidate* candidates, int count) {
    for (int pass = 0; pass < count - 1; pass++)
        for (int i = 0; i < count - 1 - pass; i++)
            if (candidates[i + 1].weight > candidates[i].weight) std::swap(candidates[i], candidates[i + 1]);
}

std::string sanOf(Board& pos, Move move) {
    MoveC text(move);
    return moveToSan(text, pos);
}

// The moves the book may choose among (a move that has learned it loses
// is never played), highest weight first, each with its share of the
// choice. Returns how many.
int weighCandidates(const BookMove* found, int count, Candidate* candidates) {
    Weighing weighing;
    int candidateCount = 0;
    for (int i = 0; i < count; i++) {
        weighing.see(found[i]);
        if (found[i].learned() >= EXCLUDED_LEARNED) candidates[candidateCount++] = {found[i], 0, 0};
    }
    float excessSum = 0;
    for (int i = 0; i < candidateCount; i++) {
        candidates[i].weight = weighing.weight(candidates[i].found);
        excessSum += candidates[i].weight - 1;
    }
    sortByWeight(candidates, candidateCount);
    for (int i = 0; i < candidateCount; i++)
        candidates[i].share = excessSum > 0 ? (candidates[i].weight - 1) * 100 / excessSum : 0;
    return candidateCount;
}

}  // namespace

int probeBook(Board& pos, Move& move) {
    move = 0;
    if (gOpeningBook.disabled) return BOOK_DISABLED;
    if (gBook.missCount > MISSES_BEFORE_LEAVING) return BOOK_LEFT;

    BookMove found[MAX_MOVES];
    int count = 0;
    switch (readBookMoves(pos, found, count)) {
        case BookRead::ok: break;
        case BookRead::noCluster:
        case BookRead::noFile: gBook.missCount++; return 0;
        case BookRead::readError: return 0;
    }

    Candidate candidates[MAX_MOVES];
    const int candidateCount = weighCandidates(found, count, candidates);
    if (candidateCount == 0) {
        gBook.missCount++;
        return 0;
    }
    gBook.missCount = 0;

    std::string text;
    for (int i = 0; i < candidateCount; i++) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%s(%i%%) ", sanOf(pos, candidates[i].found.move).c_str(),
                      int(candidates[i].share));
        text += entry;
    }
    gOpeningBook.moveText = text;
    move = candidates[0].found.move;
    return candidateCount;
}

void showBookMoves(Board& pos) {
    if (gOpeningBook.disabled) {
        std::printf("NoBook\n");
        return;
    }
    BookMove found[MAX_MOVES];
    int count = 0;
    if (readBookMoves(pos, found, count, "Could not open book.bin") != BookRead::ok) return;

    Weighing weighing;
    for (int i = 0; i < count; i++) {
        const BookMove& move = found[i];
        std::printf("Book Move: %s won:%u lost:%u learned:%i\n", sanOf(pos, move.move).c_str(), move.record.wins,
                    move.record.losses, move.learned());
        weighing.see(move);
    }
    std::string line = "book moves: ";
    for (int i = 0; i < count; i++) {
        char entry[48];
        std::snprintf(entry, sizeof entry, " %s(%f)", sanOf(pos, found[i].move).c_str(), weighing.weight(found[i]));
        line += entry;
    }
    std::printf("%s\n", line.c_str());
}

int bookMoveShares(Board& pos, BookShare* shares) {
    if (gOpeningBook.disabled) return 0;
    BookMove found[MAX_MOVES];
    int count = 0;
    if (readBookMoves(pos, found, count) != BookRead::ok) return 0;
    Candidate candidates[MAX_MOVES];
    const int candidateCount = weighCandidates(found, count, candidates);
    for (int i = 0; i < candidateCount; i++) shares[i] = {candidates[i].found.move, int(candidates[i].share)};
    return candidateCount;
}

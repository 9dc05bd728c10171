// Book learning: the engine's own games adjust the learned values of the
// book moves it played, so that lines that led to bad positions or lost
// games are chosen less often, and at -3 pawns not at all.
//
// Two things teach: the scores of the first ten searches after the engine
// left the book (how the opening turned out), and the game's result. The
// value learned is spread over the engine's book moves, the last move at
// which the engine had a real choice taking all of it.
#pragma once

#include <vector>

#include "board/board.h"

// What the book needs to know about the game being played; the shell
// fills it in.
struct LearnContext {
    int engineColour = -1;  // the colour the engine plays: 0 White, 1 Black, -1 none
    int engineRating = 0;
    int opponentRating = 0;
    bool setUpPosition = false;  // the game did not start from the initial position
    const std::vector<HistoryEntry>* gameRecord = nullptr;  // the moves of the game, in order
};

constexpr int LEARN_SLOTS = 10;
constexpr int LEARN_RESULT_DEPTH = 65;

struct BookLearning {
    bool disabled = false;
    // Score and depth of the searches made 1 .. 10 moves after leaving the
    // book (index 0 unused). They keep their values until overwritten.
    int slotScore[LEARN_SLOTS + 1] = {};
    int slotDepth[LEARN_SLOTS + 1] = {};
    // A book that cannot be written is reported once, then left alone.
    bool reportedUnwritable = false;
};
extern BookLearning gBookLearning;

// The value a score teaches: weighted by the depth that found it and by how
// much a game against this opponent says (more when the opponent is the
// stronger), in centipawns.
int learnValue(int score, int depth, int engineRating, int opponentRating);

// mode 0: after a search, with its score and depth (also -300 on a console
// resignation and +300 on a mate announcement); it is stored while the
// engine is within ten moves of leaving the book and learned from at the
// eleventh. mode 1: a game result's value, learned at once.
void learnFromGame(const LearnContext& game, int score, int depth, int mode);
// Learns from a result text: "1-0", "0-1", "1/2-1/2"; anything else is
// reported and teaches nothing.
void learnFromResult(const LearnContext& game, const char* result);

// Moves the learned value of `move` from `pos` towards `delta` (pawns): set
// when it was 0, averaged otherwise. The record is rewritten in place.
// False when the move has no record or the book could not be written.
bool updateBookRecord(Board& pos, Move move, float delta);

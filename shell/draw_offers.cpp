#include "shell/draw_offers.h"

#include <cstdint>
#include <cstdio>

#include "board/makemove.h"
#include "search/position.h"
#include "eval/evaluate.h"
#include "search/score.h"
#include "search/search_request.h"
#include "shell/shell_state.h"

namespace {

// Offers go only to opponents rated at most 400 below the engine, and are
// accepted outright from those rated at most 200 below it.
constexpr int DRAW_RATING_MARGIN = 400;
constexpr int DRAW_ACCEPT_RATING_MARGIN = 200;
// A computer opponent's offer is taken while the engine is not 30 ahead; a
// person's is answered with an offer of our own when the engine is 100 or
// more behind.
constexpr int DRAW_AGAINST_COMPUTER = 30;
constexpr int DRAW_WHEN_BEHIND = 100;
// Short of time a modest position is drawn rather than lost on the clock.
constexpr int DRAW_SCORE_SHORT_OF_TIME = 300;
constexpr uint32_t DRAW_CLOCK_MS = 5000;
// A search that ran to depth 63 and still scores 0 has found nothing but a
// draw.
constexpr int DRAWN_DEPTH = 63;

bool opponentNotFarBelow() { return gShell.opponentRating > gShell.ownRating - DRAW_RATING_MARGIN; }

}  // namespace

namespace {

// Outside a chess server the opponent (a program, or xboard for a person)
// hears an acceptance as "offer draw", and a refusal as nothing at all;
// "tellics" would go nowhere. The running search is no business of the
// offer: the game ends by the interface's word, not by a cut-short search.
void acceptDraw() {
    std::printf(gShell.ics ? "tellics draw\n" : "offer draw\n");
    if (gShell.ics) stopSearch();
}

void declineDraw() {
    if (gShell.ics) std::printf("tellics decline\n");
}

}  // namespace

void answerDrawOffer(Position& pos) {
    int s = searchStatus().lowerBound;
    if (gShell.computerOpponent && s < DRAW_AGAINST_COMPUTER) {
        acceptDraw();
        return;
    }
    if (s > NO_SCORE && s <= -DRAW_WHEN_BEHIND && opponentNotFarBelow()) {
        std::printf("offer draw\n");
        return;
    }
    if (gameDrawCheck(pos) || recogniseDraw(pos) == 0 || drawAcceptable(pos)) {
        if (gShell.opponentRating >= gShell.ownRating - DRAW_ACCEPT_RATING_MARGIN) {
            std::printf("offer draw\n");
            if (gShell.ics) stopSearch();
            return;
        }
        if (gShell.opponentRating >= gShell.ownRating - DRAW_RATING_MARGIN) return;
    }
    declineDraw();
}

bool drawAcceptable(Position& pos) {
    int v = searchStatus().lastCompletedScore;
    if (v == NO_SCORE) {
        shareShellSettings();
        v = evaluate(pos, -MATE, MATE);
    }
    if (v < DRAW_SCORE_SHORT_OF_TIME && gShell.clocks.engineClock < DRAW_CLOCK_MS &&
        opponentNotFarBelow())
        return true;

    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    if (w.pawnCount || b.pawnCount) return false;
    int white = w.pieceMaterial, black = b.pieceMaterial;
    if (white < 5 && black < 5) return true;
    if (white == 5 || white > 6 || black == 5 || black > 6) return false;
    // Six units without a bishop are two knights, which cannot force mate.
    if ((white == 6 && w.pieces[BISHOP] == 0 && w.materialScore > 0) ||
        (black == 6 && b.pieces[BISHOP] == 0 && b.materialScore > 0))
        return true;
    return white == black;
}

void offerDrawInDeadPosition(const Position& pos) {
    if (recogniseDraw(pos) == 0 && opponentNotFarBelow() && gShell.opponentRating > 0) std::printf("offer draw\n");
}

void offerDrawAfterFutileSearch(int score, int depth) {
    if (depth == DRAWN_DEPTH && score == 0) std::printf("offer draw\n");
}

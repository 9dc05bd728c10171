// When the engine offers a draw, and how it answers one: after a search
// that found nothing but a draw, in a position neither side can win, short
// of time in a modest position, and never to an opponent rated far below it.
#pragma once

struct Position;

// The opponent offers a draw, or the interface asks whether to agree
// ("draw"): accept with "offer draw", propose one when well behind, or
// decline.
void answerDrawOffer(Position& pos);
// The engine would accept a draw in the game position.
bool drawAcceptable(Position& pos);
// At the start of the engine's turn: a position no side can win any more
// is offered as a draw.
void offerDrawInDeadPosition(const Position& pos);
// After the search: one that went to the deepest iteration and still
// scores 0 has found nothing but a draw, and offers one.
void offerDrawAfterFutileSearch(int score, int depth);

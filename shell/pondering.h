// Thinking on the opponent's time, as the main loop runs it after the
// engine has moved: whether to ponder at all, which reply to think about
// (solving the opponent's move first when no reply is expected), and the
// ponder search on a copy of the game until input arrives.
#pragma once

#include <cstdint>

#include "search/position.h"
#include "search/search_request.h"

struct PonderState {
    // The copy of the game searched while pondering (made at start-up).
    Position* record = nullptr;
    // The reply the engine expects, and its text for the lines.
    Move move = 0;
    char moveText[13] = {};
    // The last ponder search: what it found, and how long it ran (ms).
    SearchResult result;
    uint32_t time = 0;
};
extern PonderState gPonder;

void ponder();

// The UCI protocol, beside xboard and the console. An interface that speaks
// UCI says "uci" first; the rest of the session is read here line by line.
// Its "go" runs the engine's own game flow (playEngineMove) with the limits
// it gives, and game flow answers through answerBestMove. While a search
// runs, the input hook installed here answers "isready" at once and takes
// "stop", "ponderhit" and "quit".
#pragma once

#include "search/position.h"

// The line opens a UCI session.
bool isUciRequest(const char* line);
// Runs the session that began with "uci" until "quit" or the end of input.
void runUciSession(Position& pos);

// Game flow's answer in a UCI session: "bestmove" with the expected reply
// as "ponder", or "bestmove 0000" when best is 0 (no legal move). An
// endless search ("go infinite", "go ponder") answers only once it has been
// told to stop or the predicted move has been played.
void answerBestMove(Position& pos, Move best);

// What the evaluation knows of the game beyond the board. The shell fills
// it before each search (and before scoring a position for a command); the
// side the engine plays is in the game record (gGame.engineSide).
#pragma once

struct EvalSettings {
    // The opponent is a computer. Against a person the engine keeps its own
    // pawns from locking up (a blocked position is drawish); against a
    // computer it does not.
    bool computerOpponent = false;
    // The game has left the opening book: cached pawn scores made under
    // other phase tables must be dropped when the phase changes.
    bool bookLeft = false;
};

extern EvalSettings gEvalSettings;

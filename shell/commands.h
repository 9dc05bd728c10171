// The command interpreter: one table of command words serves both the
// xboard protocol and the console. A line whose first word is no command is
// taken as a move.
#pragma once

#include "shell/shell_state.h"

struct Position;

constexpr int MAX_WORDS = 256;

// A line cut into words. count is the number of words including the command
// word when the line has a space, and 0 for a bare command word. Words the
// line does not supply are empty texts.
struct CommandArgs {
    int count = 0;
    const char* word[MAX_WORDS + 1];
    char text[LINE_SIZE];
};

// Splits line into words (cut at every single space).
void splitCommandLine(const char* line, CommandArgs& args);

// Runs the command the line names and empties the line, returning the
// command's number; -1 (line untouched) when the first word is no command.
int dispatchCommand(Position& pos, char* line);
void runCommand(Position& pos, int number, const CommandArgs& args);
// Plays the line as the user's move: 0 when played, -1 otherwise (with the
// reason printed). Always empties the line.
int enterUserMove(Position& pos, char* line);

// What "new" does: the start position, an empty game record, a fresh search
// state, the engine playing Black.
void startNewGame(Position& pos);
// What "setboard" does once the FEN is read: the position starts a game of
// its own (no moves to take back, no side for the engine, a fresh book).
void startSetUpGame(Position& pos);

// While a search runs, a command that must not disturb it stops the search
// and waits in the deferred line; true when the line was deferred.
bool deferWhileThinking(const char* line);

// Integer value of a word's leading decimal digits (0 when there are none).
int wordValue(const char* word);

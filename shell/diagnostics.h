// Commands that test the engine rather than play: the move-generator count.
#pragma once

struct Position;
struct CommandArgs;

void commandPerft(Position& pos, const CommandArgs& args);

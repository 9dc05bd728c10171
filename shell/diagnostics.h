// Commands that test the engine rather than play: the move-generator count
// and what the endgame tables say about a position.
#pragma once

struct Position;
struct CommandArgs;

void commandPerft(Position& pos, const CommandArgs& args);

// "tbprobe": the verdict of every kind of table in use on the position:
// "syzygy wdl <w> dtz <d>" (w from -2, lost, to 2, won; d the plies to the
// next capture or pawn move, signed as w; the fifty-move count is not
// applied) and our tables' "egtb mate in <n>", "egtb mated in <n>" or
// "egtb draw".
void commandTbprobe(Position& pos);

// Thinking on the opponent's time, as the main loop runs it after the
// engine has moved: whether to ponder at all, which reply to think about
// (solving the opponent's move first when no reply is expected), and the
// ponder search on a copy of the game until input arrives.
#pragma once

void ponder();

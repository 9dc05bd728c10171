// The Syzygy prober (Debian's libfathom) seen from the engine: positions
// handed over in its square numbering, its answers turned into ours.
//
// Thread safety. The library sets a table up (maps the file, reads its
// header, allocates its decoding tables) the first time a position of that
// material is probed, without a lock. So every table is touched once when
// the tables are set up (touchSyzygyTable), before any search; after that a
// WDL probe only reads the mapped files and may run on every search thread at
// once. Root probes (DTZ) stay on thread 0 before the search splits.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "egtb/syzygy_files.h"

// Win/draw/loss for the side to move. A cursed win is a win that takes more
// than fifty moves without a capture or pawn move, a blessed loss the same
// loss: both are draws under the fifty-move rule.
constexpr int SYZYGY_LOSS = -2;
constexpr int SYZYGY_BLESSED_LOSS = -1;
constexpr int SYZYGY_DRAW = 0;
constexpr int SYZYGY_CURSED_WIN = 1;
constexpr int SYZYGY_WIN = 2;

// Sets the prober up on one folder (all earlier tables dropped); returns the
// men of its largest table, 0 for none.
int startSyzygyProber(const char* folder);
// Drops the prober's tables: its files unmapped, its memory freed.
void stopSyzygyProber();

// Whether a probe found a table file cut short on disk since it was set up
// (its mapped pages gone); from then on every probe fails. Asking clears
// the note; setting the prober up again ends the failing.
bool takeSyzygyFileFault();

// WDL of a position without castling rights whose fifty-move count is 0
// (just after a capture or a pawn move): only there is the table's value
// exact under the rule whatever the count. False when no table answers.
bool probeSyzygyWdl(const Board& pos, int& wdl);

// One legal move's outcome at the root, for the side to move there: its WDL
// with the fifty-move count given, and its DTZ (plies to the next capture or
// pawn move, this move included; the loser's count for a losing move).
struct SyzygyMoveResult {
    int from, to, promotion;  // engine squares; promotion piece type or 0
    int wdl;
    int dtz;
};
constexpr int SYZYGY_MAX_MOVES = 256;

// Every legal move of the position (no castling rights) from the DTZ tables,
// with the fifty-move count `rule50`; the number of moves, or -1 when the
// tables cannot answer (a DTZ table missing). Not thread-safe.
int probeSyzygyRoot(const Board& pos, int rule50, SyzygyMoveResult* out);
// The same from the WDL tables alone, for a material whose DTZ table is
// missing: `dtz` is then 0 and the wdl of a move that is not a capture or
// pawn move cannot tell a win from a cursed one, so it is given as the
// fifty-move rule (useRule50) would judge it with the count at zero.
int probeSyzygyRootByWdl(const Board& pos, int rule50, bool useRule50, SyzygyMoveResult* out);

// The tables' verdict on a position regardless of its move counter: WDL, and
// the DTZ signed as the WDL (0 for a draw, and for a side to move that is
// mated or stalemated). False when the tables cannot answer.
bool probeSyzygyPosition(const Board& pos, int& wdl, int& dtz);

// Probes `samples` positions of the table's material through its WDL file,
// or, with dtz, `samples` positions whose outcome the DTZ file must give;
// positions come from a fixed sequence per table. With `verify` each WDL
// verdict is checked against the verdicts after every move: false when they
// disagree, as a damaged file's may; false too when a read of the file
// faulted (see platform/fault_guard.h). After the deadline (a timeNow() value;
// 0 for none) no further position is begun once one is done. `scratch` is
// overwritten.
bool touchSyzygyTable(const SyzygyTable& table, bool dtz, int samples, Board& scratch, bool verify = false,
                      uint32_t deadline = 0);

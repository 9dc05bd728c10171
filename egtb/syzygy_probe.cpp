#include "egtb/syzygy_probe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include <tbprobe.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "platform/clock.h"
#include "platform/fault_guard.h"

namespace {

// The prober numbers squares a1 = 0 .. h8 = 63, we a8 = 0 .. h1 = 63: the
// same files, ranks mirrored. A bitboard's ranks are its bytes, so mirroring
// them is a byte swap.
constexpr int toProberSquare(int sq) { return sq ^ 56; }
inline uint64_t toProberBitboard(Bitboard b) { return __builtin_bswap64(b); }

struct ProberBoard {
    uint64_t white, black, kings, queens, rooks, bishops, knights, pawns;
    unsigned ep;
    bool whiteToMove;
};

ProberBoard proberBoard(const Board& pos) {
    const SideRecord& w = pos.sides[WHITE];
    const SideRecord& b = pos.sides[BLACK];
    auto both = [&](int type) { return toProberBitboard(w.pieces[type] | b.pieces[type]); };
    return ProberBoard{toProberBitboard(w.pieces[ALL_PIECES]),
                       toProberBitboard(b.pieces[ALL_PIECES]),
                       both(KING),
                       both(QUEEN),
                       both(ROOK),
                       both(BISHOP),
                       both(KNIGHT),
                       both(PAWN),
                       pos.epSquare ? unsigned(toProberSquare(pos.epSquare)) : 0u,
                       pos.sideToMove == WHITE};
}

// The prober's promotion codes (queen 1 .. knight 4) as piece types.
int promotionType(unsigned code) {
    static const int types[5] = {0, QUEEN, ROOK, BISHOP, KNIGHT};
    return code < 5 ? types[code] : 0;
}

// The library reports a failure for every successful unmapping when it
// releases its tables (and might say more while reading them). Nothing it
// prints is meant for the interface reading our output, so both streams go
// to /dev/null meanwhile. Set-up runs outside searches, when nothing else
// prints.
template <typename Call>
auto withQuietProber(Call call) {
    std::fflush(stdout);
    const int savedOut = ::dup(1), savedErr = ::dup(2);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::close(null);
    }
    auto result = call();
    if (savedOut >= 0) {
        ::dup2(savedOut, 1);
        ::close(savedOut);
    }
    if (savedErr >= 0) {
        ::dup2(savedErr, 2);
        ::close(savedErr);
    }
    return result;
}

bool proberStarted = false;

// A fixed sequence of pseudo-random numbers per table (splitmix64).
uint64_t nextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// A random legal position of the table's material: either colour may own
// either side of the table, either may be to move. No castling rights, no
// en-passant square. False when the placement is illegal (the side not to
// move in check, kings touching).
bool randomPosition(const SyzygyTable& table, uint64_t& rng, Board& pos) {
    const uint64_t r = nextRandom(rng);
    const int swap = int(r & 1);
    std::memset(pos.board, 0, sizeof pos.board);
    for (int side = WHITE; side <= BLACK; side++) {
        const int colour = side ^ swap;
        for (int type = PAWN; type <= KING; type++) {
            for (int n = 0; n < table.counts[side][type]; n++) {
                int sq;
                do {
                    sq = int(nextRandom(rng) & 63);
                } while (pos.board[sq] != 0 || (type == PAWN && (rowOf(sq) == 0 || rowOf(sq) == 7)));
                pos.board[sq] = int8_t(colour == WHITE ? type : -type);
            }
        }
    }
    pos.sideToMove = uint8_t((r >> 1) & 1);
    pos.castling = 0;
    pos.epSquare = 0;
    rebuildDerivedState(pos);
    const int mover = pos.sideToMove;
    return !isSquareAttacked(pos, pos.sides[mover ^ 1].kingSquare, mover);
}

// Whether the side to move can advance a pawn (the prober settles a won
// position with a winning pawn move without its DTZ table).
bool hasPawnMove(const Board& pos) {
    Move moves[MAX_MOVES];
    Move* end = generateQuiets(pos, moves);
    for (Move* m = moves; m < end; m++)
        if (movePiece(*m) == PAWN) return true;
    return false;
}

// A table file cut short on disk since it was mapped: its reads fail from
// then on, and the shell drops the tables before the next search.
std::atomic<bool> fileFault{false};

// A probe of the mapped files: false (and the fault noted) when a file
// under it has lost pages; no probe is made once one has.
template <typename Probe>
bool probeFiles(Probe&& probe) {
    if (fileFault.load(std::memory_order_relaxed)) return false;
    if (guardedRead(probe)) return true;
    fileFault.store(true, std::memory_order_relaxed);
    return false;
}

unsigned probeWdlRaw(const Board& pos) {
    const ProberBoard b = proberBoard(pos);
    unsigned result = TB_RESULT_FAILED;
    probeFiles([&] {
        result = tb_probe_wdl(b.white, b.black, b.kings, b.queens, b.rooks, b.bishops, b.knights, b.pawns, 0, 0,
                              b.ep, b.whiteToMove);
    });
    return result;
}

// The root probe with its move list, guarded.
unsigned probeRootRaw(const ProberBoard& b, unsigned rule50, unsigned* results) {
    unsigned result = TB_RESULT_FAILED;
    probeFiles([&] {
        result = tb_probe_root(b.white, b.black, b.kings, b.queens, b.rooks, b.bishops, b.knights, b.pawns, rule50,
                               0, b.ep, b.whiteToMove, results);
    });
    return result;
}

// Fills `out` from the prober's per-move results (ended by TB_RESULT_FAILED).
int collectMoves(const unsigned* results, SyzygyMoveResult* out) {
    int n = 0;
    for (int i = 0; results[i] != TB_RESULT_FAILED && n < SYZYGY_MAX_MOVES; i++) {
        const unsigned r = results[i];
        out[n++] = SyzygyMoveResult{toProberSquare(int(TB_GET_FROM(r))), toProberSquare(int(TB_GET_TO(r))),
                                    promotionType(TB_GET_PROMOTES(r)), int(TB_GET_WDL(r)) - 2, int(TB_GET_DTZ(r))};
    }
    return n;
}

}  // namespace

// The library's own release (tb_free) leaves it marked as set up, so that
// its next set-up releases everything a second time; a set-up with no folder
// releases the tables but keeps their size, so that the next probe reads
// freed memory. A set-up on another folder releases the old tables properly:
// that is the only way in or out used here.
int startSyzygyProber(const char* folder) {
    installFaultGuard();
    fileFault.store(false, std::memory_order_relaxed);
    const bool started = withQuietProber([&] { return tb_init(folder); });
    proberStarted = started;
    return started ? int(TB_LARGEST) : 0;
}

void stopSyzygyProber() {
    if (!proberStarted) return;
    const std::string empty = makeSyzygyFolder();
    if (!empty.empty()) {
        // Without a folder the old tables stay in memory, unused.
        withQuietProber([&] { return tb_init(empty.c_str()); });
        removeSyzygyFolder(empty);
    }
    proberStarted = false;
}

bool probeSyzygyWdl(const Board& pos, int& wdl) {
    const unsigned result = probeWdlRaw(pos);
    if (result == TB_RESULT_FAILED) return false;
    wdl = int(result) - 2;
    return true;
}

bool takeSyzygyFileFault() { return fileFault.exchange(false, std::memory_order_relaxed); }

int probeSyzygyRoot(const Board& pos, int rule50, SyzygyMoveResult* out) {
    const ProberBoard b = proberBoard(pos);
    unsigned results[TB_MAX_MOVES];
    const unsigned result = probeRootRaw(b, unsigned(rule50), results);
    if (result == TB_RESULT_FAILED) return -1;
    // Checkmate and stalemate come without a list: there is no move.
    if (result == TB_RESULT_CHECKMATE || result == TB_RESULT_STALEMATE) return 0;
    return collectMoves(results, out);
}

int probeSyzygyRootByWdl(const Board& pos, int rule50, bool useRule50, SyzygyMoveResult* out) {
    // Large (a predicted line per move), so kept out of the stack; only
    // thread 0 probes the root.
    static TbRootMoves moves;
    const ProberBoard b = proberBoard(pos);
    bool found = false;
    probeFiles([&] {
        found = tb_probe_root_wdl(b.white, b.black, b.kings, b.queens, b.rooks, b.bishops, b.knights, b.pawns,
                                  unsigned(rule50), 0, b.ep, b.whiteToMove, useRule50, &moves);
    });
    if (!found) return -1;
    // Ranks: 1000 a win, 0 a draw, -1000 a loss; cursed wins and blessed
    // losses in between.
    int n = 0;
    for (unsigned i = 0; i < moves.size && n < SYZYGY_MAX_MOVES; i++) {
        const TbRootMove& m = moves.moves[i];
        const int rank = m.tbRank;
        const int wdl = rank >= 1000 ? SYZYGY_WIN : rank > 0 ? SYZYGY_CURSED_WIN : rank == 0 ? SYZYGY_DRAW
                                                  : rank > -1000 ? SYZYGY_BLESSED_LOSS : SYZYGY_LOSS;
        out[n++] = SyzygyMoveResult{toProberSquare(int(TB_MOVE_FROM(m.move))), toProberSquare(int(TB_MOVE_TO(m.move))),
                                    promotionType(TB_MOVE_PROMOTES(m.move)), wdl, 0};
    }
    return n;
}

bool probeSyzygyPosition(const Board& pos, int& wdl, int& dtz) {
    const ProberBoard b = proberBoard(pos);
    const unsigned result = probeRootRaw(b, 0, nullptr);
    if (result == TB_RESULT_FAILED) return false;
    if (result == TB_RESULT_CHECKMATE || result == TB_RESULT_STALEMATE) {
        // The prober marks these results with the winner's WDL; for the side
        // to move a checkmate is the loss itself.
        wdl = result == TB_RESULT_CHECKMATE ? SYZYGY_LOSS : SYZYGY_DRAW;
        dtz = 0;
        return true;
    }
    wdl = int(TB_GET_WDL(result)) - 2;
    const int distance = int(TB_GET_DTZ(result));
    dtz = wdl > 0 ? distance : wdl < 0 ? -distance : 0;
    return true;
}

namespace {

// Whether the tables' verdict on the position agrees with their verdicts on
// the positions after each legal move: won when some move leaves the
// opponent lost, drawn when the best move draws, lost when every move wins
// for the opponent. True also when some verdict is missing. `pos` is made
// ready for moves and left as it was.
bool consistentWithMoves(Board& pos, unsigned wdl) {
    if (wdl == TB_RESULT_FAILED) return true;
    pos.historyCount = 1;
    pos.history[1] = HistoryEntry{};
    pos.hashKey = computeHashKey(pos);
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    int best = -2;  // nothing legal yet
    for (Move* m = moves; m < end; m++) {
        if (!makeMove(pos, *m, false)) continue;
        const unsigned reply = probeWdlRaw(pos);
        unmakeMove(pos);
        if (reply == TB_RESULT_FAILED) return true;
        const int opponent = reply > TB_DRAW ? 1 : reply < TB_DRAW ? -1 : 0;
        best = std::max(best, -opponent);
    }
    if (best == -2) {
        // No move: mate or stalemate.
        const int mover = pos.sideToMove;
        best = isSquareAttacked(pos, pos.sides[mover].kingSquare, mover ^ 1) ? -1 : 0;
    }
    const int own = wdl > TB_DRAW ? 1 : wdl < TB_DRAW ? -1 : 0;
    return own == best;
}

// Whether the DTZ of a won or lost position agrees with the DTZ after its
// moves: a win is as far from the next capture or pawn move as its quickest
// winning move, a loss as its slowest move. The tables may store a distance
// in whole moves, so a ply either way is allowed.
bool consistentDistances(unsigned root, const unsigned* moves) {
    if (root == TB_RESULT_FAILED || root == TB_RESULT_CHECKMATE || root == TB_RESULT_STALEMATE) return true;
    const unsigned wdl = TB_GET_WDL(root);
    if (wdl == TB_DRAW) return true;
    int best = -1;
    for (int i = 0; moves[i] != TB_RESULT_FAILED; i++) {
        const int dtz = int(TB_GET_DTZ(moves[i]));
        const bool sameResult = (wdl > TB_DRAW) == (TB_GET_WDL(moves[i]) > TB_DRAW);
        if (wdl > TB_DRAW && sameResult && (best < 0 || dtz < best)) best = dtz;
        if (wdl < TB_DRAW && dtz > best) best = dtz;
    }
    return best < 0 || std::abs(best - int(TB_GET_DTZ(root))) <= 1;
}

}  // namespace

bool touchSyzygyTable(const SyzygyTable& table, bool dtz, int samples, Board& scratch, bool verify,
                      uint32_t deadline) {
    // Enough tries to find positions of the kind needed even in tables that
    // are nearly all draws; each try costs a WDL probe at most.
    constexpr int MAX_TRIES = 4000;
    uint64_t rng = dtz ? 0x5a5a5a5a : 0;
    for (char c : table.name) rng = rng * 131 + uint64_t(c);
    int done = 0;
    for (int tries = 0; tries < MAX_TRIES && done < samples; tries++) {
        if (done > 0 && deadline && int32_t(timeNow() - deadline) >= 0) break;
        if (!randomPosition(table, rng, scratch)) continue;
        // With a capture on the board the prober may settle the position
        // from the smaller tables without reading this one.
        Move moves[MAX_MOVES];
        if (generateCaptures(scratch, moves) != moves) continue;
        const unsigned wdl = probeWdlRaw(scratch);
        // A read that faulted: the file is not what its header promised.
        if (fileFault.load(std::memory_order_relaxed)) return false;
        if (!dtz) {
            if (verify && !consistentWithMoves(scratch, wdl)) return false;
            done++;
            continue;
        }
        // The DTZ table is read only for a win or a loss not settled by a
        // pawn move.
        if (wdl == TB_RESULT_FAILED || wdl == TB_DRAW) continue;
        if (wdl > TB_DRAW && hasPawnMove(scratch)) continue;
        const ProberBoard b = proberBoard(scratch);
        unsigned results[TB_MAX_MOVES];
        const unsigned root = probeRootRaw(b, 0, results);
        if (fileFault.load(std::memory_order_relaxed)) return false;
        if (verify && !consistentDistances(root, results)) return false;
        done++;
    }
    return true;
}

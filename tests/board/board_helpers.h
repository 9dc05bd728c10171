// Slow, obviously-correct references and position walkers shared by the
// board tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/new_game.h"
#include "support/test_support.h"

// Positions rich in special moves: castling both ways, pins, en passant,
// promotions, and quiet endgames.
inline const std::vector<std::string>& samplePositions() {
    static const std::vector<std::string> fens = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
        "2K2r2/4P3/8/8/8/8/8/3k4 w - - 0 1",
        "8/8/1P2K3/8/2n5/1q6/8/5k2 b - - 0 1",
        "r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1",
    };
    return fens;
}

// Plays `games` random games of up to `plies` legal moves from each sample
// position (fixed seed), calling visit on every position reached.
inline void forEachRandomPosition(int games, int plies, const std::function<void(Board&)>& visit) {
    std::mt19937 rng(20240601);
    for (const std::string& fen : samplePositions()) {
        auto pos = positionFromFen(fen);
        for (int game = 0; game < games; game++) {
            ASSERT_TRUE(beginGame(*pos, fen.c_str()));
            for (int ply = 0; ply < plies; ply++) {
                visit(*pos);
                Move moves[MAX_MOVES];
                Move* end = generateAllMoves(*pos, moves);
                std::vector<Move> legal;
                for (Move* m = moves; m < end; m++) {
                    if (makeMove(*pos, *m, false)) {
                        legal.push_back(*m);
                        unmakeMove(*pos);
                    }
                }
                if (legal.empty()) break;
                // Keep the history short: play each move as a game move.
                playGameMove(*pos, legal[rng() % legal.size()]);
            }
        }
    }
}

inline std::vector<Move> legalMoves(Board& pos) {
    Move moves[MAX_MOVES];
    Move* end = generateAllMoves(pos, moves);
    std::vector<Move> legal;
    for (Move* m = moves; m < end; m++) {
        if (makeMove(pos, *m, false)) {
            legal.push_back(*m);
            unmakeMove(pos);
        }
    }
    return legal;
}

inline std::vector<Move> sorted(std::vector<Move> moves) {
    std::sort(moves.begin(), moves.end());
    return moves;
}

inline std::vector<Move> listOf(const Move* begin, const Move* end) { return std::vector<Move>(begin, end); }

inline bool onBoard(int row, int file) { return row >= 0 && row < 8 && file >= 0 && file < 8; }

// Squares a piece of `type` on sq attacks on this board array, found by
// walking the rays square by square.
inline Bitboard slowAttacks(const int8_t* board, int sq, int type) {
    static const int rookDirs[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    static const int bishopDirs[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    static const int knightJumps[8][2] = {{-2, -1}, {-2, 1}, {-1, -2}, {-1, 2}, {1, -2}, {1, 2}, {2, -1}, {2, 1}};
    Bitboard result = 0;
    const int row = sq / 8, file = sq % 8;
    auto slide = [&](const int (*dirs)[2]) {
        for (int d = 0; d < 4; d++) {
            for (int r = row + dirs[d][0], f = file + dirs[d][1]; onBoard(r, f); r += dirs[d][0], f += dirs[d][1]) {
                result |= 1ull << (r * 8 + f);
                if (board[r * 8 + f]) break;
            }
        }
    };
    if (type == ROOK || type == QUEEN) slide(rookDirs);
    if (type == BISHOP || type == QUEEN) slide(bishopDirs);
    if (type == KNIGHT)
        for (auto& j : knightJumps)
            if (onBoard(row + j[0], file + j[1])) result |= 1ull << ((row + j[0]) * 8 + file + j[1]);
    if (type == KING)
        for (int dr = -1; dr <= 1; dr++)
            for (int df = -1; df <= 1; df++)
                if ((dr || df) && onBoard(row + dr, file + df)) result |= 1ull << ((row + dr) * 8 + file + df);
    return result;
}

// Whether `colour` attacks sq on this board array.
inline bool slowAttacked(const int8_t* board, int sq, int colour) {
    const int sign = colour == WHITE ? 1 : -1;
    for (int from = 0; from < 64; from++) {
        int piece = board[from] * sign;
        if (piece <= 0) continue;
        if (piece == PAWN) {
            int row = from / 8 + (colour == WHITE ? -1 : 1);
            for (int df : {-1, 1})
                if (onBoard(row, from % 8 + df) && row * 8 + from % 8 + df == sq) return true;
        } else if (slowAttacks(board, from, piece) & (1ull << sq)) {
            return true;
        }
    }
    return false;
}

inline bool inCheck(const Board& pos) {
    return isSquareAttacked(pos, pos.sides[pos.sideToMove].kingSquare, pos.sideToMove ^ 1);
}

// The board part of a position, field by field, with names for failures.
inline void expectSameBoard(const Board& a, const Board& b, const std::string& what) {
    EXPECT_EQ(0, std::memcmp(a.board, b.board, sizeof a.board)) << what << ": board";
    EXPECT_EQ(a.hashKey, b.hashKey) << what << ": hash key";
    EXPECT_EQ(a.pawnKey, b.pawnKey) << what << ": pawn key";
    EXPECT_EQ(a.occFileMajor, b.occFileMajor) << what << ": file-major occupancy";
    EXPECT_EQ(a.occA1H8, b.occA1H8) << what << ": a1-h8 occupancy";
    EXPECT_EQ(a.occA8H1, b.occA8H1) << what << ": a8-h1 occupancy";
    for (int c = 0; c < 2; c++) {
        const SideRecord &x = a.sides[c], &y = b.sides[c];
        for (int t = 0; t < 7; t++) EXPECT_EQ(x.pieces[t], y.pieces[t]) << what << ": colour " << c << " type " << t;
        EXPECT_EQ(x.pawnCount, y.pawnCount) << what << ": pawn count " << c;
        EXPECT_EQ(x.pieceMaterial, y.pieceMaterial) << what << ": piece material " << c;
        EXPECT_EQ(x.minorCount, y.minorCount) << what << ": minor count " << c;
        EXPECT_EQ(x.majorCount, y.majorCount) << what << ": major count " << c;
        EXPECT_EQ(x.kingSquare, y.kingSquare) << what << ": king square " << c;
        EXPECT_EQ(x.materialScore, y.materialScore) << what << ": material score " << c;
    }
    EXPECT_EQ(a.sideToMove, b.sideToMove) << what << ": side to move";
    EXPECT_EQ(a.castling, b.castling) << what << ": castling";
    EXPECT_EQ(a.epSquare, b.epSquare) << what << ": en-passant square";
    EXPECT_EQ(a.historyCount, b.historyCount) << what << ": history count";
}

// Everything derived from the board array, recomputed from scratch, must
// equal what the incremental updates left.
inline void expectConsistent(const Board& pos, const std::string& what) {
    auto fresh = std::make_unique<Board>(pos);
    rebuildDerivedState(*fresh);
    fresh->hashKey = computeHashKey(*fresh);
    fresh->pawnKey = computePawnKey(*fresh);
    expectSameBoard(*fresh, pos, what);
}

inline std::string moveText(Move m) {
    MoveC c(m);
    return std::string(moveToCoordinate(c)) + (isCastling(m) ? "(castle)" : "") + (isEnPassant(m) ? "(ep)" : "");
}

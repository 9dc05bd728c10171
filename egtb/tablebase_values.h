// Tablebase values and what they mean to the search.
//
// A value is a signed 16-bit number for the side to move:
//   0                 draw
//   32767             not available (no table, an unreadable block, a
//                     position the table does not hold)
//   32767 - N         the side to move mates in N moves (N >= 1)
//   -32766 + N        the side to move is mated after N moves of its own
//                     (N = 0: it is checkmated now)
// Counted in plies, a win in N moves takes 2N - 1 plies and a loss in N
// moves 2N plies, so a position's plies are its best child's plies plus one.
//
// One-byte entries hold the values nearest to mate: e in 1..126 is
// e + 32640 (mate in 127 - e), -128 is 32640 (mate in 127), e in -126..-1 is
// e - 32640 (mated in e + 126), -127 is -32640 (mated in 126), 0 is a draw
// and 127 is "not available". Longer distances need two-byte entries.
#pragma once

#include <cstdint>

constexpr int TB_NOT_AVAILABLE = 32767;
constexpr int TB_DRAW = 0;
constexpr int8_t TB_BYTE_NOT_AVAILABLE = 127;

// Plies to mate (odd: the side to move mates; even: it is mated) as a value.
constexpr int valueFromPlies(int plies) {
    return (plies & 1) ? TB_NOT_AVAILABLE - (plies + 1) / 2 : -32766 + plies / 2;
}

// Plies to mate of a win or loss value (neither draw nor not available).
constexpr int pliesFromValue(int value) { return value > 0 ? 2 * (TB_NOT_AVAILABLE - value) - 1 : 2 * (value + 32766); }

constexpr int valueFromByte(int8_t e) {
    if (e == 0) return 0;
    if (e == 127) return TB_NOT_AVAILABLE;
    if (e == -128) return 32640;
    if (e == -127) return -32640;
    return e > 0 ? e + 32640 : e - 32640;
}

// The byte for a value; false when the distance does not fit in one byte.
constexpr bool byteFromValue(int value, int8_t& e) {
    if (value == 0) e = 0;
    else if (value == TB_NOT_AVAILABLE) e = TB_BYTE_NOT_AVAILABLE;
    else if (value == 32640) e = -128;
    else if (value == -32640) e = -127;
    else if (value > 32640 && value < TB_NOT_AVAILABLE) e = int8_t(value - 32640);
    else if (value >= -32766 && value < -32640) e = int8_t(value + 32640);
    else return false;
    return true;
}

// The search's score for a value, counted as if the probed position were
// the root (ply 1): a side mated at ply p scores p - 10000, so mating in N
// moves is worth 10000 - 2N and being mated after N moves 2N + 1 - 10000.
constexpr int scoreFromValue(int value) {
    if (value == 0) return 0;
    return value > 0 ? 2 * value - 55534 : 2 * value + 55533;
}

static_assert(valueFromPlies(1) == 32766 && valueFromPlies(0) == -32766 && valueFromPlies(2) == -32765);
static_assert(pliesFromValue(valueFromPlies(37)) == 37 && pliesFromValue(valueFromPlies(52)) == 52);
static_assert(scoreFromValue(valueFromPlies(1)) == 9998 && scoreFromValue(valueFromPlies(0)) == -9999);

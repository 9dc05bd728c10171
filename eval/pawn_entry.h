// One record of the pawn hash table: three 64-bit words. In the shared table
// word 0 is a check word (pawn key ^ word 1 ^ low half of word 2), so a torn
// entry never matches; in a thread's private copy word 0 is the pawn key.
#pragma once

#include <cstdint>

struct PawnEntry {
    uint64_t key;
    // word 1: score (bytes 0-1, signed, White-relative), black passed files,
    // black kingside shelter, black queenside shelter, white passed files,
    // white kingside shelter, white queenside shelter.
    uint64_t word1;
    // word 2: protected-passer bits, outside-passer flags, white candidate
    // files, black candidate files, four zero bytes.
    uint64_t word2;
};
static_assert(sizeof(PawnEntry) == 24);

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
    // files, black candidate files, four zero bytes. The table always holds
    // zeros in the high half; a thread's private copy keeps there the
    // evaluation generation it was computed under (see prepareEvaluation),
    // so a copy made before the phase tables changed never matches again.
    uint64_t word2;
};
static_assert(sizeof(PawnEntry) == 24);

// Outside-passer flags (word 2, byte 1).
constexpr uint8_t WHITE_OUTSIDE_PASSER = 1;
constexpr uint8_t BLACK_OUTSIDE_PASSER = 2;
constexpr uint8_t WHITE_OUTSIDE_CANDIDATE = 4;
constexpr uint8_t BLACK_OUTSIDE_CANDIDATE = 8;

inline uint8_t entryByte(uint64_t word, int n) { return uint8_t(word >> (8 * n)); }
inline void setEntryByte(uint64_t& word, int n, uint8_t v) {
    word = (word & ~(uint64_t(0xFF) << (8 * n))) | uint64_t(v) << (8 * n);
}

inline int pawnScore(const PawnEntry& e) { return int16_t(e.word1 & 0xFFFF); }
// Files holding a passed pawn of colour c (0 White, 1 Black).
inline uint8_t passedFiles(const PawnEntry& e, int c) { return entryByte(e.word1, c == 0 ? 5 : 2); }
inline uint8_t kingsideShelter(const PawnEntry& e, int c) { return entryByte(e.word1, c == 0 ? 6 : 3); }
inline uint8_t queensideShelter(const PawnEntry& e, int c) { return entryByte(e.word1, c == 0 ? 7 : 4); }
inline uint8_t protectedPassers(const PawnEntry& e) { return entryByte(e.word2, 0); }
inline uint8_t outsidePasserFlags(const PawnEntry& e) { return entryByte(e.word2, 1); }
inline uint8_t candidateFiles(const PawnEntry& e, int c) { return entryByte(e.word2, c == 0 ? 2 : 3); }

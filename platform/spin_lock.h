// Spin locks: a 32-bit word taken by atomically exchanging in 1 until the
// old value was 0, released by storing 0. The word is a plain uint32_t, so
// that it can live in records that are copied or cleared as a whole (split
// points, tablebase bucket arrays); it is only ever touched through these
// functions. The sections these locks guard are a handful of instructions
// long, or at most one tablebase block read, so a taker spins; but on a
// machine shared with other programs the holder may have lost its
// processor inside the section, and spinning on then only keeps it from
// getting it back. So after a bounded spin the taker yields between looks.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/threads.h"

// Looks at a taken lock before the taker starts yielding: some tens of
// microseconds, far beyond any section held by a running thread.
constexpr uint32_t SPIN_LOCK_SPINS = 1024;

inline void acquireSpinLock(uint32_t& word) {
    std::atomic_ref<uint32_t> lock(word);
    uint32_t spins = 0;
    while (lock.exchange(1, std::memory_order_acquire)) {
        // Wait on a plain read so that the waiting thread does not keep
        // taking the cache line away from the holder.
        while (lock.load(std::memory_order_relaxed)) {
            if (++spins < SPIN_LOCK_SPINS) cpuRelax();
            else yieldProcessor();
        }
    }
}

// Takes the lock only when it is free at once; whether it was taken.
inline bool tryAcquireSpinLock(uint32_t& word) {
    return std::atomic_ref<uint32_t>(word).exchange(1, std::memory_order_acquire) == 0;
}

inline void releaseSpinLock(uint32_t& word) { std::atomic_ref<uint32_t>(word).store(0, std::memory_order_release); }

// Holds a spin lock for the rest of a scope.
class SpinLockGuard {
public:
    explicit SpinLockGuard(uint32_t& word) : word_(word) { acquireSpinLock(word_); }
    ~SpinLockGuard() { releaseSpinLock(word_); }
    SpinLockGuard(const SpinLockGuard&) = delete;
    SpinLockGuard& operator=(const SpinLockGuard&) = delete;

private:
    uint32_t& word_;
};

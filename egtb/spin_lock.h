// A spin lock: a 32-bit word taken by exchanging in 1 until the old value
// was 0, released by storing 0. Search threads never sleep, and the tablebase
// locks are held only for a few list operations or one block read.
#pragma once

#include <atomic>
#include <cstdint>

struct SpinLock {
    std::atomic<uint32_t> word{0};

    void lock() {
        while (word.exchange(1, std::memory_order_acquire) != 0)
            while (word.load(std::memory_order_relaxed) != 0) __builtin_ia32_pause();
    }
    bool tryLock() { return word.exchange(1, std::memory_order_acquire) == 0; }
    void unlock() { word.store(0, std::memory_order_release); }
};
static_assert(sizeof(SpinLock) == 4);

// Spin locks on plain words: a held word refuses a second taker, and
// threads that take turns through one keep a plain counter exact (under
// ThreadSanitizer, any access the lock does not order is reported).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/spin_lock.h"

TEST(SpinLock, AHeldWordRefusesASecondTaker) {
    uint32_t word = 0;
    EXPECT_TRUE(tryAcquireSpinLock(word));
    EXPECT_FALSE(tryAcquireSpinLock(word));
    releaseSpinLock(word);
    {
        SpinLockGuard guard(word);
        EXPECT_FALSE(tryAcquireSpinLock(word));
    }
    EXPECT_TRUE(tryAcquireSpinLock(word));
    releaseSpinLock(word);
    EXPECT_EQ(word, 0u);
}

TEST(SpinLock, ThreadsTakeTurnsOnAPlainCounter) {
    struct {
        uint32_t lock = 0;
        long counter = 0;
    } shared;
    constexpr int THREADS = 4, ROUNDS = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < ROUNDS; i++) {
                if (t % 2) {
                    SpinLockGuard guard(shared.lock);
                    shared.counter++;
                } else {
                    while (!tryAcquireSpinLock(shared.lock)) cpuRelax();
                    shared.counter++;
                    releaseSpinLock(shared.lock);
                }
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(shared.counter, long(THREADS) * ROUNDS);
}

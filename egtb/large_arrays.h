// Room for the generator's large arrays (the tables it builds and reads,
// the work records of a slice) in huge pages where the system gives them:
// the generator reads them at random, and with 4 KB pages nearly every
// access would also miss the address translation cache.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Room for n elements; the contents are not kept when the vector grows.
template <class T>
void reserveLarge(std::vector<T>& v, size_t n) {
    if (v.capacity() >= n) return;
    std::vector<T>().swap(v);
    v.reserve(n);
    constexpr uintptr_t HUGE_PAGE = 2u << 20;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(v.data()) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(v.data() + n)) & ~(HUGE_PAGE - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

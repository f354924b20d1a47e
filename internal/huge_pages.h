#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <sys/mman.h>

// Asks the system to back [data, data + bytes) with huge pages where it can
// (transparent huge pages in "madvise" mode): an array filled at random then takes
// a page fault per 2 MiB instead of per 4 KiB. Only whole huge pages inside the range
// are advised; a refusal leaves ordinary pages.
inline void adviseHugePages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    if (bytes < 2 * huge) return;
    const auto address = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (address + huge - 1) & ~(huge - 1), end = (address + bytes) & ~(huge - 1);
    if (end > begin) (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Replaces a vector's elements by n copies of `value` in a fresh allocation on huge
// pages: the allocation is advised before its first touch.
template <class T>
void assignOnHugePages(std::vector<T>& v, std::size_t n, const T& value = T()) {
    std::vector<T>().swap(v);
    v.reserve(n);
    adviseHugePages(v.data(), n * sizeof(T));
    v.assign(n, value);
}

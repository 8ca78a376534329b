#include "ui/LargeAllocator.h"

#include <cstdint>
#include <sys/mman.h>

namespace mg::large_memory {

void* Allocate(std::size_t bytes)
{
    if (bytes < kThreshold)
        return ::operator new(bytes);
    // Huge pages need 2 MiB alignment: map that much more and trim.
    constexpr std::uintptr_t kHuge = 2u << 20;
    const std::size_t length = (bytes + 4095) & ~std::size_t(4095);
    void* const mapped = mmap(nullptr, length + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHuge - 1) & ~(kHuge - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (const std::size_t tail = start + length + kHuge - (aligned + length))
        munmap(reinterpret_cast<void*>(aligned + length), tail);
    void* const block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Advice only: without huge pages the block works the same, slower.
    madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void Release(void* block, std::size_t bytes) noexcept
{
    if (!block)
        return;
    if (bytes < kThreshold)
        ::operator delete(block);
    else
        munmap(block, bytes);
}

} // namespace mg::large_memory

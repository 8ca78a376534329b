#pragma once
// An allocator for the few large arrays a huge folder's listing needs (its
// names, their records, the sort's keys). Blocks of a few megabytes and up
// are mapped with transparent huge pages where the system allows it: a
// fresh 4 KiB page costs a fault each time it is first touched, and a
// million names touch some 20,000 of them, which took longer than reading
// the folder itself. Smaller blocks come from the ordinary heap.
#include <cstddef>
#include <new>

namespace mg {

namespace large_memory {
// Below this a block comes from operator new.
constexpr std::size_t kThreshold = 4u << 20;
void* Allocate(std::size_t bytes);
void Release(void* block, std::size_t bytes) noexcept;
} // namespace large_memory

template <typename T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n)
    {
        if (n > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(large_memory::Allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { large_memory::Release(p, n * sizeof(T)); }
    template <typename U> bool operator==(const LargeAllocator<U>&) const noexcept { return true; }
    template <typename U> bool operator!=(const LargeAllocator<U>&) const noexcept { return false; }
};

// An uninitialised block of bytes from the same source, freed with its
// owner.
class LargeBuffer {
public:
    explicit LargeBuffer(std::size_t bytes) : data_(static_cast<char*>(large_memory::Allocate(bytes))), size_(bytes) {}
    ~LargeBuffer() { large_memory::Release(data_, size_); }
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;
    char* data() const { return data_; }

private:
    char* data_;
    std::size_t size_;
};

} // namespace mg

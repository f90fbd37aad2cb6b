#pragma once

#include <cstddef>
#include <memory>

// Memory in whole pages of 2 MiB where the system gives them (transparent
// huge pages), for a table that may grow to megabytes: each fresh page of
// 4 KiB costs a fault, which on a virtual machine takes microseconds, and
// CSV's table of columns, for a form of hundreds of thousands of fields, took
// a fifth of the run in them. Blocks below kLeast come from the heap, as
// std::allocator's do, so that a small table takes no more memory than before.
namespace HugePages {
constexpr std::size_t kLeast = 256 * 1024;
// Throws std::bad_alloc when there is no memory.
void* allocate(std::size_t bytes);
void release(void* block, std::size_t bytes) noexcept;
} // namespace HugePages

template <class T> class HugePageAllocator
{
public:
    using value_type = T;

    HugePageAllocator() = default;
    template <class U> HugePageAllocator(const HugePageAllocator<U>&) {}

    T* allocate(std::size_t n)
    {
        if (n * sizeof(T) < HugePages::kLeast)
            return std::allocator<T>().allocate(n);
        return static_cast<T*>(HugePages::allocate(n * sizeof(T)));
    }

    void deallocate(T* block, std::size_t n) noexcept
    {
        if (n * sizeof(T) < HugePages::kLeast)
            std::allocator<T>().deallocate(block, n);
        else
            HugePages::release(block, n * sizeof(T));
    }

    template <class U> bool operator==(const HugePageAllocator<U>&) const { return true; }
    template <class U> bool operator!=(const HugePageAllocator<U>&) const { return false; }
};

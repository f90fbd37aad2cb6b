#include "HugePageAllocator.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>

namespace {
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

std::size_t roundUp(std::size_t bytes)
{
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
} // namespace

void* HugePages::allocate(std::size_t bytes)
{
    // One page more is mapped, so that the block can start where a huge page
    // does; what lies before and after it is given back.
    const std::size_t size = roundUp(bytes);
    void* const mapped = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    auto* const first = static_cast<char*>(mapped);
    auto* const start = reinterpret_cast<char*>(roundUp(reinterpret_cast<std::uintptr_t>(first)));
    if (start != first)
        ::munmap(first, std::size_t(start - first));
    if (const std::size_t after = std::size_t(first + size + kHugePage - (start + size)))
        ::munmap(start + size, after);
    // Where the system has no huge pages to give, the block has small ones.
    ::madvise(start, size, MADV_HUGEPAGE);
    return start;
}

void HugePages::release(void* block, std::size_t bytes) noexcept
{
    ::munmap(block, roundUp(bytes));
}

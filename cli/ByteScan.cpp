#include "ByteScan.h"

#include <cstdint>
#include <cstring>

namespace {

using Block = unsigned char __attribute__((vector_size(16)));
using Mask = signed char __attribute__((vector_size(16)));
constexpr std::size_t kBlock = sizeof(Block);

// The first lane of `mask` that is set (each lane is all ones or zero), or kBlock.
std::size_t firstSet(Mask mask)
{
    std::uint64_t half[2];
    std::memcpy(half, &mask, sizeof half);
    for (std::size_t i = 0; i < 2; ++i) {
        if (half[i] == 0)
            continue;
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        return i * 8 + std::size_t(__builtin_clzll(half[i])) / 8;
#else
        return i * 8 + std::size_t(__builtin_ctzll(half[i])) / 8;
#endif
    }
    return kBlock;
}

} // namespace

ByteScan::ByteScan(std::initializer_list<unsigned char> bytes, unsigned char below, bool high)
    : m_given(bytes.size() > 0), m_below(below), m_high(high)
{
    // Unused places repeat the first byte.
    std::size_t i = 0;
    for (const unsigned char b : bytes)
        if (i < sizeof m_bytes)
            m_bytes[i++] = b;
    for (; i < sizeof m_bytes; ++i)
        m_bytes[i] = m_bytes[0];
}

std::size_t ByteScan::find(std::string_view text) const
{
    const Block b0 = Block{} + m_bytes[0], b1 = Block{} + m_bytes[1], b2 = Block{} + m_bytes[2],
                b3 = Block{} + m_bytes[3], below = Block{} + m_below;
    const auto match = [&](Block block) {
        Mask mask = block < below;
        if (m_high)
            mask |= block >= (Block{} + 0x80);
        if (m_given)
            mask |= (block == b0) | (block == b1) | (block == b2) | (block == b3);
        return mask;
    };
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t at = 0;
    for (; at + kBlock <= size; at += kBlock) {
        Block block;
        std::memcpy(&block, data + at, kBlock);
        const std::size_t lane = firstSet(match(block));
        if (lane != kBlock)
            return at + lane;
    }
    if (at == size)
        return size;
    // The last bytes, in a block whose padding is not looked at.
    Block block = Block{};
    std::memcpy(&block, data + at, size - at);
    const std::size_t lane = firstSet(match(block));
    return lane < size - at ? at + lane : size;
}

#include "ByteScan.h"

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using Block = unsigned char __attribute__((vector_size(16)));
using Mask = signed char __attribute__((vector_size(16)));
constexpr std::size_t kBlock = sizeof(Block);

// Bit k is set where lane k of `mask` is (each lane is all ones or zero).
unsigned laneBits(Mask mask)
{
#ifdef __SSE2__
    return unsigned(_mm_movemask_epi8(reinterpret_cast<__m128i>(mask)));
#else
    unsigned bits = 0;
    for (std::size_t i = 0; i < kBlock; ++i)
        bits |= unsigned(mask[i] & 1) << i;
    return bits;
#endif
}

} // namespace

ByteScan::ByteScan(std::initializer_list<unsigned char> bytes, unsigned char below)
{
    for (int c = 0; c < 256; ++c)
        m_in[c] = c < below;
    for (const unsigned char b : bytes)
        m_in[b] = true;
    // With no byte given, the places hold one that the bound already takes
    // in; as a last resort 0xFF, which is then in the set too.
    const unsigned char fill = bytes.size() > 0 ? *bytes.begin() : below > 0 ? 0 : 0xFF;
    m_in[fill] = true;
    std::size_t i = 0;
    for (const unsigned char b : bytes)
        if (i < kBelow)
            std::memset(m_blocks[i++], b, kBlock);
    for (; i < kBelow; ++i)
        std::memset(m_blocks[i], fill, kBlock);
    std::memset(m_blocks[kBelow], below, kBlock);
}

// Returns a test of a block, which gives bit k where its lane k is in the set.
auto ByteScan::setTest() const
{
    Block b0, b1, b2, b3, below;
    std::memcpy(&b0, m_blocks[0], kBlock);
    std::memcpy(&b1, m_blocks[1], kBlock);
    std::memcpy(&b2, m_blocks[2], kBlock);
    std::memcpy(&b3, m_blocks[3], kBlock);
    std::memcpy(&below, m_blocks[kBelow], kBlock);
    return [=](Block block) {
        return laneBits((block < below) | (block == b0) | (block == b1) | (block == b2) |
                        (block == b3));
    };
}

void ByteScan::mark(std::string_view text, std::vector<std::uint64_t>& bits) const
{
    constexpr std::size_t kWord = 64;
    bits.assign((text.size() + kWord - 1) / kWord, 0);
    const auto inSet = setTest();
    std::size_t at = 0;
    for (; at + kBlock <= text.size(); at += kBlock) {
        Block block;
        std::memcpy(&block, text.data() + at, kBlock);
        bits[at / kWord] |= std::uint64_t(inSet(block)) << (at % kWord);
    }
    for (; at < text.size(); ++at)
        bits[at / kWord] |= std::uint64_t(m_in[static_cast<unsigned char>(text[at])])
                            << (at % kWord);
}

std::size_t ByteScan::find(std::string_view text) const
{
    return scan<false>(text, nullptr);
}

std::size_t ByteScan::copy(std::string_view text, char* to) const
{
    return scan<true>(text, to);
}

std::size_t ByteScan::findWord(std::string_view text, std::string_view word)
{
    if (text.size() < word.size())
        return text.size();
    const char* data = text.data();
    const std::size_t span = word.size() - 1;      // from the first byte to the last
    const std::size_t starts = text.size() - span; // the places where it may start
    Block first, last;
    std::memset(&first, word.front(), kBlock);
    std::memset(&last, word.back(), kBlock);
    std::size_t at = 0;
    for (; at + kBlock <= starts; at += kBlock) {
        Block head, tail;
        std::memcpy(&head, data + at, kBlock);
        std::memcpy(&tail, data + at + span, kBlock);
        for (unsigned bits = laneBits((head == first) & (tail == last)); bits != 0;
             bits &= bits - 1) {
            const std::size_t start = at + std::size_t(__builtin_ctz(bits));
            if (std::memcmp(data + start, word.data(), span) == 0)
                return start;
        }
    }
    for (; at < starts; ++at)
        if (std::memcmp(data + at, word.data(), word.size()) == 0)
            return at;
    return text.size();
}

template <bool Copy> std::size_t ByteScan::scan(std::string_view text, char* to) const
{
    const char* data = text.data();
    const std::size_t size = text.size();
    if (size < kBlock) {
        std::size_t at = 0;
        while (at < size && !m_in[static_cast<unsigned char>(data[at])]) {
            if constexpr (Copy)
                to[at] = data[at];
            ++at;
        }
        return at;
    }
    const auto inSet = setTest();
    // Each block is copied whole before it is looked at: the bytes after the
    // first of the set land within the room for the text, and later writes
    // go over them.
    const auto bitsAt = [&](std::size_t at) {
        Block block;
        std::memcpy(&block, data + at, kBlock);
        if constexpr (Copy)
            std::memcpy(to + at, &block, kBlock);
        return inSet(block);
    };
    std::size_t at = 0;
    for (; at + kBlock <= size; at += kBlock) {
        if (const unsigned bits = bitsAt(at))
            return at + std::size_t(__builtin_ctz(bits));
    }
    if (at == size)
        return size;
    // The last bytes, in a block that ends with the text; the lanes already
    // looked at are dropped.
    const std::size_t last = size - kBlock;
    const unsigned bits = bitsAt(last) >> (at - last);
    return bits ? at + std::size_t(__builtin_ctz(bits)) : size;
}

#include "ByteScan.h"

#include "convert/FormScanner.h"

#include <cstdint>
#include <cstring>
#include <optional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __x86_64__
#include <immintrin.h>
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

#ifdef __x86_64__
// ByteScan::mark's loop with AVX2: the 64 bits of each whole word of `bits`
// for the 64 bytes of `text` there, from two blocks of 32; returns how many
// bytes it marked. `given` are a ByteScan's four blocks of given bytes and
// `bound` its block of the bound.
__attribute__((target("avx2"))) std::size_t markWords(std::string_view text,
                                                      const unsigned char (*given)[16],
                                                      const unsigned char* bound,
                                                      std::uint64_t* bits)
{
    const auto block = [&](const unsigned char* bytes) __attribute__((target("avx2")))
    {
        return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)));
    };
    const __m256i b0 = block(given[0]), b1 = block(given[1]), b2 = block(given[2]),
                  b3 = block(given[3]), below = block(bound);
    const auto inSet = [&](std::size_t at) __attribute__((target("avx2")))
    {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text.data() + at));
        const __m256i isGiven =
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(c, b0), _mm256_cmpeq_epi8(c, b1)),
                            _mm256_or_si256(_mm256_cmpeq_epi8(c, b2), _mm256_cmpeq_epi8(c, b3)));
        // Unsigned, a byte at or above the bound is its maximum with it.
        const __m256i notBelow = _mm256_cmpeq_epi8(_mm256_max_epu8(c, below), c);
        return std::uint32_t(_mm256_movemask_epi8(isGiven)) |
               ~std::uint32_t(_mm256_movemask_epi8(notBelow));
    };
    std::size_t at = 0;
    for (; at + 64 <= text.size(); at += 64)
        bits[at / 64] = std::uint64_t(inSet(at)) | std::uint64_t(inSet(at + 32)) << 32;
    return at;
}

// ByteScan::findWord's loop with AVX2, 32 places at a time, from `at` while
// `starts` leaves a whole block: the place where `word` starts, or nothing,
// with `at` where it stopped.
__attribute__((target("avx2"))) std::optional<std::size_t>
findWordFrom(const char* data, std::size_t starts, std::string_view word, std::size_t& at)
{
    const std::size_t span = word.size() - 1;
    const __m256i first = _mm256_set1_epi8(word.front()), last = _mm256_set1_epi8(word.back());
    for (; at + 32 <= starts; at += 32) {
        const __m256i head = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
        const __m256i tail = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + span));
        for (auto bits = unsigned(_mm256_movemask_epi8(
                 _mm256_and_si256(_mm256_cmpeq_epi8(head, first), _mm256_cmpeq_epi8(tail, last))));
             bits != 0; bits &= bits - 1) {
            const std::size_t start = at + std::size_t(__builtin_ctz(bits));
            if (std::memcmp(data + start, word.data(), span) == 0)
                return start;
        }
    }
    return std::nullopt;
}
#endif

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
#ifdef __x86_64__
    if (FormScanner::hasAvx2())
        at = markWords(text, m_blocks, m_blocks[kBelow], bits.data());
#endif
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
#ifdef __x86_64__
    if (FormScanner::hasAvx2())
        if (const auto found = findWordFrom(data, starts, word, at))
            return *found;
#endif
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

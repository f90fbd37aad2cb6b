// The scanning code of the decoders (see FormScanner.h). A decoder's .cpp file
// includes this once for each kind of vector instructions, through Highway's
// foreach_target.h, so that these functions are inlined into a loop compiled
// for the same instructions. Two kinds of scanning, with the same calls:
// PlainScan goes a byte at a time, VectorScan a block at a time.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include <hwy/highway.h>

#if HWY_ARCH_X86_64
#include <immintrin.h>
#endif

#include "FormScanner.h"

#ifndef FORMTIDY_FORM_SCANNER_DISPATCH
#define FORMTIDY_FORM_SCANNER_DISPATCH
// The function FUNC, defined in this file's namespace formtidy::HWY_NAMESPACE
// for each target, of the vector target that FormScanner::current() names.
// Written after the per-target parts, where HWY_NAMESPACE is the baseline's.
#if HWY_ARCH_X86 && (HWY_TARGETS & HWY_AVX2) && (HWY_TARGETS & HWY_AVX3_DL) &&                     \
    HWY_STATIC_TARGET != HWY_AVX2
#define FORMTIDY_VECTOR_FUNCTION(FUNC)                                                             \
    (FormScanner::current() == HWY_AVX3_DL ? &formtidy::N_AVX3_DL::FUNC                            \
     : FormScanner::current() == HWY_AVX2  ? &formtidy::N_AVX2::FUNC                               \
                                           : &formtidy::HWY_NAMESPACE::FUNC)
#else
#define FORMTIDY_VECTOR_FUNCTION(FUNC) (&formtidy::HWY_NAMESPACE::FUNC)
#endif

#if HWY_ARCH_X86_64
namespace formtidy {
// For each set of the eight lanes of a group, the byte shuffle that gathers
// those lanes at its front, in order (see VectorScan::storeKept).
struct CompactTable
{
    unsigned char order[256][8] = {};
    constexpr CompactTable()
    {
        for (int lanes = 0; lanes < 256; ++lanes) {
            int to = 0;
            for (int lane = 0; lane < 8; ++lane)
                if (lanes & (1 << lane))
                    order[lanes][to++] = static_cast<unsigned char>(lane);
        }
    }
};
inline constexpr CompactTable kCompact;
} // namespace formtidy
#endif
#endif

// Included once for each target, as Highway's own per-target headers are.
#if defined(FORMTIDY_FORM_SCANNER_INL_H) == defined(HWY_TARGET_TOGGLE)
#ifdef FORMTIDY_FORM_SCANNER_INL_H
#undef FORMTIDY_FORM_SCANNER_INL_H
#else
#define FORMTIDY_FORM_SCANNER_INL_H
#endif

HWY_BEFORE_NAMESPACE();
namespace formtidy {
namespace HWY_NAMESPACE {

struct PlainScan
{
    // How many of the `n` bytes at `src` are one of `Bytes`.
    template <unsigned char... Bytes>
    static std::size_t count(const unsigned char* src, std::size_t n)
    {
        // Counted in blocks with a narrow counter, which the compiler turns
        // into wide vector compares.
        std::size_t count = 0;
        for (std::size_t i = 0; i < n;) {
            const std::size_t end = std::min(n, i + 65535);
            std::uint32_t block = 0;
            for (; i < end; ++i)
                block += ((src[i] == Bytes) | ...);
            count += block;
        }
        return count;
    }

    // See VectorScan; the byte-at-a-time loop of the caller does it all.
    template <unsigned char... Stops, class OnStop>
    static std::size_t forEachStop(const unsigned char*, std::size_t p, std::size_t, char*&,
                                   OnStop&&)
    {
        return p;
    }
};

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ &&                                                   \
    (HWY_ARCH_X86_64 || (HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128))
struct VectorScan
{
    template <unsigned char... Bytes>
    static HWY_INLINE std::size_t count(const unsigned char* src, std::size_t n)
    {
        std::size_t count = 0;
        std::size_t i = 0;
        for (; i + 64 <= n; i += 64)
            count += hwy::PopCount(mask<Bytes...>(src + i));
        return count + PlainScan::count<Bytes...>(src + i, n - i);
    }

    // Calls `onStop(q, dst)` for each byte of `Stops` at a position q from
    // `p` on, in order, after copying the bytes before it to `dst`, "+" as a
    // space. The handler writes the decoding of what it consumes at `dst`,
    // moves `dst` past it and returns the position after it, where the copying
    // goes on; stops inside what it consumed are passed over. A handler may
    // look 8 bytes past q. Returns where it stopped, near the end of the `n`
    // bytes at `src`, for the caller's own loop to go on; what comes before
    // is all written. Given kMargin bytes as `n`, it does one block.
    //
    // Whole vectors are written: `dst` needs room for as many bytes as are
    // left from `p`, whatever the decoding writes.
    template <unsigned char... Stops, class OnStop>
    static HWY_INLINE std::size_t forEachStop(const unsigned char* src, std::size_t p,
                                              std::size_t n, char*& dst, OnStop&& onStop)
    {
        std::size_t block = p;
        for (; block + kMargin <= n; block += 64) {
            // The positions of the stops come from the block alone, not from
            // what the handlers consume, so that the processor can work
            // ahead on the next one.
            for (std::uint64_t stops = mask<Stops...>(src + block); stops != 0;
                 stops &= stops - 1) {
                const std::size_t q = block + hwy::Num0BitsBelowLS1Bit_Nonzero64(stops);
                if (q < p)
                    continue;
                copy(src + p, q - p, dst);
                dst += q - p;
                p = onStop(q, dst);
            }
        }
        // What follows the last stop is copied too: a caller that calls again
        // after a byte of its own must not scan the same bytes again.
        if (p < block) {
            copy(src + p, block - p, dst);
            dst += block - p;
            p = block;
        }
        return p;
    }

    // The text that forEachStop needs from a block's start on:
    // the block, a vector copied past its last stop and a handler's look ahead.
    static constexpr std::size_t kMargin = 64 + 64 + 8;

#if HWY_ARCH_X86_64 && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3_DL)
    // Writes at `dst` the lanes of the 64 bytes at `decoded`, which is
    // aligned to 64, that `keep` marks, in order, and returns the end of what
    // it wrote. Up to 64 bytes more are written.
    static HWY_INLINE char* storeKept(const unsigned char* decoded, std::uint64_t keep, char* dst)
    {
#if HWY_TARGET == HWY_AVX3_DL
        _mm512_storeu_si512(dst, _mm512_maskz_compress_epi8(keep, _mm512_load_si512(decoded)));
#else
        // Eight lanes at a time. Each group's place comes from the lanes
        // before it, not from the group before, so that the groups do not
        // wait for one another.
        for (int g = 0; g < 64; g += 8) {
            const unsigned lanes = unsigned(keep >> g) & 0xFF;
            const __m128i order =
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompact.order[lanes]));
            const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(decoded + g));
            const std::uint64_t before = keep & ((std::uint64_t(1) << g) - 1);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + hwy::PopCount(before)),
                             _mm_shuffle_epi8(bytes, order));
        }
#endif
        return dst + hwy::PopCount(keep);
    }

    // As storeKept, and for each lane of `splits`, in order, where the kept
    // lanes before it end, `onSplit(lane, out)` writes what that lane stands
    // for and moves `out` past it. Up to 64 bytes more are written after
    // each.
    template <class OnSplit>
    static HWY_INLINE char* storeKeptAround(const unsigned char* decoded, std::uint64_t keep,
                                            std::uint64_t splits, char* dst, OnSplit&& onSplit)
    {
        // Writes at `dst` the kept lanes from the `from`th on, those of `after`.
#if HWY_TARGET == HWY_AVX3_DL
        // Gathered anew each time.
        const __m512i lanes = _mm512_load_si512(decoded);
        const auto writeKept = [&](std::size_t, std::uint64_t after) {
            _mm512_storeu_si512(dst, _mm512_maskz_compress_epi8(keep & after, lanes));
        };
#else
        // Gathered apart once, and copied on from each split over what the
        // copy before wrote past its part.
        alignas(64) unsigned char kept[128];
        storeKept(decoded, keep, reinterpret_cast<char*>(kept));
        const auto writeKept = [&](std::size_t from, std::uint64_t) {
            for (std::size_t half = 0; half < 64; half += 32)
                _mm256_storeu_si256(
                    reinterpret_cast<__m256i*>(dst + half),
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kept + from + half)));
        };
#endif
        writeKept(0, ~std::uint64_t(0));
        std::size_t placed = 0; // kept lanes written before `dst`
        for (std::uint64_t rest = splits; rest != 0; rest &= rest - 1) {
            const int lane = int(hwy::Num0BitsBelowLS1Bit_Nonzero64(rest));
            const std::uint64_t below = (std::uint64_t(1) << lane) - 1;
            const std::size_t at = hwy::PopCount(keep & below);
            dst += at - placed;
            placed = at;
            onSplit(lane, dst);
            writeKept(at, ~below);
        }
        return dst + (hwy::PopCount(keep) - placed);
    }
#endif

    // Bit k is set where src[k], of the 64 bytes at `src`, is one of `Bytes`.
    template <unsigned char... Bytes> static HWY_INLINE std::uint64_t mask(const unsigned char* src)
    {
        std::uint64_t bits = 0;
#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128
        // Highway's fallback target on x86-64 is the SSE2 every such
        // processor has.
        for (int k = 0; k < 64; k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k));
            __m128i hit = _mm_setzero_si128();
            ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(Bytes))))), ...);
            bits |= std::uint64_t(unsigned(_mm_movemask_epi8(hit))) << k;
        }
#else
        namespace hn = hwy::HWY_NAMESPACE;
        const hn::CappedTag<std::uint8_t, 64> d;
        for (std::size_t k = 0; k < 64; k += hn::Lanes(d)) {
            // Lane i goes to bit i: the bytes come lowest first.
            std::uint64_t lanes = 0;
            hn::StoreMaskBits(d, anyOf<Bytes...>(d, hn::LoadU(d, src + k)),
                              reinterpret_cast<std::uint8_t*>(&lanes));
            bits |= lanes << k;
        }
#endif
        return bits;
    }

private:
    // Copies the `n` bytes at `src` to `dst`, "+" as a space, in whole
    // vectors: up to a vector more is read and written.
    static HWY_INLINE void copy(const unsigned char* src, std::size_t n, char* dstChars)
    {
        constexpr unsigned char kFlip = '+' ^ ' ';
        auto* dst = reinterpret_cast<unsigned char*>(dstChars);
        std::size_t k = 0;
#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128
        do {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k));
            const __m128i plus = _mm_cmpeq_epi8(v, _mm_set1_epi8('+'));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k),
                             _mm_xor_si128(v, _mm_and_si128(plus, _mm_set1_epi8(kFlip))));
            k += 16;
        } while (k < n);
#else
        namespace hn = hwy::HWY_NAMESPACE;
        const hn::CappedTag<std::uint8_t, 64> d;
        do {
            const auto v = hn::LoadU(d, src + k);
            const auto plus = hn::VecFromMask(d, hn::Eq(v, hn::Set(d, '+')));
            hn::StoreU(hn::Xor(v, hn::And(plus, hn::Set(d, kFlip))), d, dst + k);
            k += hn::Lanes(d);
        } while (k < n);
#endif
    }

#if HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128
    // The lanes of `v` that hold one of `First`, `Rest`.
    template <unsigned char First, unsigned char... Rest, class D, class V>
    static HWY_INLINE auto anyOf(D d, V v)
    {
        namespace hn = hwy::HWY_NAMESPACE;
        const auto hit = hn::Eq(v, hn::Set(d, First));
        if constexpr (sizeof...(Rest) == 0)
            return hit;
        else
            return hn::Or(hit, anyOf<Rest...>(d, v));
    }
#endif
};
#else
// No vectors to use here.
using VectorScan = PlainScan;
#endif

} // namespace HWY_NAMESPACE
} // namespace formtidy
HWY_AFTER_NAMESPACE();

#endif // per-target include guard

#include "DecodeFormText.h"

#include "FormScanner.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Highway compiles this file once for each kind of vector instructions (see
// FormScanner.h); the tables are defined only the first time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "convert/DecodeFormText.cpp"
#include <hwy/foreach_target.h>

#include "FormScanner-inl.h"

#ifndef FORMTIDY_DECODE_FORM_TEXT_TABLES
#define FORMTIDY_DECODE_FORM_TEXT_TABLES
namespace {

// The two lead bytes that give a decoded text its structure.
constexpr unsigned char kFieldBreakByte = '&';
constexpr unsigned char kNameSeparatorByte = '=';

// What each lead byte other than "%" appends: up to four bytes, stored so
// that all four can be written at once, and how many of them count.
struct LeadOutput
{
    char bytes[4];
    unsigned char length;
};

constexpr std::array<LeadOutput, 256> makeLeadTable()
{
    std::array<LeadOutput, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = {{static_cast<char>(c), 0, 0, 0}, 1}; // any other byte: itself
    t['\0'] = {{0, 0, 0, 0}, 0};
    t['+'] = {{' ', 0, 0, 0}, 1};
    const auto layout = [](std::string_view bytes) {
        LeadOutput lead{};
        for (const char c : bytes)
            lead.bytes[lead.length++] = c;
        return lead;
    };
    t[kFieldBreakByte] = layout(FormFieldBreak());
    t[kNameSeparatorByte] = layout(FormNameSeparator());
    return t;
}
constexpr auto kLead = makeLeadTable();

// What a "%" escape appends, and how many bytes it consumes, "%" included.
struct Escape
{
    char out;  // the byte appended, or 0 for nothing
    bool crlf; // appends "\r\n" instead of `out`
    unsigned char consumed;
};

// Escape for "%" + first + second. `second` is -1 at the end of the text.
// Upper-case letters only: "%0d" and "%7e" decode to nothing.
constexpr Escape escapeFor(unsigned char first, int second)
{
    switch (first) {
    case '0':
        if (second == 'D')
            return {0, true, 6}; // "%0D" and the "%0A" that follows it, unseen
        return {0, false, 3};
    case '2':
        switch (second) {
        case '1':
            return {'!', false, 3};
        case '3':
            return {'#', false, 3};
        case '4':
            return {'$', false, 3};
        case '5':
            return {'%', false, 3};
        case '6':
            return {'&', false, 3};
        case '7':
            return {'\'', false, 3};
        case '8':
            return {'(', false, 3};
        case '9':
            return {')', false, 3};
        default:
            return {0, false, 3}; // "%22" and the unknown ones
        }
    case '3':
        return {second == 'F' ? '?' : char(0), false, 3};
    case '5':
        return {second == 'E' ? '^' : char(0), false, 3};
    case '6':
        return {second == '0' ? '`' : char(0), false, 3};
    case '7':
        return {second == 'E' ? '~' : char(0), false, 3};
    default:
        // "1", "4", any other byte, or the end of the text: the "%" and the
        // first digit are dropped and the next byte is read as a lead.
        return {0, false, 2};
    }
}

// The escapes whose three bytes are all in the text, looked up in a table
// rather than through escapeFor's switch, whose branches a processor cannot
// foresee in real text: kEscapeRow picks the row of the first digit, the
// second character the column. The entries come from escapeFor, so the two
// cannot differ.
struct EscapeOutput
{
    char bytes[2]; // written whole; `length` of them count
    unsigned char length;
    unsigned char consumed;
};

constexpr const char kEscapeFirsts[] = "023567"; // the first digits escapeFor knows

constexpr std::array<unsigned char, 256> makeEscapeRows()
{
    std::array<unsigned char, 256> rows{};
    for (int i = 0; kEscapeFirsts[i]; ++i)
        rows[static_cast<unsigned char>(kEscapeFirsts[i])] = static_cast<unsigned char>(i + 1);
    return rows;
}
constexpr auto kEscapeRow = makeEscapeRows();

using EscapeTable = std::array<std::array<EscapeOutput, 256>, sizeof kEscapeFirsts>;
constexpr EscapeTable makeEscapeTable()
{
    EscapeTable t{};
    for (std::size_t row = 0; row < t.size(); ++row) {
        // Row 0 stands for every first digit that escapeFor does not know.
        const unsigned char first = row == 0 ? 'X' : kEscapeFirsts[row - 1];
        for (int second = 0; second < 256; ++second) {
            const Escape e = escapeFor(first, second);
            EscapeOutput& out = t[row][second];
            if (e.crlf)
                out = {{'\r', '\n'}, 2, e.consumed};
            else
                out = {{e.out, 0}, static_cast<unsigned char>(e.out ? 1 : 0), e.consumed};
        }
    }
    return t;
}
constexpr EscapeTable kEscapeTable = makeEscapeTable();

// What the block decoder needs to know of an escape by its first digit, "0"
// to "7", from escapeFor: looked up by the digit's low four bits, the same
// sixteen entries in each half of a vector. Whatever escapeFor does that
// these flags cannot tell stops the build.
struct FirstDigitTable
{
    static constexpr unsigned char kThree = 0x80;       // consumes three bytes or more
    static constexpr unsigned char kPaired = 0x40;      // writes `out` for the second byte `second`
    static constexpr unsigned char kSix = 0x20;         // and consumes six then
    static constexpr unsigned char kPunctuation = 0x10; // writes the second digit less 0x10
    alignas(32) unsigned char kind[32] = {};
    alignas(32) unsigned char second[32] = {};
    alignas(32) unsigned char out[32] = {};

    constexpr FirstDigitTable()
    {
        for (int digit = 0; digit < 8; ++digit) {
            const unsigned char first = static_cast<unsigned char>('0' + digit);
            unsigned char flags = escapeFor(first, 'X').consumed >= 3 ? kThree : 0;
            for (int next = 0; next < 256; ++next) {
                const Escape e = escapeFor(first, next);
                if ((e.consumed >= 3) != ((flags & kThree) != 0))
                    throw "the second byte changes how much an escape consumes";
                if (first == '2' && next >= '1' && next <= '9') {
                    // All but "%22", which writes nothing.
                    if (e.crlf || e.out != (next == '2' ? 0 : next - 0x10))
                        throw "an escape the block decoder does not know";
                    flags |= kPunctuation;
                    continue;
                }
                if (!e.out && !e.crlf)
                    continue;
                if ((flags & kPaired) || (e.crlf != (e.consumed == 6)))
                    throw "an escape the block decoder does not know";
                flags |= kPaired | (e.crlf ? kSix : 0);
                second[digit] = second[digit + 16] = static_cast<unsigned char>(next);
                out[digit] = out[digit + 16] = e.crlf ? '\r' : static_cast<unsigned char>(e.out);
            }
            kind[digit] = kind[digit + 16] = flags;
        }
    }
};
constexpr FirstDigitTable kFirstDigit;

// Room left after the decoded text for the four bytes always written for a lead.
constexpr std::size_t kSlack = 4;

} // namespace
#endif // FORMTIDY_DECODE_FORM_TEXT_TABLES

HWY_BEFORE_NAMESPACE();
namespace formtidy {
namespace HWY_NAMESPACE {

// Upper bound of the decoded length: only "&" and "=" grow, each by 3 bytes.
template <class Scan> std::size_t decodedBound(std::string_view in)
{
    const auto* src = reinterpret_cast<const unsigned char*>(in.data());
    return in.size() +
           3 * Scan::template count<kFieldBreakByte, kNameSeparatorByte>(src, in.size());
}

#if HWY_ARCH_X86_64 && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3_DL)
// A block with fewer "%" than this is decoded a lead at a time: its few
// stops cost less one by one than the block's work as a whole.
constexpr std::size_t kFewEscapes = 2;

// What the block decoder learns of a block of 64 bytes from the bytes alone,
// for all lanes at once.
struct BlockLanes
{
    // Each lane's decoding, were it written: its byte ("+" as a space), at a
    // "%" what the escape writes, and after "%0D" the line feed of "\r\n".
    alignas(64) unsigned char decoded[64];
    // The lanes of a "%" (were it a lead), of one that consumes three bytes or
    // six, of the bytes that write nothing of themselves, and of "&" or "=".
    std::uint64_t percent = 0, three = 0, six = 0, silent = 0, splits = 0;
};

#if HWY_TARGET == HWY_AVX3_DL
// Reads the block at `at` and the two bytes after it, in one vector.
HWY_INLINE void readBlock(const unsigned char* at, BlockLanes& lanes)
{
    const auto is = [](__m512i v, char c) {
        return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
    };
    const auto table = [](const unsigned char* entries) {
        return _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(entries)));
    };
    const __m512i c = _mm512_loadu_si512(at), first = _mm512_loadu_si512(at + 1),
                  second = _mm512_loadu_si512(at + 2);
    const __mmask64 isPercent = is(c, '%');
    // The escapes escapeFor knows begin with a digit "0" to "7"; a table by
    // the digit gives what each one needs (see kFirstDigit).
    const __m512i digit = _mm512_and_si512(first, _mm512_set1_epi8(0x0F));
    const __m512i known =
        _mm512_maskz_shuffle_epi8(is(_mm512_and_si512(first, _mm512_set1_epi8(char(0xF0))), '0'),
                                  table(kFirstDigit.kind), digit);
    const auto kind = [&](unsigned char flag) {
        return _mm512_test_epi8_mask(known, _mm512_set1_epi8(char(flag)));
    };
    // "%0D", "%3F", "%5E", "%60", "%7E": a second byte of their own.
    const __mmask64 paired =
        kind(FirstDigitTable::kPaired) &
        _mm512_cmpeq_epi8_mask(second, _mm512_shuffle_epi8(table(kFirstDigit.second), digit));
    // "%21" to "%29" but "%22": the second digit tells the byte.
    const __mmask64 punctuation =
        kind(FirstDigitTable::kPunctuation) & ~is(second, '2') &
        _mm512_cmple_epu8_mask(_mm512_sub_epi8(second, _mm512_set1_epi8('1')), _mm512_set1_epi8(8));
    const __m512i value = _mm512_mask_sub_epi8(_mm512_shuffle_epi8(table(kFirstDigit.out), digit),
                                               punctuation, second, _mm512_set1_epi8(0x10));
    const __mmask64 crlfLead = paired & kind(FirstDigitTable::kSix) & isPercent;
    __m512i decoded = _mm512_mask_blend_epi8(is(c, '+'), c, _mm512_set1_epi8(' '));
    decoded = _mm512_mask_mov_epi8(decoded, isPercent, value);
    decoded = _mm512_mask_mov_epi8(decoded, crlfLead << 1, _mm512_set1_epi8('\n'));
    _mm512_store_si512(lanes.decoded, decoded);
    lanes.percent = isPercent;
    lanes.three = isPercent & kind(FirstDigitTable::kThree);
    lanes.six = crlfLead;
    lanes.silent = is(c, '\0') | (isPercent & ~(paired | punctuation));
    lanes.splits = is(c, char(kFieldBreakByte)) | is(c, char(kNameSeparatorByte));
}
#else
// Reads the block at `at` and the two bytes after it, in two halves.
HWY_INLINE void readBlock(const unsigned char* at, BlockLanes& lanes)
{
    const auto is = [](__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); };
    const auto bits = [](__m256i lanes, std::size_t k) {
        return std::uint64_t(std::uint32_t(_mm256_movemask_epi8(lanes))) << k;
    };
    const auto table = [](const unsigned char* entries) {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(entries));
    };
    const __m256i kinds = table(kFirstDigit.kind), seconds = table(kFirstDigit.second),
                  outs = table(kFirstDigit.out);
    __m256i lastCrlf = _mm256_setzero_si256(); // of the half before
    for (std::size_t k = 0; k < 64; k += 32) {
        const auto load = [&](std::size_t from) {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + k + from));
        };
        const __m256i c = load(0), first = load(1), second = load(2);
        const __m256i isPercent = is(c, '%');
        // As in the other readBlock, with masks made of whole lanes.
        const __m256i digit = _mm256_and_si256(first, _mm256_set1_epi8(0x0F));
        const __m256i known =
            _mm256_and_si256(_mm256_shuffle_epi8(kinds, digit),
                             is(_mm256_and_si256(first, _mm256_set1_epi8(char(0xF0))), '0'));
        const auto kind = [&](unsigned char flag) {
            return is(_mm256_and_si256(known, _mm256_set1_epi8(char(flag))), char(flag));
        };
        const __m256i paired =
            _mm256_and_si256(kind(FirstDigitTable::kPaired),
                             _mm256_cmpeq_epi8(second, _mm256_shuffle_epi8(seconds, digit)));
        const __m256i fromOne = _mm256_sub_epi8(second, _mm256_set1_epi8('1'));
        const __m256i punctuation = _mm256_andnot_si256(
            is(second, '2'),
            _mm256_and_si256(
                kind(FirstDigitTable::kPunctuation),
                _mm256_cmpeq_epi8(_mm256_min_epu8(fromOne, _mm256_set1_epi8(8)), fromOne)));
        const __m256i value =
            _mm256_blendv_epi8(_mm256_shuffle_epi8(outs, digit),
                               _mm256_sub_epi8(second, _mm256_set1_epi8(0x10)), punctuation);
        const __m256i written = _mm256_or_si256(paired, punctuation);
        const __m256i crlf = _mm256_and_si256(paired, kind(FirstDigitTable::kSix));
        const __m256i spaced = _mm256_blendv_epi8(c, _mm256_set1_epi8(' '), is(c, '+'));
        const __m256i crlfLead = _mm256_and_si256(crlf, isPercent);
        const __m256i crlfBefore =
            _mm256_alignr_epi8(crlfLead, _mm256_permute2x128_si256(lastCrlf, crlfLead, 0x21), 15);
        lastCrlf = crlfLead;
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes.decoded + k),
                           _mm256_blendv_epi8(_mm256_blendv_epi8(spaced, value, isPercent),
                                              _mm256_set1_epi8('\n'), crlfBefore));
        lanes.percent |= bits(isPercent, k);
        lanes.three |= bits(_mm256_and_si256(isPercent, known), k); // kThree is the top bit
        lanes.six |= bits(crlfLead, k);
        lanes.silent |=
            bits(_mm256_or_si256(is(c, '\0'), _mm256_andnot_si256(written, isPercent)), k);
        lanes.splits |=
            bits(_mm256_or_si256(is(c, char(kFieldBreakByte)), is(c, char(kNameSeparatorByte))), k);
    }
}
#endif

#if HWY_TARGET == HWY_AVX3_DL
// As VectorScan::storeKeptAround, where each lane of `splits` writes its
// layout: the field break for an "&" of the block at `block`, the name
// separator for an "=". Both are four bytes, so each quarter of the block is
// spread to four bytes a lane, its layouts put in place and what is written
// gathered in one step, with no branch on how many splits there are: their
// number changes from block to block too often to be foreseen.
HWY_INLINE char* storeKeptWithLayout(const unsigned char* block, const unsigned char* decoded,
                                     std::uint64_t keep, std::uint64_t splits, char* dst)
{
    static_assert(FormFieldBreak().size() == 4 && FormNameSeparator().size() == 4);
    const auto repeated = [](std::string_view layout) {
        std::uint32_t word = 0;
        std::memcpy(&word, layout.data(), 4);
        return _mm512_set1_epi32(int(word));
    };
    const __m512i lanes = _mm512_load_si512(decoded);
    const std::uint64_t breaks =
        splits &
        _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(block), _mm512_set1_epi8(char(kFieldBreakByte)));
    // Each lane's part: the low four bits, which of its four bytes are
    // written; kLayout, that they are a layout; kBreak, the field break's.
    constexpr char kLayout = 0x10, kBreak = 0x20;
    __m512i part = _mm512_maskz_mov_epi8(keep, _mm512_set1_epi8(0x01));
    part = _mm512_mask_mov_epi8(part, splits, _mm512_set1_epi8(0x0F | kLayout));
    part = _mm512_mask_mov_epi8(part, breaks, _mm512_set1_epi8(0x0F | kLayout | kBreak));
    // Byte j of a quarter holds lane j / 4 of it and tests bit j % 4 of
    // the lane's part.
    const __m512i laneOfByte =
        _mm512_setr_epi32(0x00000000, 0x01010101, 0x02020202, 0x03030303, 0x04040404, 0x05050505,
                          0x06060606, 0x07070707, 0x08080808, 0x09090909, 0x0A0A0A0A, 0x0B0B0B0B,
                          0x0C0C0C0C, 0x0D0D0D0D, 0x0E0E0E0E, 0x0F0F0F0F);
    const __m512i bitOfByte = _mm512_set1_epi32(0x08040201);
    const __m512i separatorLayout = repeated(FormNameSeparator()),
                  breakLayout = repeated(FormFieldBreak());
    for (int quarter = 0; quarter < 64; quarter += 16) {
        const __m512i from = _mm512_add_epi8(laneOfByte, _mm512_set1_epi8(char(quarter)));
        const __m512i parts = _mm512_permutexvar_epi8(from, part);
        __m512i bytes = _mm512_permutexvar_epi8(from, lanes);
        bytes = _mm512_mask_mov_epi8(bytes, _mm512_test_epi8_mask(parts, _mm512_set1_epi8(kLayout)),
                                     separatorLayout);
        bytes = _mm512_mask_mov_epi8(bytes, _mm512_test_epi8_mask(parts, _mm512_set1_epi8(kBreak)),
                                     breakLayout);
        const __mmask64 written = _mm512_test_epi8_mask(parts, bitOfByte);
        _mm512_storeu_si512(dst, _mm512_maskz_compress_epi8(written, bytes));
        dst += hwy::PopCount(std::uint64_t(written));
    }
    return dst;
}
#endif

// Decodes the text at `src` from `p` in blocks of 64 bytes while `n` leaves
// room, writing at `dst`, as decodeInto does (see there for `Mark`, `base`
// and `marks`). Each block's escapes, the bytes they consume and the bytes
// that stand for themselves are worked out for the whole block at once
// (readBlock), and the bytes to keep are gathered at once; with AVX2 the
// field breaks and name separators are then handled one by one, with AVX-512
// in four fixed steps (storeKeptWithLayout). A "%" that another escape may
// consume is a lead or not depending on what comes before it: where that is
// not settled by the block's first look, `decodeLead` decodes the block a
// lead at a time instead. Returns where it stopped: never within an escape.
template <bool Mark, class DecodeLead>
HWY_INLINE std::size_t decodeBlocks(const unsigned char* src, std::size_t p, std::size_t n,
                                    char*& dst, const char* base, std::vector<FormSplit>* marks,
                                    DecodeLead&& decodeLead)
{
    // The first lanes of a block that the last escape of the block before
    // consumed. The blocks follow one another 64 bytes apart, so that the
    // processor can read and work out the next while this one is written.
    std::uint64_t carried = 0;
    // Goes on a lead at a time, from after what the last escape consumed.
    const auto leadByLead = [&] {
        p += hwy::PopCount(carried);
        carried = 0;
        p = VectorScan::forEachStop<'%', kFieldBreakByte, kNameSeparatorByte, '\0'>(
            src, p, p + VectorScan::kMargin, dst, decodeLead);
    };
    while (p + VectorScan::kMargin <= n) {
        if (hwy::PopCount(VectorScan::mask<'%'>(src + p) & ~carried) < kFewEscapes) {
            leadByLead();
            continue;
        }
        BlockLanes lanes;
        readBlock(src + p, lanes);
        unsigned char* const decoded = lanes.decoded;
        const std::uint64_t percent = lanes.percent & ~carried, three = lanes.three,
                            six = lanes.six, silent = lanes.silent;
        std::uint64_t splits = lanes.splits;
        // The lanes that the escapes of `leads` consume after their "%", in
        // this block and (the upper half) in the next.
        using Lanes128 = unsigned __int128;
        const auto consumedAcross = [&](std::uint64_t leads) {
            const Lanes128 all = leads, threes = leads & three, sixes = leads & six;
            return (all << 1) | (threes << 2) | (sixes << 3) | (sixes << 4) | (sixes << 5);
        };
        const auto consumedBy = [&](std::uint64_t leads) {
            return std::uint64_t(consumedAcross(leads));
        };
        // A "%" no other can consume is a lead. Those that one may consume
        // are not, as long as none of them could itself consume another.
        const std::uint64_t mayBeConsumed = percent & consumedBy(percent);
        const std::uint64_t leads = percent & ~mayBeConsumed;
        const std::uint64_t crlfs = leads & six;
        if ((consumedBy(mayBeConsumed) & mayBeConsumed) != 0 || (crlfs >> 63) != 0) {
            leadByLead();
            continue;
        }
        const Lanes128 consumedLanes = consumedAcross(leads);
        const std::uint64_t consumed = std::uint64_t(consumedLanes) | carried;
        splits &= ~consumed;
        const std::uint64_t keep = ~(consumed | silent | splits) | (crlfs << 1);
        // A "%0D" that is no lead, as in "%%0D", gave the lane after it a
        // line feed that is not to be written: the lane holds its own byte.
        for (std::uint64_t rest = (six << 1) & ~(crlfs << 1) & keep; rest != 0; rest &= rest - 1) {
            const int lane = int(hwy::Num0BitsBelowLS1Bit_Nonzero64(rest));
            decoded[lane] = src[p + std::size_t(lane)];
        }
        if constexpr (Mark) {
            for (std::uint64_t rest = splits; rest != 0; rest &= rest - 1) {
                const int lane = int(hwy::Num0BitsBelowLS1Bit_Nonzero64(rest));
                AddFormSplit(*marks,
                             std::size_t(dst - base) +
                                 hwy::PopCount(keep & ((std::uint64_t(1) << lane) - 1)),
                             src[p + std::size_t(lane)] == kFieldBreakByte);
            }
        }
        if (Mark || splits == 0) {
            dst = VectorScan::storeKept(decoded, keep, dst);
        } else {
#if HWY_TARGET == HWY_AVX3_DL
            dst = storeKeptWithLayout(src + p, decoded, keep, splits, dst);
#else
            // Each "&" and "=" writes its layout between the kept bytes.
            dst =
                VectorScan::storeKeptAround(decoded, keep, splits, dst, [&](int lane, char*& out) {
                    const LeadOutput& lead = kLead[src[p + std::size_t(lane)]];
                    std::memcpy(out, lead.bytes, 4);
                    out += lead.length;
                });
#endif
        }
        carried = std::uint64_t(consumedLanes >> 64);
        p += 64;
    }
    return p + hwy::PopCount(carried);
}
#endif

// Decodes `in` into `dst`, which has room for decodedBound(in) + kSlack
// bytes. Returns the end of the decoded text; `consumed` receives how many
// bytes of `in` were used (see DecodeFormSpan). `Scan` finds the leads that do
// not stand for themselves (see FormScanner-inl.h). With `Mark`, a lead "&"
// or "=" writes nothing and is added to `marks`, at its offset from `base`.
template <class Scan, bool Mark>
char* decodeInto(std::string_view in, bool atEnd, char* dst, std::size_t& consumed,
                 const char* base, std::vector<FormSplit>* marks)
{
    const auto* src = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();

    // Decodes the lead at p, a whole escape if it is "%"; returns where the
    // next lead is.
    const auto decodeLead = [&](std::size_t p, char*& out) {
        const unsigned char c = src[p];
        if (c != '%') {
            if constexpr (Mark) {
                if (c == kFieldBreakByte || c == kNameSeparatorByte) {
                    AddFormSplit(*marks, static_cast<std::size_t>(out - base),
                                 c == kFieldBreakByte);
                    return p + 1;
                }
            }
            // Four bytes are always written; the slack allows for it.
            const LeadOutput& lead = kLead[c];
            std::memcpy(out, lead.bytes, 4);
            out += lead.length;
            return p + 1;
        }
        const EscapeOutput& e = kEscapeTable[kEscapeRow[src[p + 1]]][src[p + 2]];
        std::memcpy(out, e.bytes, 2);
        out += e.length;
        return p + e.consumed;
    };

    std::size_t p = 0;
#if HWY_ARCH_X86_64 && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3_DL)
    if constexpr (std::is_same_v<Scan, VectorScan>)
        p = decodeBlocks<Mark>(src, p, n, dst, base, marks, decodeLead);
#endif
    // Every byte but these stands for itself ("+" for a space).
    p = Scan::template forEachStop<'%', kFieldBreakByte, kNameSeparatorByte, '\0'>(src, p, n, dst,
                                                                                   decodeLead);
    while (p < n) {
        // An escape looks at most two bytes ahead but may consume six; a
        // piece that ends earlier waits for the next one.
        if (src[p] != '%' || n - p >= 6 || (atEnd && n - p >= 3)) {
            p = decodeLead(p, dst);
            continue;
        }
        if (!atEnd)
            break;
        // "%" or "%" and one byte at the very end of the text.
        const unsigned char first = p + 1 < n ? src[p + 1] : 0;
        const Escape e = p + 1 < n ? escapeFor(first, -1) : Escape{0, false, 2};
        if (e.out)
            *dst++ = e.out;
        p += e.consumed;
    }
    consumed = std::min(p, n);
    return dst;
}

// Appends the decoding of `in` to `out`; see DecodeFormSpan.
template <class Scan>
std::size_t decodeSpan(std::string_view in, bool atEnd, std::string& out,
                       std::vector<FormSplit>* marks)
{
    const std::size_t start = out.size();
    out.resize(start + decodedBound<Scan>(in) + kSlack);
    std::size_t consumed = 0;
    char* const dst = out.data() + start;
    const char* end = marks
                          ? decodeInto<Scan, true>(in, atEnd, dst, consumed, out.data(), marks)
                          : decodeInto<Scan, false>(in, atEnd, dst, consumed, out.data(), nullptr);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return consumed;
}

std::size_t DecodeVectorSpan(std::string_view in, bool atEnd, std::string& out,
                             std::vector<FormSplit>* marks)
{
    return decodeSpan<VectorScan>(in, atEnd, out, marks);
}

std::size_t VectorBound(std::string_view in)
{
    return decodedBound<VectorScan>(in);
}

} // namespace HWY_NAMESPACE
} // namespace formtidy
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace {
using formtidy::HWY_NAMESPACE::PlainScan;

std::size_t decodedBound(std::string_view in)
{
    if (FormScanner::current() == FormScanner::kScalar)
        return formtidy::HWY_NAMESPACE::decodedBound<PlainScan>(in);
    return FORMTIDY_VECTOR_FUNCTION(VectorBound)(in);
}

std::size_t decodeSpan(std::string_view in, bool atEnd, std::string& out,
                       std::vector<FormSplit>* marks)
{
    if (FormScanner::current() == FormScanner::kScalar)
        return formtidy::HWY_NAMESPACE::decodeSpan<PlainScan>(in, atEnd, out, marks);
    return FORMTIDY_VECTOR_FUNCTION(DecodeVectorSpan)(in, atEnd, out, marks);
}

// Text decoded in one go is decoded in pieces of this size, each sizing only
// its own part of the result, so that a long text never has more memory in
// use than its result and one piece's worth.
constexpr std::size_t kPiece = 256 * 1024;

} // namespace

std::size_t DecodeFormSpan(std::string_view in, bool atEnd, std::string& out)
{
    return decodeSpan(in, atEnd, out, nullptr);
}

std::size_t DecodeFormSpan(std::string_view in, bool atEnd, std::string& out,
                           std::vector<FormSplit>& marks)
{
    return decodeSpan(in, atEnd, out, &marks);
}

std::string DecodeFormText(std::string_view encoded)
{
    std::string out;
    // Reserving takes no memory yet; only what the pieces write is used. The
    // pieces' bounds add up to no more than the whole text's.
    out.reserve(decodedBound(encoded) + kSlack);
    while (!encoded.empty()) {
        const bool last = encoded.size() <= kPiece;
        encoded.remove_prefix(DecodeFormSpan(encoded.substr(0, kPiece), last, out));
    }
    return out;
}
#endif // HWY_ONCE

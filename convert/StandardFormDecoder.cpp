#include "StandardFormDecoder.h"

#include "DecodeFormText.h"
#include "FormScanner.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// Highway compiles this file once for each kind of vector instructions (see
// FormScanner.h); the tables are defined only the first time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "convert/StandardFormDecoder.cpp"
#include <hwy/foreach_target.h>

#include "FormScanner-inl.h"

#ifndef FORMTIDY_STANDARD_FORM_DECODER_TABLES
#define FORMTIDY_STANDARD_FORM_DECODER_TABLES
namespace {
// Per byte: whether it ends a run of bytes copied as they are ("&", "=", "+"
// and "%"), and its value as a hexadecimal digit (-1 for none).
struct ByteTable
{
    bool special[256] = {};
    signed char hex[256] = {};
    constexpr ByteTable()
    {
        for (const unsigned char c : {'&', '=', '+', '%'})
            special[c] = true;
        for (int c = 0; c < 256; ++c)
            hex[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                     : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                     : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                            : -1;
    }
};
constexpr ByteTable kBytes;

int hexValue(unsigned char c)
{
    return kBytes.hex[c];
}

// The plain loop, the reference of the vector ones: copies up to the next
// special byte, "+" included.
struct ByteRun
{
    static std::size_t copy(const unsigned char* src, std::size_t n, char* dst)
    {
        std::size_t i = 0;
        while (i < n && !kBytes.special[src[i]])
            ++i;
        std::memcpy(dst, src, i);
        return i;
    }
};

// The decoding of a piece is at most this much longer than the piece and its
// layout: a held "%" and digit that turn out not to be an escape, and the
// break before a field that begins the piece.
constexpr std::size_t kSlack = 8;
} // namespace
#endif // FORMTIDY_STANDARD_FORM_DECODER_TABLES

HWY_BEFORE_NAMESPACE();
namespace formtidy {
namespace HWY_NAMESPACE {

#if HWY_TARGET == HWY_AVX3_DL
// Reads the block of 64 bytes at `at`, and the two bytes after it: writes at
// `decoded` each lane's decoding, were it written (its byte, "+" as a space,
// and at a "%" the escape's byte), and sets the lanes of the escapes in
// `escapes` and those of "&" and "=" in `splits`.
HWY_INLINE void readBlock(const unsigned char* at, unsigned char* decoded, std::uint64_t& escapes,
                          std::uint64_t& splits)
{
    // Where each byte of `c` is a hexadecimal digit; `value` receives its
    // value there.
    const auto hexDigits = [](__m512i c, __m512i& value) {
        const __m512i digit = _mm512_sub_epi8(c, _mm512_set1_epi8('0'));
        const __m512i letter =
            _mm512_sub_epi8(_mm512_or_si512(c, _mm512_set1_epi8(0x20)), _mm512_set1_epi8('a'));
        const __mmask64 isDigit = _mm512_cmple_epu8_mask(digit, _mm512_set1_epi8(9));
        value =
            _mm512_mask_blend_epi8(isDigit, _mm512_add_epi8(letter, _mm512_set1_epi8(10)), digit);
        return isDigit | _mm512_cmple_epu8_mask(letter, _mm512_set1_epi8(5));
    };
    const auto is = [](__m512i v, char c) {
        return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
    };
    const __m512i c = _mm512_loadu_si512(at);
    __m512i high, low;
    const __mmask64 escape = is(c, '%') & hexDigits(_mm512_loadu_si512(at + 1), high) &
                             hexDigits(_mm512_loadu_si512(at + 2), low);
    const __m512i value = _mm512_or_si512(
        _mm512_and_si512(_mm512_slli_epi16(high, 4), _mm512_set1_epi8(char(0xF0))), low);
    const __m512i spaced = _mm512_mask_mov_epi8(c, is(c, '+'), _mm512_set1_epi8(' '));
    _mm512_store_si512(decoded, _mm512_mask_mov_epi8(spaced, escape, value));
    escapes = escape;
    splits = is(c, '&') | is(c, '=');
}
#elif HWY_TARGET == HWY_AVX2
// Where each byte of the 32 at `c` is a hexadecimal digit; `value` receives
// its value there.
HWY_INLINE __m256i hexDigits(__m256i c, __m256i& value)
{
    const __m256i digit = _mm256_sub_epi8(c, _mm256_set1_epi8('0'));
    const __m256i letter =
        _mm256_sub_epi8(_mm256_or_si256(c, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
    // Unsigned "at most" by the unsigned minimum.
    const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(digit, _mm256_set1_epi8(9)), digit);
    const __m256i isLetter =
        _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
    value = _mm256_blendv_epi8(_mm256_add_epi8(letter, _mm256_set1_epi8(10)), digit, isDigit);
    return _mm256_or_si256(isDigit, isLetter);
}

// As the other readBlock, in two halves.
HWY_INLINE void readBlock(const unsigned char* at, unsigned char* decoded, std::uint64_t& escapes,
                          std::uint64_t& splits)
{
    escapes = splits = 0;
    for (std::size_t k = 0; k < 64; k += 32) {
        const auto load = [&](std::size_t from) {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + k + from));
        };
        const __m256i c = load(0);
        __m256i high, low;
        const __m256i escape =
            _mm256_and_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('%')),
                             _mm256_and_si256(hexDigits(load(1), high), hexDigits(load(2), low)));
        const __m256i value = _mm256_or_si256(
            _mm256_and_si256(_mm256_slli_epi16(high, 4), _mm256_set1_epi8(char(0xF0))), low);
        const __m256i spaced = _mm256_blendv_epi8(c, _mm256_set1_epi8(' '),
                                                  _mm256_cmpeq_epi8(c, _mm256_set1_epi8('+')));
        _mm256_store_si256(reinterpret_cast<__m256i*>(decoded + k),
                           _mm256_blendv_epi8(spaced, value, escape));
        const __m256i splitAt = _mm256_or_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('&')),
                                                _mm256_cmpeq_epi8(c, _mm256_set1_epi8('=')));
        escapes |= std::uint64_t(std::uint32_t(_mm256_movemask_epi8(escape))) << k;
        splits |= std::uint64_t(std::uint32_t(_mm256_movemask_epi8(splitAt))) << k;
    }
}
#endif

#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3_DL
// Decodes the text at `src` from `p` in blocks of 64 bytes while `n` leaves
// room to look ahead, writing at `dst`, where there must be room for what is
// left of the text. The blocks need no byte-by-byte work but at their field
// breaks and name separators: every escape's decoding, "+" as a space and the
// bytes between are worked out for the whole block at once, and the bytes to
// keep are gathered eight lanes at a time. An escape's digits are hexadecimal,
// so no byte can both be a digit and start an escape or split a field, and
// each byte's part is known from the two before it alone.
//
// `split(q, out)` decodes the "&" or "=" at q, whose decoding begins at `out`.
// With `Layout` it writes that decoding and moves `out` past it; without, it
// writes nothing and returns whether the byte stands for itself there.
// Returns where it stopped: never within an escape.
template <bool Layout, class Split>
HWY_INLINE std::size_t decodeBlocks(const unsigned char* src, std::size_t p, std::size_t n,
                                    char*& dst, Split&& split)
{
    // The block, the look ahead of its last escape, and with `Layout` the
    // whole vector that is copied on from its last split.
    constexpr std::size_t kMargin = Layout ? 64 + 64 + 8 : 64 + 8;
    std::uint64_t carried = 0; // lanes of a block that are the last block's digits
    for (; p + kMargin <= n; p += 64) {
        alignas(64) unsigned char decoded[64];
        std::uint64_t escapes, splits;
        readBlock(src + p, decoded, escapes, splits);
        std::uint64_t keep = ~(splits | carried | (escapes << 1) | (escapes << 2));
        carried = (escapes >> 63) * 3 | ((escapes >> 62) & 1);
        if constexpr (Layout) {
            dst =
                VectorScan::storeKeptAround(decoded, keep, splits, dst, [&](int lane, char*& out) {
                    split(p + std::size_t(lane), out);
                });
        } else {
            for (std::uint64_t rest = splits; rest != 0; rest &= rest - 1) {
                const int lane = hwy::Num0BitsBelowLS1Bit_Nonzero64(rest);
                const std::uint64_t below = (std::uint64_t(1) << lane) - 1;
                char* at = dst + hwy::PopCount(keep & below);
                if (split(p + std::size_t(lane), at))
                    keep |= below + 1;
            }
            dst = VectorScan::storeKept(decoded, keep, dst);
        }
    }
    return p + hwy::PopCount(carried);
}
#endif

// Decodes the `n` bytes at `src` into `dst`, going on from `state` and
// leaving it where the piece ends; returns the end of what it wrote. `Scan`
// finds the bytes that matter (see FormScanner-inl.h). Every field break and
// name separator is listed in `marks` at its offset from `base`; with
// `Layout` it is written instead, as the window shows it.
template <class Scan, bool Layout>
char* feedInto(StandardFormState& state, const unsigned char* src, std::size_t n, char* dst,
               const char* base, std::vector<FormSplit>* marks)
{
    using Place = StandardFormState::Place;
    const auto split = [&](char*& out, bool isBreak) {
        if constexpr (Layout) {
            const auto put = [&out](std::string_view layout) {
                std::memcpy(out, layout.data(), layout.size());
                out += layout.size();
            };
            isBreak ? put(FormFieldBreak()) : put(FormNameSeparator());
        } else {
            AddFormSplit(*marks, static_cast<std::size_t>(out - base), isBreak);
        }
    };
    // A field begins at a byte other than "&" after an "&", with a break if
    // it is not the first.
    const auto startField = [&](char*& out) {
        if (state.anyField)
            split(out, true);
        state.anyField = true;
        state.place = Place::Name;
    };
    // Decodes the special byte at q in a name or a value; returns the
    // position after what it consumed.
    const auto special = [&](std::size_t q, char*& out) -> std::size_t {
        switch (src[q]) {
        case '%':
            if (q + 2 < n) {
                const int high = hexValue(src[q + 1]);
                const int low = hexValue(src[q + 2]);
                if (high >= 0 && low >= 0) {
                    *out++ = static_cast<char>(high * 16 + low);
                    return q + 3;
                }
                *out++ = '%'; // the bytes after it are read afresh
                return q + 1;
            }
            state.escape[0] = '%'; // its digits may come in the next piece
            state.escapeLength = 1;
            return q + 1;
        case '+':
            *out++ = ' ';
            return q + 1;
        case '=':
            if (state.place == Place::Name) {
                split(out, false);
                state.place = Place::Value;
            } else {
                *out++ = '=';
            }
            return q + 1;
        default: // "&"
            // A field without "=" is a name with an empty value.
            if (state.place == Place::Name)
                split(out, false);
            state.place = Place::Between;
            if (q + 1 < n && src[q + 1] != '&')
                startField(out);
            return q + 1;
        }
    };

    std::size_t i = 0;
    while (i < n) {
        if (state.escapeLength != 0) {
            // The "%" that ended the last piece, waiting for its digits.
            const unsigned char c = src[i];
            if (hexValue(c) >= 0) {
                ++i;
                if (state.escapeLength == 1) {
                    state.escape[1] = static_cast<char>(c);
                    state.escapeLength = 2;
                } else {
                    *dst++ = static_cast<char>(
                        hexValue(static_cast<unsigned char>(state.escape[1])) * 16 + hexValue(c));
                    state.escapeLength = 0;
                }
                continue;
            }
            // Not an escape: its bytes stand as they are, and `c` is read afresh.
            std::memcpy(dst, state.escape, state.escapeLength);
            dst += state.escapeLength;
            state.escapeLength = 0;
        }
        if (state.place == Place::Between) {
            if (src[i] == '&') {
                ++i;
                continue;
            }
            startField(dst);
        }
        // In blocks while far enough from the end; "+" is copied as a space
        // there and not special.
#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3_DL
        if constexpr (std::is_same_v<Scan, VectorScan>) {
            i = decodeBlocks<Layout>(src, i, n, dst, [&](std::size_t q, char*& out) {
                const char* const at = out;
                special(q, out);
                return out != at;
            });
        }
#endif
        i = Scan::template forEachStop<'%', '&', '='>(src, i, n, dst, special);
        if (state.place == Place::Between)
            continue;
        const std::size_t run = ByteRun::copy(src + i, n - i, dst);
        i += run;
        dst += run;
        if (i < n)
            i = special(i, dst);
    }
    return dst;
}

// Appends the decoding of `piece` to `out`, with `Layout` as the window
// shows it, else listing its splits in `marks`.
template <class Scan, bool Layout>
void feedPiece(StandardFormState& state, std::string_view piece, std::string& out,
               std::vector<FormSplit>* marks)
{
    const auto* src = reinterpret_cast<const unsigned char*>(piece.data());
    const std::size_t n = piece.size();
    const std::size_t start = out.size();
    // An "=" writes a separator, an "&" at most a separator and a break.
    const std::size_t layout = Layout ? (FormNameSeparator().size() + FormFieldBreak().size()) *
                                            Scan::template count<'&', '='>(src, n)
                                      : 0;
    out.resize(start + n + layout + kSlack);
    const char* end = feedInto<Scan, Layout>(state, src, n, out.data() + start, out.data(), marks);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

void FeedVector(StandardFormState& state, std::string_view piece, std::string& out,
                std::vector<FormSplit>* marks)
{
    if (marks)
        feedPiece<VectorScan, false>(state, piece, out, marks);
    else
        feedPiece<VectorScan, true>(state, piece, out, nullptr);
}

} // namespace HWY_NAMESPACE
} // namespace formtidy
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace {
// Decodes `piece` with the scanning that FormScanner chose; see feedPiece.
void decodeWith(StandardFormState& state, std::string_view piece, std::string& out,
                std::vector<FormSplit>* marks)
{
    using formtidy::HWY_NAMESPACE::PlainScan;
    if (FormScanner::current() != FormScanner::kScalar)
        FORMTIDY_VECTOR_FUNCTION(FeedVector)(state, piece, out, marks);
    else if (marks)
        formtidy::HWY_NAMESPACE::feedPiece<PlainScan, false>(state, piece, out, marks);
    else
        formtidy::HWY_NAMESPACE::feedPiece<PlainScan, true>(state, piece, out, nullptr);
}
} // namespace

void StandardFormDecoder::decode(std::string_view piece, std::string& out,
                                 std::vector<FormSplit>& marks)
{
    decodeWith(m_state, piece, out, &marks);
}

bool StandardFormDecoder::decodeRest(std::string& out, std::vector<FormSplit>& marks)
{
    // An "&" ends the last field as it ends any other, held escape and all.
    decode("&", out, marks);
    return endText();
}

void StandardFormDecoder::decodeLayout(std::string_view piece, std::string& out)
{
    decodeWith(m_state, piece, out, nullptr);
}

bool StandardFormDecoder::decodeLayoutRest(std::string& out)
{
    decodeLayout("&", out);
    return endText();
}

bool StandardFormDecoder::endText()
{
    const bool anyField = m_state.anyField;
    m_state.anyField = false;
    return anyField;
}
#endif // HWY_ONCE

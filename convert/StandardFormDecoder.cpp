#include "StandardFormDecoder.h"

#include "DecodeFormText.h"
#include "FormScanner.h"

#include <cstring>

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
    const std::string_view fieldBreak = FormFieldBreak(), nameSeparator = FormNameSeparator();
    const auto split = [&](char*& out, bool isBreak) {
        if constexpr (Layout) {
            const std::string_view layout = isBreak ? fieldBreak : nameSeparator;
            std::memcpy(out, layout.data(), layout.size());
            out += layout.size();
        } else {
            marks->push_back({static_cast<std::size_t>(out - base), isBreak});
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

#include "DecodeFormText.h"

#include "FormScanner.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

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
    t[kFieldBreakByte] = {{'\r', '\n', '\r', '\n'}, 4};
    t['+'] = {{' ', 0, 0, 0}, 1};
    t[kNameSeparatorByte] = {{' ', ':', ':', ' '}, 4};
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

    // Every byte but these stands for itself ("+" for a space).
    std::size_t p = Scan::template forEachStop<'%', kFieldBreakByte, kNameSeparatorByte, '\0'>(
        src, 0, n, dst, decodeLead);
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

std::string_view FormFieldBreak()
{
    return {kLead[kFieldBreakByte].bytes, kLead[kFieldBreakByte].length};
}

std::string_view FormNameSeparator()
{
    return {kLead[kNameSeparatorByte].bytes, kLead[kNameSeparatorByte].length};
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

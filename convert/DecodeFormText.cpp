#include "DecodeFormText.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

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
    t['&'] = {{'\r', '\n', '\r', '\n'}, 4};
    t['+'] = {{' ', 0, 0, 0}, 1};
    t['='] = {{' ', ':', ':', ' '}, 4};
    return t;
}
constexpr auto kLead = makeLeadTable();

// What a "%" escape appends, and how many bytes it consumes, "%" included.
struct Escape
{
    char out;      // the byte appended, or 0 for nothing
    bool crlf;     // appends "\r\n" instead of `out`
    unsigned char consumed;
};

// Escape for "%" + first + second. `second` is -1 at the end of the text.
// Upper-case letters only: "%0d" and "%7e" decode to nothing.
Escape escapeFor(unsigned char first, int second)
{
    switch (first) {
    case '0':
        if (second == 'D')
            return {0, true, 6}; // "%0D" and the "%0A" that follows it, unseen
        return {0, false, 3};
    case '2':
        switch (second) {
        case '1': return {'!', false, 3};
        case '3': return {'#', false, 3};
        case '4': return {'$', false, 3};
        case '5': return {'%', false, 3};
        case '6': return {'&', false, 3};
        case '7': return {'\'', false, 3};
        case '8': return {'(', false, 3};
        case '9': return {')', false, 3};
        default: return {0, false, 3}; // "%22" and the unknown ones
        }
    case '3': return {second == 'F' ? '?' : char(0), false, 3};
    case '5': return {second == 'E' ? '^' : char(0), false, 3};
    case '6': return {second == '0' ? '`' : char(0), false, 3};
    case '7': return {second == 'E' ? '~' : char(0), false, 3};
    default:
        // "1", "4", any other byte, or the end of the text: the "%" and the
        // first digit are dropped and the next byte is read as a lead.
        return {0, false, 2};
    }
}

// Upper bound of the decoded length: only "&" and "=" grow, each by 3 bytes.
std::size_t decodedBound(std::string_view in)
{
    const auto grow = std::count_if(in.begin(), in.end(),
                                    [](char c) { return c == '&' || c == '='; });
    return in.size() + 3 * static_cast<std::size_t>(grow);
}

} // namespace

std::size_t DecodeFormSpan(std::string_view in, bool atEnd, std::string& out)
{
    const std::size_t start = out.size();
    out.resize(start + decodedBound(in) + 3);

    const auto* src = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    char* dst = out.data() + start;
    std::size_t p = 0;

    while (p < n) {
        const unsigned char c = src[p];
        if (c != '%') {
            // Four bytes are always written; the slack at the end of the
            // output allows for it.
            const LeadOutput& lead = kLead[c];
            std::memcpy(dst, lead.bytes, 4);
            dst += lead.length;
            ++p;
            continue;
        }
        // An escape looks at most two bytes ahead but may consume six; a
        // piece that ends earlier waits for the next one.
        if (!atEnd && n - p < 6)
            break;
        const unsigned char first = p + 1 < n ? src[p + 1] : 0;
        const int second = p + 2 < n ? src[p + 2] : -1;
        const Escape e = p + 1 < n ? escapeFor(first, second) : Escape{0, false, 2};
        if (e.crlf) {
            *dst++ = '\r';
            *dst++ = '\n';
        } else if (e.out) {
            *dst++ = e.out;
        }
        p += e.consumed;
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return std::min(p, n);
}

std::string DecodeFormText(std::string_view encoded)
{
    std::string out;
    DecodeFormSpan(encoded, true, out);
    return out;
}

#include "StandardFormDecoder.h"

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

std::size_t findSpecial(std::string_view piece, std::size_t from)
{
    while (from < piece.size() && !kBytes.special[static_cast<unsigned char>(piece[from])])
        ++from;
    return from;
}

int hexValue(char c)
{
    return kBytes.hex[static_cast<unsigned char>(c)];
}
} // namespace

void StandardFormDecoder::feed(std::string_view piece, std::string& out,
                               std::vector<FormSplit>* splits)
{
    std::size_t i = 0;
    while (i < piece.size()) {
        const char c = piece[i];
        if (!m_escape.empty()) {
            if (hexValue(c) >= 0) {
                ++i;
                if (m_escape.size() == 1) {
                    m_escape += c;
                } else {
                    out += static_cast<char>(hexValue(m_escape[1]) * 16 + hexValue(c));
                    m_escape.clear();
                }
                continue;
            }
            // Not an escape: its bytes stand as they are, and `c` is read afresh.
            out += m_escape;
            m_escape.clear();
        }
        if (m_place != Place::Between) {
            // Copy a run of ordinary bytes in one go.
            const std::size_t end = findSpecial(piece, i);
            out.append(piece.substr(i, end - i));
            i = end;
            if (i == piece.size())
                break;
            // The common cases at once: a whole escape in this piece, and "+".
            if (piece[i] == '%' && i + 2 < piece.size()) {
                const int high = hexValue(piece[i + 1]);
                const int low = hexValue(piece[i + 2]);
                if (high >= 0 && low >= 0) {
                    out += static_cast<char>(high * 16 + low);
                    i += 3;
                } else {
                    out += '%'; // the bytes after it are read afresh
                    ++i;
                }
                continue;
            }
            if (piece[i] == '+') {
                out += ' ';
                ++i;
                continue;
            }
        }
        put(piece[i++], out, splits);
    }
}

void StandardFormDecoder::put(char c, std::string& out, std::vector<FormSplit>* splits)
{
    if (c == '&') {
        if (m_place != Place::Between)
            endField(out, splits);
        return;
    }
    if (m_place == Place::Between) {
        if (m_anyField) {
            if (splits)
                splits->push_back({out.size(), true});
            out += FormFieldBreak();
        }
        m_anyField = true;
        m_place = Place::Name;
    }
    if (c == '=' && m_place == Place::Name) {
        if (splits)
            splits->push_back({out.size(), false});
        out += FormNameSeparator();
        m_place = Place::Value;
    } else if (c == '+') {
        out += ' ';
    } else if (c == '%') {
        m_escape = "%";
    } else {
        out += c;
    }
}

void StandardFormDecoder::endField(std::string& out, std::vector<FormSplit>* splits)
{
    out += m_escape;
    m_escape.clear();
    // A field without "=" is a name with an empty value.
    if (m_place == Place::Name) {
        if (splits)
            splits->push_back({out.size(), false});
        out += FormNameSeparator();
    }
    m_place = Place::Between;
}

bool StandardFormDecoder::finish(std::string& out, std::vector<FormSplit>* splits)
{
    if (m_place != Place::Between)
        endField(out, splits);
    const bool anyField = m_anyField;
    m_anyField = false;
    return anyField;
}

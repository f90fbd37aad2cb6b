#include "StandardFormDecoder.h"

namespace {
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
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
            const std::size_t special = piece.find_first_of("&=+%", i);
            const std::size_t end = special == std::string_view::npos ? piece.size() : special;
            out.append(piece.substr(i, end - i));
            i = end;
            if (i == piece.size())
                break;
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

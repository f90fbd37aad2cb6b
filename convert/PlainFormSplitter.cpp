#include "PlainFormSplitter.h"

PlainFormSplitter::PlainFormSplitter(FormFieldSplitter::FieldSink sink) : m_sink(std::move(sink)) {}

bool PlainFormSplitter::isNameByte(unsigned char c)
{
    static constexpr std::string_view kNot = ":/?#&=";
    return c > ' ' && c != 0x7F && kNot.find(char(c)) == std::string_view::npos;
}

void PlainFormSplitter::feed(std::string_view piece)
{
    std::size_t i = 0;
    while (i < piece.size()) {
        if (m_pendingCr) {
            m_pendingCr = false;
            if (piece[i] == '\n') {
                m_break = "\r\n";
                ++i;
                m_lineStart = true;
                continue;
            }
            m_field.value += '\r'; // a CR alone is text
        }
        if (m_lineStart) {
            m_lineStart = false;
            m_inName = true;
        }
        if (m_inName) {
            const unsigned char c = static_cast<unsigned char>(piece[i]);
            if (c == '=' && !m_head.empty()) {
                if (m_haveField)
                    m_sink(m_field);
                m_field = FormField{std::move(m_head), {}, true};
                m_head.clear();
                m_break.clear();
                m_haveField = true;
                m_inName = false;
                ++i;
                continue;
            }
            if (isNameByte(c) && m_head.size() < kMaxName) {
                m_head += char(c);
                ++i;
                continue;
            }
            // Not a field's start: the line goes on the value before it.
            // Text before any field is kept as a field without a name.
            m_haveField = true;
            m_field.value.append(m_break).append(m_head);
            m_head.clear();
            m_break.clear();
            m_inName = false;
        }
        const std::size_t end = piece.find_first_of("\r\n", i);
        m_field.value.append(piece.substr(i, end - i));
        if (end == std::string_view::npos)
            break;
        i = end + 1;
        if (piece[end] == '\r') {
            m_pendingCr = true;
        } else {
            m_break = "\n";
            m_lineStart = true;
        }
    }
}

void PlainFormSplitter::finish()
{
    if (m_pendingCr)
        m_field.value += '\r';
    if (m_inName && !m_head.empty()) {
        m_haveField = true;
        m_field.value.append(m_break).append(m_head);
    }
    if (m_haveField)
        m_sink(m_field);
    *this = PlainFormSplitter(std::move(m_sink));
}

#include "FormBody.h"

#include "ByteScan.h"

#include <optional>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Cuts a text at the end that FormBody::End names, as it streams through:
// the line breaks (for FirstBlankLine also spaces and tabs) after the last
// text are held back until more text follows, and white space before the
// first text is dropped.
class Ending
{
public:
    Ending(FormBody::End end, const FormText::Piece& out) : m_end(end), m_out(out) {}

    bool feed(std::string_view piece)
    {
        if (m_stopped)
            return false;
        m_stopped = !(m_end == FormBody::End::FirstBlankLine ? paragraph(piece) : lines(piece));
        return !m_stopped;
    }

    void finish()
    {
        // A last line that only began like a signature separator is text.
        if (!m_stopped && !m_head.empty() && !isSeparator() && emitHeld())
            m_out(m_head);
    }

private:
    // A held run of white space longer than this is let through as text.
    static constexpr std::size_t kMaxHeld = 64 * 1024;

    bool emitHeld()
    {
        const bool more = m_held.empty() || m_out(m_held);
        m_held.clear();
        m_newlines = 0;
        return more;
    }

    bool skipLeading(std::string_view& piece)
    {
        while (!m_started && !piece.empty() && isSpace(piece.front()))
            piece.remove_prefix(1);
        m_started = m_started || !piece.empty();
        return m_started;
    }

    // Up to the first blank line, a line of nothing but spaces and tabs, or
    // up to a line "-- " right below the text, where a signature starts.
    bool paragraph(std::string_view piece)
    {
        if (!skipLeading(piece))
            return true;
        while (!piece.empty()) {
            const char c = piece.front();
            if (!m_head.empty() || (c == '-' && !m_held.empty() && m_held.back() == '\n')) {
                if (const std::optional<bool> separator = separatorByte(c)) {
                    if (*separator)
                        return false;
                    piece.remove_prefix(1);
                    continue;
                }
                // The line only began like one; its start is text.
                if (!emitHeld() || !m_out(m_head))
                    return false;
                m_head.clear();
            }
            if (isSpace(piece.front())) {
                m_newlines += piece.front() == '\n';
                m_held += piece.front();
                piece.remove_prefix(1);
                if (m_newlines >= 2)
                    return false;
                if (m_held.size() > kMaxHeld && !emitHeld())
                    return false;
                continue;
            }
            if (!emitHeld())
                return false;
            static const ByteScan space({' ', '\t', '\r', '\n'});
            const std::size_t text = space.find(piece);
            if (!m_out(piece.substr(0, text)))
                return false;
            piece.remove_prefix(text);
        }
        return true;
    }

    bool isSeparator() const { return m_head == "-- " || m_head == "-- \r"; }

    // Takes `c` as the next byte of a line that may be a signature
    // separator, "-- " and its line break: true when it ends one, false
    // when it is one's next byte, and nothing when the line is none.
    std::optional<bool> separatorByte(char c)
    {
        static constexpr std::string_view kSeparator = "-- ";
        if (isSeparator() && c == '\n')
            return true;
        if ((m_head.size() < kSeparator.size() && c == kSeparator[m_head.size()]) ||
            (m_head == kSeparator && c == '\r')) {
            m_head += c;
            return false;
        }
        return std::nullopt;
    }

    // Up to a line "-- ", which starts a signature.
    bool lines(std::string_view piece)
    {
        if (!skipLeading(piece))
            return true;
        while (!piece.empty()) {
            const char c = piece.front();
            if (m_lineStart) {
                if (const std::optional<bool> separator = separatorByte(c)) {
                    if (*separator)
                        return false;
                    piece.remove_prefix(1);
                    continue;
                }
                if (m_head.empty() && (c == '\r' || c == '\n')) {
                    m_held += c; // a blank line, held with the breaks before it
                    piece.remove_prefix(1);
                    continue;
                }
                // The line holds text: the breaks before it and its start go out.
                if (!emitHeld() || (!m_head.empty() && !m_out(m_head)))
                    return false;
                m_head.clear();
                m_lineStart = false;
            }
            if (c == '\r' || c == '\n') {
                m_held += c;
                m_lineStart = c == '\n';
                piece.remove_prefix(1);
                if (m_held.size() > kMaxHeld && !emitHeld())
                    return false;
                continue;
            }
            if (!emitHeld())
                return false;
            static const ByteScan lineBreak({'\r', '\n'});
            const std::size_t text = lineBreak.find(piece);
            if (!m_out(piece.substr(0, text)))
                return false;
            piece.remove_prefix(text);
        }
        return true;
    }

    FormBody::End m_end;
    const FormText::Piece& m_out;
    bool m_started = false;
    bool m_stopped = false;
    std::string m_held;
    int m_newlines = 0;
    bool m_lineStart = true;
    std::string m_head; // the start of a line, while it may be "-- "
};

} // namespace

FormBody::FormBody(std::unique_ptr<FormText> text, FormKind kind, End end, std::string partCharset)
    : m_text(std::move(text)), m_kind(kind), m_end(end), m_partCharset(std::move(partCharset))
{}

void FormBody::read(const FormText::Piece& piece) const
{
    if (m_end == End::AsIs) {
        m_text->read(piece);
        return;
    }
    Ending ending(m_end, piece);
    m_text->read([&ending](std::string_view bytes) { return ending.feed(bytes); });
    ending.finish();
}

void FormBody::setCharsetField(std::optional<std::string> charset)
{
    m_charsetField = std::move(charset);
    m_scanned = true;
}

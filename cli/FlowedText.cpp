#include "FlowedText.h"

#include <algorithm>

void FlowedText::emitMarks(std::size_t count)
{
    static const std::string kMarks(4096, '>');
    for (; count > 0; count -= std::min(count, kMarks.size()))
        m_out(std::string_view(kMarks).substr(0, std::min(count, kMarks.size())));
}

// Called once the line's quote depth is known (or has passed that of the
// flowed line before it): the two are joined only at the same depth.
void FlowedText::resolveJoin()
{
    if (!m_joinPending)
        return;
    m_joinPending = false;
    if (m_depth == m_prevDepth)
        return; // joined: the held break and these quote marks go
    m_out(m_break);
    emitMarks(m_depth);
}

void FlowedText::flushHeld()
{
    if (m_heldSpace)
        m_out(" ");
    if (m_heldCr)
        m_out("\r"); // a CR alone is text
    m_heldSpace = m_heldCr = false;
}

void FlowedText::endLine(bool crlf)
{
    const bool flowed = m_heldSpace && !(m_contentLength == 3 && m_contentHead == "-- ");
    if (flowed) {
        if (!m_delSp)
            m_out(" ");
        m_break = crlf ? "\r\n" : "\n";
        m_joinPending = true;
        m_prevDepth = m_depth;
    } else {
        if (m_heldSpace)
            m_out(" ");
        m_out(crlf ? "\r\n" : "\n");
    }
    m_heldSpace = m_heldCr = false;
    m_phase = Phase::Quotes;
    m_depth = 0;
    m_contentLength = 0;
    m_contentHead.clear();
}

void FlowedText::feed(std::string_view piece)
{
    std::size_t i = 0;
    while (i < piece.size()) {
        const char c = piece[i];
        if (m_phase == Phase::Quotes) {
            if (c == '>') {
                ++m_depth;
                ++i;
                if (!m_joinPending)
                    m_out(">");
                else if (m_depth > m_prevDepth)
                    resolveJoin();
                continue;
            }
            resolveJoin();
            m_phase = Phase::Stuffing;
        }
        if (m_phase == Phase::Stuffing) {
            m_phase = Phase::Content;
            if (c == ' ') {
                ++i;
                continue;
            }
        }
        if (m_heldCr) {
            if (c == '\n') {
                ++i;
                endLine(true);
                continue;
            }
            flushHeld();
        }
        if (c == '\n') {
            ++i;
            endLine(false);
            continue;
        }
        if (c == '\r' || c == ' ') {
            if (c == ' ')
                flushHeld();
            (c == ' ' ? m_heldSpace : m_heldCr) = true;
        } else {
            flushHeld();
        }
        const std::size_t end = c == '\r' || c == ' ' ? i + 1 : piece.find_first_of(" \r\n", i);
        const std::string_view run = piece.substr(i, end - i);
        if (c != '\r') { // a CR is the break's, or text that flushHeld writes
            if (m_contentHead.size() < 3)
                m_contentHead.append(run.substr(0, 3 - m_contentHead.size()));
            m_contentLength += run.size();
        }
        if (c != '\r' && c != ' ')
            m_out(run);
        i = end == std::string_view::npos ? piece.size() : end;
    }
}

void FlowedText::finish()
{
    if (m_phase == Phase::Quotes)
        resolveJoin();
    if (m_joinPending)
        m_out(m_break);
    flushHeld();
    *this = FlowedText(m_delSp, std::move(m_out));
}

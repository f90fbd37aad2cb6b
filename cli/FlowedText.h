#pragma once

#include <functional>
#include <string>
#include <string_view>

// Undoes the line wrapping of format=flowed text (RFC 3676) as the text
// streams through. A line that ends in a space (a soft line break) is joined
// with the next line of the same quote depth, and with DelSp=yes that space
// goes too; the space that stuffs a line is removed, and so are the quote
// marks of the joined lines. The signature line "-- " ends in a space but is
// never joined. Other lines, their breaks and quote marks stay as they are.
class FlowedText
{
public:
    using Out = std::function<void(std::string_view)>;

    FlowedText(bool delSp, Out out) : m_delSp(delSp), m_out(std::move(out)) {}

    void feed(std::string_view piece);
    void finish();

private:
    enum class Phase
    {
        Quotes,   // reading the line's quote marks
        Stuffing, // right after them, where one space may stuff the line
        Content,
    };

    void resolveJoin();
    void emitMarks(std::size_t count);
    void flushHeld();
    void endLine(bool crlf);

    bool m_delSp;
    Out m_out;
    Phase m_phase = Phase::Quotes;
    std::size_t m_depth = 0;
    bool m_joinPending = false; // the line before was flowed; its break is held
    std::size_t m_prevDepth = 0;
    std::string m_break;
    bool m_heldSpace = false; // a space that may be the line's last byte
    bool m_heldCr = false;    // a CR that may begin the line's break
    std::size_t m_contentLength = 0;
    std::string m_contentHead; // the first bytes of the content, to tell "-- "
};

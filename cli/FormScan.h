#pragma once

#include "FormBody.h"

#include <optional>
#include <string>
#include <string_view>

// Tells, in one pass over a text as it streams in, whether it is a form and
// how it is written. White space before the text's first line is passed over.
//
// - A form's first line starts with a field, "name=", whose name is a word
//   as PlainFormSplitter takes one: no space, no control byte, none of
//   ": / ? # & =". Prose and addresses (http://x?a=1) do not start so.
// - It is URL-encoded when, besides, its first paragraph (everything before
//   the first blank line) is that one line and it holds no space, tab or
//   control byte, which a browser would have encoded: the fields joined by
//   "&". What follows the blank line (a signature, say) is not the form's.
// - Otherwise it is a text/plain post, a "name=value" line per field.
// - Anything else is not a form.
//
// It also finds the value of the form's "_charset_" field, which a browser
// fills with the charset it encoded the form in.
class FormScan
{
public:
    void feed(std::string_view piece);
    void finish();

    bool urlEncoded() const { return m_form && m_url; }
    bool textPlain() const { return m_form && !m_url; }
    // Known already not to be a form, whatever follows.
    bool notAForm() const { return !m_form && !m_nameOpen; }
    // The value of the first "_charset_" field for a body written as `kind`.
    std::optional<std::string> charsetField(FormKind kind) const;

private:
    // "_charset_=" at the start of a field, then the field's value.
    struct CharsetMatch
    {
        std::size_t matched = 0;
        bool open = true;
        bool capturing = false;
        std::string value;

        void byte(char c);
        // At the field's end: keeps the value in `found` unless one was found before.
        void end(std::optional<std::string>& found);
    };

    void lineByte(unsigned char c);
    void lineEnd();

    bool m_started = false;
    bool m_pendingCr = false;
    int m_line = 0;         // 0 in the first line, 1 in the second, 2 after
    std::string m_lineHead; // the first bytes of the line, while it may be "-- "
    bool m_inSignature = false;

    bool m_form = false;
    bool m_nameOpen = true; // the first line may still turn out "name="
    std::size_t m_name = 0;
    bool m_url = true;
    CharsetMatch m_urlMatch;
    std::optional<std::string> m_urlCharset;
    CharsetMatch m_plainMatch;
    std::optional<std::string> m_plainCharset;
};

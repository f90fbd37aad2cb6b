#pragma once

#include "FormFieldSplitter.h"

#include <cstddef>
#include <string>
#include <string_view>

// Splits a form that a browser posted with enctype="text/plain" into its
// fields. Such a body is not encoded: each field is a line "name=value", the
// name ending at the line's first "=". A browser writes the line breaks of a
// value as they are, so a line that does not start a field (see startsField)
// continues the value of the field before it, joined by its own line break.
// The line break after a field's last line is not part of its value.
//
// The text may arrive in pieces cut anywhere; each field is handed over as
// soon as the next one starts, so that only one field is held.
class PlainFormSplitter
{
public:
    explicit PlainFormSplitter(FormFieldSplitter::FieldSink sink);

    void feed(std::string_view piece);
    // Hands over the last field; the splitter is then ready for a new text.
    void finish();

    // Whether `c` may stand in a field's name: not a space, a control, nor
    // one of ": / ? # & =". The names of real forms are words, and these
    // bytes keep a line of prose or an address (http://x?a=1) from passing
    // for a field.
    static bool isNameByte(unsigned char c);
    // A name longer than this does not start a field.
    static constexpr std::size_t kMaxName = 1024;

private:
    FormFieldSplitter::FieldSink m_sink;
    FormField m_field;
    bool m_haveField = false;
    bool m_lineStart = true;
    bool m_inName = false;    // reading the start of a line that may be a name
    std::string m_head;       // that start, until it is known to be a name or not
    std::string m_break;      // the line break held until the next line shows its place
    bool m_pendingCr = false; // a CR that may begin a CR LF
};

#pragma once

#include <string_view>

// Receives a form body as a decoder reads it: the decoded bytes of each field
// in order, where its name ends, and where the next field begins. What a name
// separator or a field break looks like is the sink's to write; the decoder
// writes neither.
class FormSink
{
public:
    virtual ~FormSink() = default;

    // More decoded bytes of the current field: of its name until nameEnd(),
    // of its value after it. A field without a name separator is all value.
    virtual void text(std::string_view decoded) = 0;
    // The bytes so far of the current field were its name. Once a field.
    virtual void nameEnd() = 0;
    // The current field is complete and another one begins. The last field of
    // a text ends with the text (FormDecoder::finish).
    virtual void fieldBreak() = 0;
    // The bytes handed to text() so far are about to be written over; a sink
    // that holds views of them copies them now.
    virtual void textExpires() {}
};

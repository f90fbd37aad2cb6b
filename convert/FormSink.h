#pragma once

#include <cstddef>
#include <string_view>

struct FormSplit;

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
    // A name separator after the first of a field, which faithful decoding
    // keeps in the value: by default text() of FormNameSeparator().
    virtual void laterSeparator();

    // The decoded bytes of a piece with the splits met in it, from `first` to
    // `last`, each at its offset in `decoded`, all at once. `inValue` tells
    // whether the current field's name has ended, and is kept so. By default
    // each part goes on through text(), nameEnd(), laterSeparator() and
    // fieldBreak() in turn; a sink that takes many fields at once can do
    // better.
    virtual void piece(std::string_view decoded, const FormSplit* first, const FormSplit* last,
                       bool& inValue);

protected:
    // The same, by default, for the bytes of `decoded` from `from` to `to`
    // and the splits among them.
    void handOn(std::string_view decoded, std::size_t from, std::size_t to, const FormSplit* first,
                const FormSplit* last, bool& inValue);
};

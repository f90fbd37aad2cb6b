#pragma once

#include "DecodeFormText.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class FormSink;

// How a form body is decoded.
enum class FormDecoding
{
    Faithful, // DecodeFormText's own rules, as the window and Quick Convert decode
    Standard, // as browsers encode: every %XX escape, "+" for a space
};

// A decoder of form bodies that arrive in pieces cut anywhere. It hands each
// field's decoded bytes, the end of its name and the break before the next
// field to a FormSink.
class FormDecoder
{
public:
    virtual ~FormDecoder() = default;

    // Hands `sink` the decoding of everything that is certain so far.
    void feed(std::string_view piece, FormSink& sink);
    // Hands `sink` the decoding of what was held back. Returns whether the
    // text held any field at all. The decoder is then ready for a new text.
    bool finish(FormSink& sink);

    // The same, appending the window's layout to `out` (see FormLayoutSink).
    // A text is decoded either way, not both.
    void feed(std::string_view piece, std::string& out);
    bool finish(std::string& out);

    static std::unique_ptr<FormDecoder> create(FormDecoding decoding);

protected:
    // Appends to `out` the decoded bytes of everything certain so far, and
    // lists in `marks` every name separator and field break met, at its offset
    // in `out`; nothing is written for them.
    virtual void decode(std::string_view piece, std::string& out,
                        std::vector<FormSplit>& marks) = 0;
    // The same for what was held back; returns whether the text held a field.
    virtual bool decodeRest(std::string& out, std::vector<FormSplit>& marks) = 0;
    // Writes the layout of the same straight into `out`; by default through a
    // FormLayoutSink. A decoder that can write it in place, faster, does.
    virtual void decodeLayout(std::string_view piece, std::string& out);
    virtual bool decodeLayoutRest(std::string& out);

private:
    // Hands the decoded bytes and marks to `sink` and forgets them.
    void deliver(FormSink& sink);

    std::string m_decoded;
    std::vector<FormSplit> m_marks;
    bool m_inValue = false; // the current field's name has ended
};

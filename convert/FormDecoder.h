#pragma once

#include "DecodeFormText.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// How a form body is decoded.
enum class FormDecoding
{
    Faithful, // DecodeFormText's own rules, as the window and Quick Convert decode
    Standard, // as browsers encode: every %XX escape, "+" for a space
};

// A decoder of form bodies that arrive in pieces cut anywhere. Both kinds
// write the same layout: FormNameSeparator between a name and its value,
// FormFieldBreak between fields.
class FormDecoder
{
public:
    virtual ~FormDecoder() = default;

    // Appends to `out` the decoding of everything that is certain so far.
    // With `splits`, every field break and name separator written is listed
    // there (see DecodeFormSpan).
    virtual void feed(std::string_view piece, std::string& out,
                      std::vector<FormSplit>* splits = nullptr) = 0;
    // Appends the decoding of what was held back. Returns whether the text
    // held any field at all. The decoder is then ready for a new text.
    virtual bool finish(std::string& out, std::vector<FormSplit>* splits = nullptr) = 0;

    static std::unique_ptr<FormDecoder> create(FormDecoding decoding);
};

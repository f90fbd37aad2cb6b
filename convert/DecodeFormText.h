#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Turns the body of an e-mailed form ("name=value&name2=value2", "+" for a
// space, a few "%" escapes) into readable text: one field per paragraph,
// "name :: value". Only the escapes listed in the table of the .cpp file are
// decoded; the others are dropped or shortened. This is deliberately not a
// general URL decoder.
//
// Total: every byte string has a result, and the argument is not changed.
std::string DecodeFormText(std::string_view encoded);

// The decoder behind DecodeFormText, for callers that see the text in pieces.
// Appends the decoding of `in` to `out` and returns how many bytes of `in` it
// consumed. With `atEnd` false it stops before a "%" whose escape might reach
// past the end of `in` (at most 5 bytes are left over); the caller passes those
// bytes again at the front of the next piece. With `atEnd` true it consumes
// everything, exactly as DecodeFormText does.
std::size_t DecodeFormSpan(std::string_view in, bool atEnd, std::string& out);

// Where a field break or a name separator stands in the decoded bytes: a
// lead "&" or "=" of the encoded text. An "&" or "=" consumed by an escape,
// or decoded from one, is no such place.
struct FormSplit
{
    std::size_t at;  // offset in the output string
    bool fieldBreak; // true for the field break, false for the name separator
};

// Appends a split to `marks`, writing its members in place. A FormSplit made
// first and then copied is read back whole from the two smaller writes that
// made it, which a processor cannot forward and waits for, once for each
// field break and name separator.
inline void AddFormSplit(std::vector<FormSplit>& marks, std::size_t at, bool fieldBreak)
{
    FormSplit& split = marks.emplace_back();
    split.at = at;
    split.fieldBreak = fieldBreak;
}

// The same as above without the layout: a field break or name separator
// writes nothing and is listed in `marks` instead, in order (see FormDecoder,
// which hands the fields to a FormSink).
std::size_t DecodeFormSpan(std::string_view in, bool atEnd, std::string& out,
                           std::vector<FormSplit>& marks);

// The bytes written for a field break and a name separator.
constexpr std::string_view FormFieldBreak()
{
    return "\r\n\r\n";
}
constexpr std::string_view FormNameSeparator()
{
    return " :: ";
}

// The decoded text is never longer than this many times the encoded text.
constexpr std::size_t kMaxDecodeGrowth = 4;

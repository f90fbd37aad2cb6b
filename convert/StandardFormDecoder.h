#pragma once

#include "FormDecoder.h"

// Where a standard decoder is between two pieces.
struct StandardFormState
{
    enum class Place
    {
        Between, // before a field, or after an "&"
        Name,
        Value,
    };
    Place place = Place::Between;
    bool anyField = false;
    char escape[2] = {}; // "%" and at most one hexadecimal digit after it
    unsigned char escapeLength = 0;
};

// Decodes a form body as browsers encode it (application/x-www-form-urlencoded):
// "&" separates fields, and empty ones are skipped; the first "=" of a field
// ends its name; "+" is a space; every "%" followed by two hexadecimal digits,
// in either case, is that byte, and any other "%" stays as it is. A field
// without "=" has that text as its name and an empty value.
//
// Unlike DecodeFormText nothing is dropped, so the decoded bytes are exactly
// the data the browser sent. Every field has a name; a later "=" is part of
// the value. It holds back at most two bytes of an escape between pieces.
class StandardFormDecoder : public FormDecoder
{
protected:
    void decode(std::string_view piece, std::string& out, std::vector<FormSplit>& marks) override;
    bool decodeRest(std::string& out, std::vector<FormSplit>& marks) override;
    void decodeLayout(std::string_view piece, std::string& out) override;
    bool decodeLayoutRest(std::string& out) override;

private:
    // Readies the decoder for a new text; returns whether this one held a field.
    bool endText();

    StandardFormState m_state;
};

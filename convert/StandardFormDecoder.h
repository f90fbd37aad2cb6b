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
// the data the browser sent. The layout is the same: name, FormNameSeparator,
// value; FormFieldBreak between fields. It holds back at most two bytes of an
// escape between pieces.
class StandardFormDecoder : public FormDecoder
{
public:
    void feed(std::string_view piece, std::string& out,
              std::vector<FormSplit>* splits = nullptr) override;
    bool finish(std::string& out, std::vector<FormSplit>* splits = nullptr) override;

private:
    StandardFormState m_state;
};

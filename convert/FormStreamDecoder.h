#pragma once

#include "DecodeFormText.h"

#include <string>
#include <string_view>
#include <vector>

// Decodes a form body that arrives in pieces, with the same result as
// DecodeFormText on the whole text wherever the pieces are cut. It holds back
// at most five bytes between pieces, so memory stays bounded by the piece size.
class FormStreamDecoder
{
public:
    // Appends to `out` the decoding of everything that is certain so far.
    // With `splits`, every field break and name separator written is listed
    // there (see DecodeFormSpan).
    void feed(std::string_view piece, std::string& out, std::vector<FormSplit>* splits = nullptr);
    // Appends the decoding of what was held back. The decoder is then ready
    // for a new text.
    void finish(std::string& out, std::vector<FormSplit>* splits = nullptr);

private:
    std::string m_pending; // bytes of an escape that may continue in the next piece
};

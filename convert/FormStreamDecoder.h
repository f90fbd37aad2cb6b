#pragma once

#include <string>
#include <string_view>

// Decodes a form body that arrives in pieces, with the same result as
// DecodeFormText on the whole text wherever the pieces are cut. It holds back
// at most five bytes between pieces, so memory stays bounded by the piece size.
class FormStreamDecoder
{
public:
    // Appends to `out` the decoding of everything that is certain so far.
    void feed(std::string_view piece, std::string& out);
    // Appends the decoding of what was held back. The decoder is then ready
    // for a new text.
    void finish(std::string& out);

private:
    std::string m_pending; // bytes of an escape that may continue in the next piece
};

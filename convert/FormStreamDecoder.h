#pragma once

#include "DecodeFormText.h"
#include "FormDecoder.h"

#include <string>
#include <string_view>
#include <vector>

// Decodes a form body that arrives in pieces, with the same result as
// DecodeFormText on the whole text wherever the pieces are cut. It holds back
// at most five bytes between pieces, so memory stays bounded by the piece size.
class FormStreamDecoder : public FormDecoder
{
public:
    void feed(std::string_view piece, std::string& out,
              std::vector<FormSplit>* splits = nullptr) override;
    // Any text but the empty one has a field, though it may decode to nothing.
    bool finish(std::string& out, std::vector<FormSplit>* splits = nullptr) override;

private:
    std::string m_pending;  // bytes of an escape that may continue in the next piece
    bool m_started = false; // some text was fed
};

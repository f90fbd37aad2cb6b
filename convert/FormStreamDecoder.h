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
protected:
    void decode(std::string_view piece, std::string& out, std::vector<FormSplit>& marks) override;
    // Any text but the empty one has a field, though it may decode to nothing.
    bool decodeRest(std::string& out, std::vector<FormSplit>& marks) override;
    // DecodeFormText's layout, written in place by the same decoder.
    void decodeLayout(std::string_view piece, std::string& out) override;
    bool decodeLayoutRest(std::string& out) override;

private:
    // Decodes `piece` after the bytes held back, with `marks` or (null) the layout.
    void decodePiece(std::string_view piece, std::string& out, std::vector<FormSplit>* marks);
    bool decodeHeld(std::string& out, std::vector<FormSplit>* marks);

    std::string m_pending;  // bytes of an escape that may continue in the next piece
    bool m_started = false; // some text was fed
};

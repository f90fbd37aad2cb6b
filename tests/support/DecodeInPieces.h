#pragma once

#include "convert/FormDecoder.h"

#include <string>
#include <string_view>

// What `decoder` makes of `text` fed in pieces of `piece` bytes.
inline std::string DecodeInPieces(FormDecoder& decoder, std::string_view text, std::size_t piece)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += piece)
        decoder.feed(text.substr(i, piece), out);
    decoder.finish(out);
    return out;
}

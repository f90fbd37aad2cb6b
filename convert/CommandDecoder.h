#pragma once

#include "files/ScopedOverride.h"

#include <string>
#include <string_view>

// The decoder that Convert and Quick Convert run: DecodeFormText, with the
// wait cursor shown while it works. Tests put another one in its place, so
// that memory running out can be simulated, for as long as an Override lives.
class CommandDecoder
{
public:
    static std::string decode(std::string_view text);

    using DecodeFunction = std::string (*)(std::string_view);
    class Override : ScopedOverride<DecodeFunction>
    {
    public:
        explicit Override(DecodeFunction decoder);
    };
};

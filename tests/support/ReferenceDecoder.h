#pragma once

#include <string>
#include <string_view>

// The decoder's tables, written again as plainly as possible and
// independently of the real one, to compare it against.
std::string ReferenceDecode(std::string_view text);

#pragma once

#include <string>
#include <string_view>

// The decoder's tables, written again as plainly as possible and
// independently of the real one, to compare it against.
std::string ReferenceDecode(std::string_view text);

// The standard decoding (StandardFormDecoder) written as plainly: "&"
// separates fields, empty ones skipped; a field's first "=" ends its name;
// "+" is a space and "%" with two hexadecimal digits is their byte.
std::string ReferenceStandardDecode(std::string_view text);

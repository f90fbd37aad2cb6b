#pragma once

#include <cstddef>
#include <string>

// A form-mail body as browsers send it: fields of words joined by "+", about
// one byte in five special, some %XX escapes and %0D%0A line breaks. The same
// seed always gives the same text.
std::string MakeFormCorpus(std::size_t bytes, unsigned seed = 1);

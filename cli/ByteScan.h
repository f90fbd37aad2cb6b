#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

// Finds the next byte of a set in a text sixteen bytes at a time, so that a
// writer copies the runs between the bytes it must handle in blocks: the
// quotes and controls that JSON escapes, the bytes that make a CSV cell
// quoted, the first byte outside ASCII that UTF-8 must check. The set is up
// to four given bytes, every byte below a bound, and optionally every byte
// from 0x80 up. The blocks are the compiler's portable vector types, which it
// turns into SSE2 on x86-64 and into the vector unit of other processors.
class ByteScan
{
public:
    ByteScan(std::initializer_list<unsigned char> bytes, unsigned char below = 0,
             bool high = false);

    // The offset of the first byte of `text` in the set, or text.size().
    std::size_t find(std::string_view text) const;

private:
    unsigned char m_bytes[4] = {};
    bool m_given;
    unsigned char m_below;
    bool m_high;
};

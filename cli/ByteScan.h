#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

// Finds the next byte of a set in a text sixteen bytes at a time, so that a
// writer copies the runs between the bytes it must handle in blocks: the
// quotes and controls that JSON escapes, the bytes that make a CSV cell
// quoted. The set is up to four given bytes and every byte below a bound. The
// blocks are the compiler's portable vector types, which it
// turns into SSE2 on x86-64 and into the vector unit of other processors;
// mark() and findWord() take 32 bytes at a time with AVX2 where the decoders
// use it (FormScanner).
class ByteScan
{
public:
    ByteScan(std::initializer_list<unsigned char> bytes, unsigned char below = 0);

    // The offset of the first byte of `text` in the set, or text.size().
    std::size_t find(std::string_view text) const;
    // The same, copying the bytes before it to `to` on the way, a block at a
    // time. Bytes after them may be written too, up to text.size() in all:
    // `to` needs room for the whole text.
    std::size_t copy(std::string_view text, char* to) const;

    // Sets bit k of `bits` (of 64 to a word, lowest first) where byte k of
    // `text` is in the set, and clears the others: the one look a writer
    // needs where it goes on to the next byte of the set many times.
    void mark(std::string_view text, std::vector<std::uint64_t>& bits) const;
    // The offset of the first `word` (of two bytes or more) in `text`, or
    // text.size(): its first and last bytes are looked for together, sixteen
    // places at a time, so that a byte common in the text stops the search
    // only where the other one stands too.
    static std::size_t findWord(std::string_view text, std::string_view word);

private:
    template <bool Copy> std::size_t scan(std::string_view text, char* to) const;
    // The test of a block against the set (see ByteScan.cpp).
    auto setTest() const;

    // Blocks of one byte each: the four given bytes (unused places repeat
    // one of the set) and the bound.
    enum
    {
        kBelow = 4,
        kBlocks
    };
    alignas(16) unsigned char m_blocks[kBlocks][16] = {};
    // The set byte by byte, for texts shorter than a block.
    std::array<bool, 256> m_in{};
};

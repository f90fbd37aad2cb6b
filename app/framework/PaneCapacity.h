#pragma once

#include <QStringView>

#include <cstdint>
#include <string_view>

// Whether a text will fit into a pane. Qt's text document does not survive
// running out of memory, so a text is measured against what the process may
// still use before it goes in, and refused when it will not fit.
class PaneCapacity
{
public:
    // Lines at least this long, in characters, are cut into blocks in a pane
    // that wraps, and keep their layout between edits in one that does not,
    // which takes them more memory.
    static constexpr int kLongLine = 4096;

    // Throws std::runtime_error with a message for the user when the text
    // about to replace or enter a pane will not fit; `cutsLongLines` says
    // whether the pane cuts long lines. The message gives the size and
    // points to the commands that decode a file without showing it.
    static void check(std::string_view bytes, bool cutsLongLines);
    // The same for text in Qt's form, e.g. a paste or a drop.
    static void check(QStringView text, bool cutsLongLines);

    // Bytes of memory a pane takes for a text of `size` bytes or characters,
    // in `lines` lines, of which `inLongLines` lie in lines of 4096 or more.
    static std::uint64_t need(std::uint64_t size, std::uint64_t lines, std::uint64_t inLongLines);

    // Bytes that this process may still allocate: the least of what its
    // address-space and data limits leave, the system's available memory,
    // and what its control group's memory limit leaves.
    static std::uint64_t available();

private:
    static void checkNeed(std::uint64_t size, std::uint64_t lines, std::uint64_t inLongLines,
                          bool cutsLongLines);
};

#include "PaneCapacity.h"

#include "PaneCodec.h"

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

// What a pane takes: the peak of the address space while a text goes in and
// is shown, measured with bench_pane_memory on 20 MB of Latin, Arabic,
// Hebrew, CJK, Devanagari, emoji, combining marks, and Latin mixed with
// Arabic by word and by letter, in one line and in lines of 80 bytes (Latin
// down to 20), after Load File and after Convert. Lines share the blocks of
// the document (see PaneCodec::toBlocks), and the left pane cuts long lines
// into such blocks: every text took at most 6.6 bytes per byte (Latin and
// Arabic letters in turn, on one line), once 7.6 where a thread of Qt's
// took memory of its own meanwhile. A line that has a block to itself, as
// where lines that read in opposite directions take turns, takes 490 bytes
// more. A long line kept whole, as the right pane keeps it, keeps its layout
// between edits (see TextPane) and takes at most 71.4 bytes per byte in all:
// Latin and Arabic letters in turn, where each change of script and
// direction starts a new run of the layout (Latin alone takes 47). The
// figures below are those worst cases and a quarter more.
constexpr std::uint64_t kPerByte = 9;
constexpr std::uint64_t kPerLine = 480;
constexpr std::uint64_t kPerByteOfLongLine = 83;

// Of what is left to the process, this part stays free, and at least
// kKeptFree: for what Qt needs meanwhile (painting, an edit's undo step), and
// for what no measurement saw.
constexpr std::uint64_t kKeptFreeShare = 8; // one eighth
constexpr std::uint64_t kKeptFree = 64ull << 20;

constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();

struct Shape
{
    std::uint64_t lines = 1;
    std::uint64_t inLongLines = 0;
};

// Lines and long lines of a text whose line breaks are the characters that
// `isBreak` accepts.
template <class Char, class IsBreak>
Shape shapeOf(const Char* text, std::size_t size, IsBreak isBreak)
{
    Shape shape;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && !isBreak(text[i]))
            continue;
        if (i - lineStart >= std::size_t(PaneCapacity::kLongLine))
            shape.inLongLines += i - lineStart;
        if (i < size)
            ++shape.lines;
        lineStart = i + 1;
    }
    return shape;
}

// A value in kB from a "Name:   1234 kB" line of a /proc file, in bytes.
std::uint64_t procField(const char* path, const std::string& name)
{
    std::ifstream file(path);
    std::string key;
    std::uint64_t kb = 0;
    while (file >> key) {
        if (key == name && file >> kb)
            return kb * 1024;
        file.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return kUnlimited;
}

// What a resource limit leaves above `used`.
std::uint64_t leftUnder(int resource, std::uint64_t used)
{
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || used == kUnlimited)
        return kUnlimited;
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

std::uint64_t readNumber(const std::string& path)
{
    std::ifstream file(path);
    std::uint64_t value = 0;
    return file >> value ? value : kUnlimited;
}

// What the memory limit of this process's control group (version 2) leaves.
std::uint64_t leftInControlGroup()
{
    std::ifstream cgroup("/proc/self/cgroup");
    std::string line;
    while (std::getline(cgroup, line)) {
        if (line.rfind("0::", 0) != 0)
            continue;
        const std::string dir = "/sys/fs/cgroup" + line.substr(3);
        const std::uint64_t limit = readNumber(dir + "/memory.max"); // "max" reads as none
        const std::uint64_t used = readNumber(dir + "/memory.current");
        if (limit == kUnlimited || used == kUnlimited)
            return kUnlimited;
        return limit > used ? limit - used : 0;
    }
    return kUnlimited;
}

// `bytes` in MB or GB to one decimal, rounded up or down, so that a need
// that is refused never reads as no more than what is left.
std::string megabytes(std::uint64_t bytes, bool roundUp)
{
    const bool gigabytes = bytes >= 1000ull * 1000 * 1000;
    const double tenths = double(bytes) / (gigabytes ? 1e8 : 1e5);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s",
                  (roundUp ? std::ceil(tenths) : std::floor(tenths)) / 10, gigabytes ? "GB" : "MB");
    return text;
}

} // namespace

std::uint64_t PaneCapacity::need(std::uint64_t size, std::uint64_t lines, std::uint64_t inLongLines)
{
    return size * kPerByte + lines * kPerLine + inLongLines * kPerByteOfLongLine;
}

std::uint64_t PaneCapacity::available()
{
    const std::uint64_t addressSpace =
        leftUnder(RLIMIT_AS, procField("/proc/self/status", "VmSize:"));
    const std::uint64_t data = leftUnder(RLIMIT_DATA, procField("/proc/self/status", "VmData:"));
    const std::uint64_t system = procField("/proc/meminfo", "MemAvailable:");
    return std::min({addressSpace, data, system, leftInControlGroup()});
}

void PaneCapacity::check(std::string_view bytes, bool cutsLongLines)
{
    // CR LF and a lone LF both end a line with LF.
    const Shape shape = shapeOf(bytes.data(), bytes.size(), [](char c) { return c == '\n'; });
    checkNeed(bytes.size(), shape.lines, shape.inLongLines, cutsLongLines);
}

void PaneCapacity::check(QStringView text, bool cutsLongLines)
{
    const Shape shape = shapeOf(text.data(), std::size_t(text.size()), [](QChar c) {
        return c == QLatin1Char('\n') || c == QChar::ParagraphSeparator;
    });
    checkNeed(std::uint64_t(text.size()), shape.lines, shape.inLongLines, cutsLongLines);
}

void PaneCapacity::checkNeed(std::uint64_t size, std::uint64_t lines, std::uint64_t inLongLines,
                             bool cutsLongLines)
{
    // A long line cut into blocks takes what as many short lines take.
    constexpr std::uint64_t kShortestCut = PaneCodec::kBlockLength * 3 / 4;
    const std::uint64_t needed = cutsLongLines ? need(size, lines + inLongLines / kShortestCut, 0)
                                               : need(size, lines, inLongLines);
    const std::uint64_t left = available();
    if (left == kUnlimited)
        return;
    const std::uint64_t kept = std::max(left / kKeptFreeShare, kKeptFree);
    const std::uint64_t spare = left > kept ? left - kept : 0;
    if (needed <= spare)
        return;
    throw std::runtime_error(
        "The text of " + megabytes(size, true) + " would take about " + megabytes(needed, true) +
        " of memory to show, and only " + megabytes(spare, false) + " of the " +
        megabytes(left, false) +
        " left to this program can be spared. Quick Convert on the File menu, or the command "
        "formtidy-decode, decodes a file of any size without showing it.");
}

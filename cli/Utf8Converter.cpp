#include "Utf8Converter.h"

#include "ByteScan.h"
#include "GObjectPtr.h"
#include "convert/Windows1252.h"

#include <glib.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

// The charset's name in lower case without punctuation, so that the usual
// spellings of one name compare equal ("ISO_8859-1", "iso8859-1").
std::string plainName(const std::string& charset)
{
    std::string name;
    for (const char c : charset)
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool isOneOf(const std::string& name, std::initializer_list<const char*> names)
{
    for (const char* candidate : names)
        if (name == candidate)
            return true;
    return false;
}

// Valid UTF-8, where a NUL byte counts as a character (GLib's check ends at one).
bool isUtf8(std::string_view bytes)
{
    // Most names and values are ASCII, which a scan of blocks passes at
    // once. From the first byte beyond it, GLib checks the text up to the
    // next block that is all ASCII, which no character reaches into, or up
    // to a NUL.
    static const ByteScan nonAscii({}, 0, true);
    for (;;) {
        bytes.remove_prefix(nonAscii.find(bytes));
        if (bytes.empty())
            return true;
        std::size_t run = ByteScan::asciiBlock(bytes);
        if (const void* nul = std::memchr(bytes.data(), 0, run))
            run = std::size_t(static_cast<const char*>(nul) - bytes.data());
        if (!g_utf8_validate_len(bytes.data(), run, nullptr))
            return false;
        bytes.remove_prefix(run);
    }
}

// The decoder that browsers read a charset with, under the name iconv knows
// it by. Where a form names a charset, browsers encode it in their own
// decoder's superset of it, and read it so: a narrower table would read the
// letters that only the superset has as faults, or, for Shift_JIS, read the
// backslash as "¥" and the tilde as "‾", which would change the paths and
// addresses that forms hold. ISO-8859-1, read as Windows-1252, is taken
// before.
const char* decoderOf(const std::string& name, const std::string& charset)
{
    static const struct
    {
        std::initializer_list<const char*> names;
        const char* decoder;
    } kSupersets[] = {
        {{"shiftjis", "sjis", "mskanji", "csshiftjis", "ms932", "windows31j", "cswindows31j",
          "xsjis"},
         "CP932"},
        {{"iso88599", "latin5", "l5", "isoir148", "csisolatin5", "iso885991989", "windows1254",
          "xcp1254"},
         "CP1254"},
        {{"tis620", "iso885911", "windows874", "dos874"}, "CP874"},
        {{"gb2312", "csgb2312", "chinese", "gbk", "xgbk", "isoir58", "gb231280", "csiso58gb231280"},
         "GB18030"},
        {{"euckr", "cseuckr", "korean", "windows949", "isoir149", "csksc56011987", "ksc5601",
          "ksc56011987", "ksc56011989"},
         "CP949"},
        {{"iso88598i", "csiso88598i", "logical"}, "ISO-8859-8"},
    };
    for (const auto& superset : kSupersets)
        if (isOneOf(name, superset.names))
            return superset.decoder;
    return charset.c_str();
}

std::string windows1252(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size() * 2);
    char buffer[6];
    for (const char byte : bytes) {
        const gunichar ch = Windows1252ToUnicode(static_cast<unsigned char>(byte));
        text.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(ch, buffer)));
    }
    return text;
}

} // namespace

Utf8Converter::Utf8Converter(const std::string& charset)
{
    const std::string name = plainName(charset);
    if (name.empty() || isOneOf(name, {"usascii", "ascii", "ansix341968", "iso646us", "us"}))
        return; // no charset, or one that says nothing about bytes above 127
    if (name == "utf8") {
        m_way = Way::Utf8;
        return;
    }
    if (isOneOf(name, {"iso88591", "latin1", "l1", "isoir100", "cp819", "ibm819", "windows1252",
                       "cp1252", "xcp1252"})) {
        m_way = Way::Windows1252;
        return;
    }
    InitGMime();
    m_iconv = g_mime_iconv_open("UTF-8", decoderOf(name, charset));
    if (m_iconv == iconv_t(-1))
        m_unknown = true;
    else
        m_way = Way::Iconv;
}

Utf8Converter::~Utf8Converter()
{
    if (m_iconv != iconv_t(-1))
        g_mime_iconv_close(m_iconv);
}

std::string Utf8Converter::utf8OrWindows1252(std::string_view bytes)
{
    return isUtf8(bytes) ? std::string(bytes) : windows1252(bytes);
}

void Utf8Converter::convert(std::string& text)
{
    // Text that is to stay as it is is not copied, nor checked twice.
    if (m_way == Way::Guess || m_way == Way::Utf8) {
        if (!isUtf8(text))
            text = notUtf8(text);
        return;
    }
    text = (*this)(text);
}

std::string Utf8Converter::notUtf8(std::string_view bytes)
{
    m_fellBack = m_fellBack || m_way == Way::Utf8;
    return windows1252(bytes);
}

std::string Utf8Converter::operator()(std::string_view bytes)
{
    switch (m_way) {
    case Way::Guess:
    case Way::Utf8:
        return isUtf8(bytes) ? std::string(bytes) : notUtf8(bytes);
    case Way::Windows1252:
        return windows1252(bytes);
    case Way::Iconv:
        break;
    }
    // Each text starts in the converter's first state (ISO-2022-JP keeps one).
    ::iconv(m_iconv, nullptr, nullptr, nullptr, nullptr);
    std::string out(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t done = 0;
    for (bool flushing = false;;) {
        char* to = out.data() + done;
        std::size_t outLeft = out.size() - done;
        const std::size_t result = flushing ? ::iconv(m_iconv, nullptr, nullptr, &to, &outLeft)
                                            : ::iconv(m_iconv, &in, &inLeft, &to, &outLeft);
        done = out.size() - outLeft;
        if (result != std::size_t(-1)) {
            if (flushing)
                break;
            flushing = true;
            continue;
        }
        if (errno != E2BIG) {
            // Not valid in this charset (EILSEQ), or cut short (EINVAL).
            m_fellBack = true;
            return utf8OrWindows1252(bytes);
        }
        out.resize(out.size() * 2);
    }
    out.resize(done);
    return out;
}

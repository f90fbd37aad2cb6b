#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

// Turns the bytes of a form's names and values into UTF-8. In a charset that
// the form or its mail names, through GMime's iconv, where the bytes are
// valid in it; otherwise (or with no charset, or US-ASCII) as UTF-8 where the
// bytes are valid UTF-8, and else byte by byte as Windows-1252, whose table
// gives every byte a character. ISO-8859-1 is read as Windows-1252, as
// browsers read it: the two differ only in bytes 0x80 to 0x9F, which are
// controls in ISO-8859-1 and letters and signs in the forms that name it.
// So are the other charsets that browsers read with a superset's decoder:
// Shift_JIS as Windows-31J, ISO-8859-9 as Windows-1254, TIS-620 as
// Windows-874, GB2312 and GBK as GB18030, EUC-KR as Windows-949.
// A NUL byte is a character like any other.
class Utf8Converter
{
public:
    explicit Utf8Converter(const std::string& charset = {});
    ~Utf8Converter();
    Utf8Converter(const Utf8Converter&) = delete;
    Utf8Converter& operator=(const Utf8Converter&) = delete;

    std::string operator()(std::string_view bytes);
    // The same, as `bytes` themselves where they stay as they are, else as
    // the text written to `scratch`.
    std::string_view convert(std::string_view bytes, std::string& scratch);

    // Whether text that is valid UTF-8 stays as it is.
    bool keepsUtf8() const { return m_way == Way::Guess || m_way == Way::Utf8; }
    // The charset was named but is not one that iconv knows.
    bool unknownCharset() const { return m_unknown; }
    // Some text was not valid in the named charset and was read as UTF-8 or
    // Windows-1252 instead.
    bool fellBack() const { return m_fellBack; }

    // UTF-8 where valid, else Windows-1252.
    static std::string utf8OrWindows1252(std::string_view bytes);
    // Whether `bytes` are well-formed UTF-8, where a NUL is a character
    // like any other.
    static bool isUtf8(std::string_view bytes);

private:
    // Bytes that are not valid UTF-8, where the charset is none or UTF-8:
    // as Windows-1252, noting a fall back where UTF-8 was named.
    std::string notUtf8(std::string_view bytes);

    enum class Way
    {
        Guess,       // no charset: UTF-8 where valid, else Windows-1252
        Utf8,        // the same, but the charset said UTF-8
        Windows1252, // every byte by the table
        Iconv,
    };
    Way m_way = Way::Guess;
    iconv_t m_iconv = iconv_t(-1);
    bool m_unknown = false;
    bool m_fellBack = false;
};

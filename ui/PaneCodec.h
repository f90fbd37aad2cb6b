#pragma once

#include <QString>

#include <string>
#include <string_view>

// Converts between the bytes of a text and what a pane shows, losing nothing.
//
// A text that is valid UTF-8 is shown as UTF-8; any other text byte by byte as
// Windows-1252, with the five bytes that code page leaves undefined shown as
// the C1 controls of the same value. CR LF and a lone LF are line breaks; a
// lone CR is shown as the symbol U+240D. The pane text is in the raw form of
// QTextDocument, where a line break is U+2029.
class PaneCodec
{
public:
    enum class Encoding
    {
        Utf8,
        Windows1252
    };

    // How a pane's bytes were written, so that reading the pane gives them back.
    struct Format
    {
        Encoding encoding = Encoding::Utf8;
        bool lfOnly = false;  // line breaks are LF rather than CR LF
        bool loneCrs = false; // U+240D stands for a lone CR
        bool operator==(const Format& o) const
        {
            return encoding == o.encoding && lfOnly == o.lfOnly && loneCrs == o.loneCrs;
        }
    };

    static constexpr char16_t kParagraph = 0x2029;
    static constexpr char16_t kLoneCrSymbol = 0x240D;

    // The pane text for `bytes`; `format` receives how to write it back.
    static QString toPaneText(std::string_view bytes, Format& format);
    // The bytes for the raw text of a pane.
    static std::string toBytes(QStringView raw, const Format& format);

    // The character that Windows-1252 byte `byte` stands for.
    static char16_t windows1252ToUnicode(unsigned char byte);
};

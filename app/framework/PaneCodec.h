#pragma once

#include <QString>

#include <string>
#include <string_view>
#include <vector>

// Converts between the bytes of a text and what a pane shows, losing nothing.
//
// A text that is valid UTF-8 is shown as UTF-8; any other text byte by byte as
// Windows-1252, with the five bytes that code page leaves undefined shown as
// the C1 controls of the same value. CR LF and a lone LF are line breaks; a
// lone CR is shown as the symbol U+240D. The pane text is in the raw form of
// QTextDocument: a line break is U+2029, or U+2028 inside a block of the
// document (see toBlocks()).
//
// A pane has a convention for its line breaks, CR LF or LF. A break of the
// other kind, a lone CR, and a U+2028, U+2029, U+FDD0 or U+FDD1 of the text
// itself (which the document would take for line breaks) are listed as marks
// beside the pane text, so that every byte reads back as it was.
class PaneCodec
{
public:
    enum class Encoding
    {
        Utf8,
        Windows1252
    };

    // How a pane writes the characters it was given no mark for.
    struct Format
    {
        Encoding encoding = Encoding::Utf8;
        bool lfOnly = false; // line breaks are LF rather than CR LF
        bool operator==(const Format& o) const
        {
            return encoding == o.encoding && lfOnly == o.lfOnly;
        }
    };

    // What a character of the pane text stands for. A U+2029 or U+2028 of
    // the pane text is a line break (CrLf, Lf), or stands for a character
    // that the document would take for one (ParagraphSeparator to FrameEnd,
    // LineSeparator), or for nothing (Cut); LoneCr and CrSymbol say what a
    // U+240D is. Only the exceptions are listed as marks: a break of the kind
    // the convention does not give, a character of the text that the
    // document would take for a break, a U+240D of the text itself, and a
    // cut; an unmarked U+240D is a lone CR.
    enum class Mark : unsigned char
    {
        CrLf,
        Lf,
        ParagraphSeparator, // the character U+2029 itself
        FrameStart,         // U+FDD0
        FrameEnd,           // U+FDD1
        LoneCr,
        CrSymbol,      // the character U+240D itself
        LineSeparator, // the character U+2028 itself
        Cut,           // nothing: a long line goes on in the next block
    };
    struct Marked
    {
        qsizetype position; // in the pane text
        Mark mark;
        bool operator==(const Marked& o) const { return position == o.position && mark == o.mark; }
    };
    // In order of position.
    using Marks = std::vector<Marked>;

    static constexpr char16_t kParagraph = 0x2029;
    static constexpr char16_t kLineSeparator = 0x2028;
    static constexpr char16_t kLoneCrSymbol = 0x240D;

    // The length, in characters, that toBlocks() keeps blocks to.
    static constexpr qsizetype kBlockLength = 4000;

    // The pane text for `bytes`. `format` receives the encoding and the line
    // break convention, `marks` every character that differs from them.
    static QString toPaneText(std::string_view bytes, Format& format, Marks& marks);
    // A document spends time and memory on each of its blocks, and an edit
    // lays its whole block out again. So pane text goes into blocks of about
    // kBlockLength characters: short lines share a block, with U+2028
    // between them; and with `cutLongLines`, a line of
    // PaneCapacity::kLongLine characters or more is cut into blocks no longer
    // than that, each cut a U+2029 marked Cut. Only lines that read in the
    // same direction share a block, since a block reads in one. Takes pane
    // text as toPaneText() and fromClipboardText() give it; `marks` move with
    // their characters, and the cuts join them.
    static void toBlocks(QString& text, Marks& marks, bool cutLongLines);

    // Whether pane text `text` (as toPaneText() gives it) has a line of
    // PaneCapacity::kLongLine characters or more.
    static bool hasLongLine(QStringView text);

    // Whether `text` holds a character that pane text gives a meaning of its
    // own (a line break, U+240D), so that it can go in only with marks.
    static bool needsMarks(QStringView text);

    // The bytes for pane text `raw` with its marks.
    static std::string toBytes(QStringView raw, const Format& format, const Marks& marks);

    // The break that a line break without a mark stands for.
    static Mark convention(const Format& format) { return format.lfOnly ? Mark::Lf : Mark::CrLf; }

    // How clipboard text writes a line break.
    enum class Breaks
    {
        AsTheyStand, // CR LF or LF, each as the text has it
        Lf,          // LF, as other programs on Linux expect in plain text
    };
    // Text for the clipboard: every lone CR, and every line break as `breaks`
    // says, as the characters that it stands for. Pasting the text of
    // Breaks::AsTheyStand gives back the same bytes.
    static QString toClipboardText(QStringView raw, const Format& format, const Marks& marks,
                                   Breaks breaks = Breaks::AsTheyStand);
    // Pane text for clipboard text; `marks` receives every line break with
    // its kind and every U+240D of the text itself.
    static QString fromClipboardText(QStringView text, Marks& marks);

    // The position of the first character of `text` that `encoding` has no
    // bytes for, or -1 when it can hold all of them.
    static qsizetype firstUnencodable(QStringView text, Encoding encoding);

    // The character that Windows-1252 byte `byte` stands for.
    static char16_t windows1252ToUnicode(unsigned char byte);
};

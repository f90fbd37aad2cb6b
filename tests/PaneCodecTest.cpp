#include "app/framework/PaneCodec.h"
#include "app/framework/PaneCapacity.h"

#include <QList>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(PaneCodec, Windows1252TableAgreesWithQt)
{
    QStringDecoder cp1252("windows-1252");
    ASSERT_TRUE(cp1252.isValid());
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const QString qt = cp1252.decode(QByteArrayView(&byte, 1));
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            EXPECT_EQ(PaneCodec::windows1252ToUnicode(static_cast<unsigned char>(b)), b);
        else
            EXPECT_EQ(QChar(PaneCodec::windows1252ToUnicode(static_cast<unsigned char>(b))),
                      qt.at(0))
                << b;
    }
}

TEST(PaneCodec, TheEncodingDependsOnTheBytesAlone)
{
    PaneCodec::Format format;
    PaneCodec::Marks marks;
    EXPECT_EQ(PaneCodec::toPaneText("caf\xc3\xa9", format, marks), QString::fromUtf8("café"));
    EXPECT_EQ(format.encoding, PaneCodec::Encoding::Utf8);
    EXPECT_EQ(PaneCodec::toPaneText("caf\xe9", format, marks), QString::fromUtf8("café"));
    EXPECT_EQ(format.encoding, PaneCodec::Encoding::Windows1252);
    // Mixed line ends, a BOM, lone CRs and characters the document would
    // take for line breaks all leave a UTF-8 text UTF-8.
    for (const char* utf8 : {"Jos\xc3\xa9\r\nx\ny\r", "\xef\xbb\xbfz\n", "a\xe2\x80\xa9z",
                             "a\xef\xb7\x90z\xef\xb7\x91", "\xe2\x90\x8d\r\xe2\x90\x8d"}) {
        const QString text = PaneCodec::toPaneText(utf8, format, marks);
        EXPECT_EQ(format.encoding, PaneCodec::Encoding::Utf8) << utf8;
        EXPECT_EQ(PaneCodec::toBytes(text, format, marks), utf8);
    }
}

TEST(PaneCodec, EachLineBreakKeepsItsKind)
{
    PaneCodec::Format format;
    PaneCodec::Marks marks;
    const QString lf = PaneCodec::toPaneText("a\nb\n", format, marks);
    EXPECT_TRUE(format.lfOnly);
    EXPECT_TRUE(marks.empty());
    EXPECT_EQ(PaneCodec::toBytes(lf, format, marks), "a\nb\n");

    // Mixed: the convention is CR LF, and the LF is marked.
    const QString mixed = PaneCodec::toPaneText("a\r\nb\nc", format, marks);
    EXPECT_FALSE(format.lfOnly);
    EXPECT_EQ(marks, (PaneCodec::Marks{{3, PaneCodec::Mark::Lf}}));
    EXPECT_EQ(PaneCodec::toBytes(mixed, format, marks), "a\r\nb\nc");

    // A lone CR shows as U+240D; the character U+240D itself is marked.
    const QString loneCr = PaneCodec::toPaneText("a\rb\xe2\x90\x8d\r\n", format, marks);
    EXPECT_EQ(loneCr, QString::fromUtf16(u"a\u240Db\u240D\u2029"));
    EXPECT_EQ(marks, (PaneCodec::Marks{{3, PaneCodec::Mark::CrSymbol}}));
    EXPECT_EQ(PaneCodec::toBytes(loneCr, format, marks), "a\rb\xe2\x90\x8d\r\n");
    EXPECT_EQ(PaneCodec::toBytes(loneCr, format, {}), "a\rb\r\r\n");
}

TEST(PaneCodec, TheClipboardCarriesEveryBreakAsItStands)
{
    PaneCodec::Format format;
    PaneCodec::Marks marks;
    const std::string bytes = "a\r\nb\nc\rd\xe2\x80\xa9";
    const QString pane = PaneCodec::toPaneText(bytes, format, marks);
    const QString clip = PaneCodec::toClipboardText(pane, format, marks);
    EXPECT_EQ(clip, QString::fromUtf16(u"a\r\nb\nc\rd\u2029"));
    EXPECT_EQ(PaneCodec::toClipboardText(pane, format, marks, PaneCodec::Breaks::Lf),
              QString::fromUtf16(u"a\nb\nc\rd\u2029"))
        << "a lone CR is no line break";
    PaneCodec::Marks pasted;
    EXPECT_EQ(PaneCodec::fromClipboardText(clip, pasted), pane);
    EXPECT_EQ(PaneCodec::toBytes(pane, format, pasted), bytes);
}

TEST(PaneCodec, FindsTheFirstCharacterAnEncodingCannotHold)
{
    using E = PaneCodec::Encoding;
    EXPECT_EQ(PaneCodec::firstUnencodable(QString::fromUtf8("café €\r\n\xc2\x81"), E::Windows1252),
              -1);
    EXPECT_EQ(PaneCodec::firstUnencodable(QString::fromUtf8("ab→日"), E::Windows1252), 2);
    EXPECT_EQ(PaneCodec::firstUnencodable(QString::fromUtf16(u"x\u2029"), E::Windows1252), 1);
    EXPECT_EQ(PaneCodec::firstUnencodable(QString::fromUtf8("ab→日😀"), E::Utf8), -1);
    EXPECT_EQ(PaneCodec::firstUnencodable(QString(QChar(0xD800)), E::Utf8), 0);
}

// Texts in the blocks of a document: every byte reads back; short lines share
// blocks, of one reading direction each; and a long line, when cut, is cut
// between characters (as Qt finds them), with the block after each cut
// reading in the line's direction.
TEST(PaneCodec, BlocksKeepEveryByteAndCutLongLinesBetweenCharacters)
{
    const auto repeat = [](const std::string& piece, std::size_t bytes) {
        std::string text;
        while (text.size() < bytes)
            text += piece;
        return text;
    };
    const std::string texts[] = {
        repeat("name=caf%C3%A9+au+lait&", 30000),
        repeat("\xd8\xb7\xd9\x84\xd8\xa8+\xd9\x83\xd9\x88\xd8\xa8 ", 30000), // Arabic words
        repeat("a\xd8\xa8", 30000),                                          // Latin, Arabic
        repeat("\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9\xf0\x9f\x87\xa9\xf0\x9f\x87\xaa",
               30000),                      // emoji joined, flags
        repeat("e\xcc\x81\xcc\xa3", 30000), // letters with marks
        repeat("x", 9000) + "\r\n\r" + repeat("y\n", 6000) +
            "a\xe2\x80\xa8"
            "b\n" +
            repeat("z", 5000),
        repeat("ab\n\xd7\x90\xd7\x91\n\n", 3000), // Latin and Hebrew lines in turn
    };
    for (const std::string& bytes : texts) {
        for (const bool cut : {false, true}) {
            PaneCodec::Format format;
            PaneCodec::Marks marks;
            QString text = PaneCodec::toPaneText(bytes, format, marks);
            PaneCodec::toBlocks(text, marks, cut);
            ASSERT_EQ(PaneCodec::toBytes(text, format, marks), bytes);
            // Each line with the places where it was cut, and each block.
            QString line;
            std::vector<qsizetype> cuts{0};
            auto mark = marks.cbegin();
            for (qsizetype i = 0, blockStart = 0; i <= text.size(); ++i) {
                while (mark != marks.cend() && mark->position < i)
                    ++mark;
                const bool marked = mark != marks.cend() && mark->position == i;
                const QChar ch = i < text.size() ? text[i] : QChar(PaneCodec::kParagraph);
                if (ch == QChar(PaneCodec::kParagraph)) {
                    const QStringView block = QStringView(text).mid(blockStart, i - blockStart);
                    const auto lines = block.split(QChar(PaneCodec::kLineSeparator));
                    EXPECT_TRUE(lines.size() == 1 || block.size() <= PaneCodec::kBlockLength);
                    for (const QStringView blockLine : lines)
                        EXPECT_EQ(blockLine.isRightToLeft(), block.isRightToLeft());
                    blockStart = i + 1;
                }
                if (marked && mark->mark == PaneCodec::Mark::Cut) {
                    cuts.push_back(line.size());
                } else if (ch == QChar(PaneCodec::kParagraph) ||
                           (ch == QChar(PaneCodec::kLineSeparator) && !marked)) {
                    EXPECT_EQ(cuts.size() > 1, cut && line.size() >= PaneCapacity::kLongLine);
                    cuts.push_back(line.size());
                    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, line);
                    for (std::size_t k = 1; k < cuts.size(); ++k) {
                        EXPECT_TRUE(!cut || cuts[k] - cuts[k - 1] <= PaneCodec::kBlockLength);
                        graphemes.setPosition(cuts[k - 1]);
                        EXPECT_TRUE(k == 1 || graphemes.isAtBoundary()) << cuts[k - 1];
                        EXPECT_EQ(line.mid(cuts[k - 1], cuts[k] - cuts[k - 1]).isRightToLeft(),
                                  line.isRightToLeft());
                    }
                    line.clear();
                    cuts = {0};
                } else {
                    line.append(ch);
                }
            }
        }
    }
}

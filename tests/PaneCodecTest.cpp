#include "app/framework/PaneCodec.h"

#include <QStringDecoder>
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

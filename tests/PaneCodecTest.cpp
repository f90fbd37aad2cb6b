#include "ui/PaneCodec.h"
#include "WindowFixture.h"
#include "app/CommandIds.h"
#include "ui/TextPane.h"

#include <QStringDecoder>
#include <QTest>

using namespace std::string_literals;

namespace {
std::string allBytesButNul()
{
    std::string s;
    for (int b = 1; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}
// Types text that QTest's ASCII key table does not know.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}
} // namespace

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

TEST(PaneCodec, ChoosesUtf8OnlyWhenItReadsBackTheSame)
{
    PaneCodec::Format format;
    EXPECT_EQ(PaneCodec::toPaneText("caf\xc3\xa9", format), QString::fromUtf8("café"));
    EXPECT_EQ(format.encoding, PaneCodec::Encoding::Utf8);
    EXPECT_EQ(PaneCodec::toPaneText("caf\xe9", format), QString::fromUtf8("café"));
    EXPECT_EQ(format.encoding, PaneCodec::Encoding::Windows1252);
    // U+2029 and the frame marks would become line breaks in the pane.
    for (const char* tricky : {"a\xe2\x80\xa9z", "a\xef\xb7\x90z", "\xef\xbb\xbfz"}) {
        const QString text = PaneCodec::toPaneText(tricky, format);
        EXPECT_EQ(PaneCodec::toBytes(text, format), tricky);
    }
}

TEST(PaneCodec, LineEndsAreRemembered)
{
    PaneCodec::Format format;
    const QString lf = PaneCodec::toPaneText("a\nb\n", format);
    EXPECT_TRUE(format.lfOnly);
    EXPECT_EQ(PaneCodec::toBytes(lf, format), "a\nb\n");
    const QString mixed = PaneCodec::toPaneText("a\r\nb\nc", format);
    EXPECT_EQ(PaneCodec::toBytes(mixed, format), "a\r\nb\r\nc");
    const QString loneCr = PaneCodec::toPaneText("a\rb\r\n", format);
    EXPECT_EQ(loneCr, QString::fromUtf16(u"a\u240Db\u2029"));
    EXPECT_EQ(PaneCodec::toBytes(loneCr, format), "a\rb\r\n");
}

TEST(PaneCodec, UnmappableCharactersInWindows1252BecomeQuestionMarks)
{
    PaneCodec::Format format;
    PaneCodec::toPaneText("\xe9", format);
    ASSERT_EQ(format.encoding, PaneCodec::Encoding::Windows1252);
    EXPECT_EQ(PaneCodec::toBytes(QString::fromUtf16(u"\u00e9\u20ac\u0100\u0080") +
                                     QString::fromUcs4(U"\U0001F600"),
                                 format),
              "\xe9\x80??"
              "?");
    EXPECT_EQ(PaneCodec::toBytes(QString::fromUtf16(u"\u001a"), format), "\x1a");
}

using PaneFidelityTest = WindowFixture;

TEST_F(PaneFidelityTest, EveryByteRoundTripsThroughBothPanes)
{
    const std::string samples[] = {allBytesButNul(),
                                   "gr\xc3\xbc\xc3\x9f dich\r\n\xe2\x82\xac",
                                   "latin \xe9\xa0\xff\r\n",
                                   "lf\nonly\n",
                                   "\r\n\r\n",
                                   "\xa0\xa0"};
    for (const std::string& bytes : samples) {
        for (int id : {IDC_SOURCE_TEXT, IDC_RESULT_TEXT}) {
            dlg->SetDlgItemText(id, bytes);
            EXPECT_EQ(dlg->GetDlgItemText(id), bytes) << testing::PrintToString(bytes);
        }
    }
}

TEST_F(PaneFidelityTest, TypedTextInAnEmptiedPaneIsUtf8WithCrLf)
{
    TextPane* pane = dlg->pane(IDC_SOURCE_TEXT);
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "lf\nonly \xe9");
    pane->selectAll();
    QTest::keyClick(pane, Qt::Key_Delete);
    typeText(pane, QString::fromUtf8("é"));
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "\xc3\xa9\r\n");
}

TEST_F(PaneFidelityTest, TypingIntoAWindows1252PaneKeepsItsEncoding)
{
    TextPane* pane = dlg->pane(IDC_SOURCE_TEXT);
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "caf\xe9\n");
    pane->moveCursor(QTextCursor::End);
    typeText(pane, QString::fromUtf16(u"\u00e8\u0101"));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "caf\xe9\n\xe8?");
}

TEST_F(PaneFidelityTest, LongSingleLineBodiesRoundTripAndTakeTyping)
{
    // Form bodies are single lines far longer than anything typed; the panes
    // keep the layout of such lines between edits.
    std::string body;
    while (body.size() < 300000)
        body += "name=caf%C3%A9+au+lait&note=\xe9t\xe9+%21&";
    for (int id : {IDC_SOURCE_TEXT, IDC_RESULT_TEXT}) {
        TextPane* pane = dlg->pane(id);
        dlg->SetDlgItemText(id, body);
        EXPECT_EQ(dlg->GetDlgItemText(id), body);
        pane->setFocus();
        pane->moveCursor(QTextCursor::End);
        QTest::keyClicks(pane, "xy");
        pane->moveCursor(QTextCursor::Start);
        QTest::keyClick(pane, Qt::Key_Delete);
        EXPECT_EQ(dlg->GetDlgItemText(id), body.substr(1) + "xy");
    }
}

TEST(PaneCodec, FallsBackWhenOnlyTheLastBytesWouldChange)
{
    // Valid UTF-8 up to a final lone CR next to a real U+240D: only the very
    // end tells that it would not read back the same.
    PaneCodec::Format format;
    const std::string bytes = std::string(5000, 'a') + "\xe2\x90\x8d\r";
    const QString text = PaneCodec::toPaneText(bytes, format);
    EXPECT_EQ(format.encoding, PaneCodec::Encoding::Windows1252);
    EXPECT_EQ(PaneCodec::toBytes(text, format), bytes);
}

TEST_F(PaneFidelityTest, OnlyLongLinesWrapAnywhere)
{
    // Qt takes time growing with the square of a line's length to break a
    // line without spaces between words, so long lines break anywhere.
    TextPane* pane = dlg->pane(IDC_SOURCE_TEXT);
    const std::string prose = "note=a few words\r\nmore";
    const std::string body(100000, 'x');
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, prose);
    EXPECT_EQ(pane->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    pane->moveCursor(QTextCursor::End);
    pane->insertPlainText(QString::fromStdString(body)); // as a paste does
    EXPECT_EQ(pane->wordWrapMode(), QTextOption::WrapAnywhere);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), prose + body);
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, prose);
    EXPECT_EQ(pane->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, prose + "\r\n" + body);
    EXPECT_EQ(pane->wordWrapMode(), QTextOption::WrapAnywhere);
    EXPECT_EQ(dlg->pane(IDC_RESULT_TEXT)->lineWrapMode(), QPlainTextEdit::NoWrap);
}

#include "ui/TextPane.h"
#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "app/framework/PaneCodec.h"
#include "convert/DecodeFormText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <functional>
#include <random>

using namespace std::string_literals;

using TextPaneTest = WindowFixture;

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

// Whether `bytes` is well-formed UTF-8: shortest forms, no surrogates,
// nothing above U+10FFFF. Written out here so as not to trust Qt's decoder.
bool isUtf8(const std::string& bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        int more;
        char32_t cp, min;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            more = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            more = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            more = 3, cp = b & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + std::size_t(more) >= bytes.size())
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += std::size_t(more) + 1;
    }
    return true;
}

// A text of pieces that the panes must keep apart: both line-break kinds,
// lone CRs, characters the document would take for line breaks, a BOM,
// UTF-8 of every length, broken UTF-8 and bytes of Windows-1252.
std::string randomText(std::mt19937& random, bool utf8Only)
{
    static const char* const pieces[] = {
        "a",
        "form=x+y",
        "\r\n",
        "\n",
        "\r",
        "\r\r\n",
        "\n\r",
        "\xc3\xa9",
        "\xe2\x82\xac",
        "\xe2\x80\xa8",
        "\xe2\x80\xa9",
        "\xef\xb7\x90",
        "\xef\xb7\x91",
        "\xe2\x90\x8d",
        "\xef\xbb\xbf",
        "\xf0\x9f\x98\x80",
        "\xc2\xa0",
        "\t",
        " ",
        "\xef\xbf\xbf",
    };
    static const char* const broken[] = {"\xe9",         "\x80",     "\xa0",
                                         "\x9d",         "\xff",     "\xc3",
                                         "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80"};
    std::string text;
    const int length = std::uniform_int_distribution<int>(0, 24)(random);
    for (int i = 0; i < length; ++i) {
        const int pick = std::uniform_int_distribution<int>(0, 99)(random);
        if (!utf8Only && pick < 8)
            text += broken[pick % std::size(broken)];
        else
            text += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) -
                                                                             1)(random)];
    }
    return text;
}

} // namespace

TEST_F(TextPaneTest, OthersGetLfBreaksAndThePanesTheBytesThatQuickConvertWrites)
{
    // Not UTF-8, and a line break inside a value. The whole result is copied
    // over the left pane, and from there back over the right one.
    const QString input = file("in.txt", "name=Jos\xe9&note=Hi%0D%0Athere");
    prompts.openAnswers << input << input;
    prompts.saveAnswers << file("quick.txt", "", false) << file("saved.txt", "", false);
    dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    dlg->GetDlgItem<QPushButton>(IDC_LOAD)->click();
    dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
    TextPane* left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    right->selectAll();
    right->copy();
    EXPECT_EQ(QApplication::clipboard()->text(),
              QString::fromUtf8("name :: Jos\u00e9\n\nnote :: Hi\nthere"));
    left->selectAll();
    left->paste();
    left->selectAll();
    left->copy();
    right->selectAll();
    right->paste();
    dlg->GetDlgItem<QPushButton>(IDC_SAVE)->click();
    EXPECT_EQ(contents(dir.filePath("saved.txt")), contents(dir.filePath("quick.txt")));
    EXPECT_EQ(contents(dir.filePath("saved.txt")), "name :: Jos\xe9\r\n\r\nnote :: Hi\r\nthere");
}

TEST_F(TextPaneTest, ACopiedFilePastesItsText)
{
    // A file manager's copy: the file's address, and its path as text.
    auto* copied = new QMimeData;
    copied->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/form.txt"))});
    copied->setText(QStringLiteral("/tmp/form.txt"));
    QApplication::clipboard()->setMimeData(copied);
    QTest::keyClick(dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "/tmp/form.txt");
}

// Random texts through a real pane: the bytes read back as they were, the
// pane shows UTF-8 exactly when they are UTF-8, and a copy of the whole text
// pasted over the other pane's gives the same bytes there.
TEST_F(TextPaneTest, RandomTextsRoundTripThroughThePanes)
{
    std::mt19937 random(20261208);
    TextPane* left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    for (int round = 0; round < 400; ++round) {
        const std::string bytes = randomText(random, round % 2 == 0);
        left->setBytes(bytes);
        ASSERT_EQ(left->bytes(), bytes) << testing::PrintToString(bytes);
        ASSERT_EQ(left->format().encoding == PaneCodec::Encoding::Utf8, isUtf8(bytes))
            << testing::PrintToString(bytes);

        if (bytes.empty())
            continue; // a copy of nothing leaves the clipboard as it was
        right->setBytes(bytes);
        left->selectAll();
        left->copy();
        right->selectAll();
        right->paste();
        ASSERT_EQ(right->bytes(), bytes) << testing::PrintToString(bytes);
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(TextPaneTest, EveryByteRoundTripsThroughBothPanes)
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

// Edits that leave a text as it was, done with the keyboard and with the
// Edit menu, on each kind of text and in both panes: the pane must still
// hold the bytes it was given, whatever became of it in between.
struct Roundtrip
{
    const char* name;
    std::function<void(CFormtidyDlg&, TextPane*)> edit;
};

void PrintTo(const Roundtrip& roundtrip, std::ostream* out)
{
    *out << roundtrip.name;
}

class PaneKeepsItsBytes : public WindowFixture,
                          public testing::WithParamInterface<std::tuple<std::string, Roundtrip>>
{
};

TEST_P(PaneKeepsItsBytes, ThroughEditsThatRestoreTheText)
{
    const auto& [bytes, roundtrip] = GetParam();
    // Load File for the left pane, Convert for the right one, as a user would.
    prompts.openAnswers << file("in.txt", bytes);
    dlg->GetDlgItem<QPushButton>(IDC_LOAD)->click();
    dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
    const std::string result = DecodeFormText(bytes);
    for (int id : {IDC_SOURCE_TEXT, IDC_RESULT_TEXT}) {
        TextPane* pane = dlg->GetDlgItem<TextPane>(id);
        pane->setFocus();
        roundtrip.edit(*dlg, pane);
        EXPECT_EQ(dlg->GetDlgItemText(id), id == IDC_SOURCE_TEXT ? bytes : result)
            << (id == IDC_SOURCE_TEXT ? "left" : "right");
    }
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
}

const Roundtrip kRoundtrips[] = {
    {"CutPasteKeys",
     [](CFormtidyDlg&, TextPane* pane) {
         QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
         QTest::keyClick(pane, Qt::Key_X, Qt::ControlModifier);
         QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
     }},
    {"CutPasteMenu",
     [](CFormtidyDlg& dlg, TextPane* pane) {
         pane->selectAll();
         dlg.action(ID_EDIT_CUT)->trigger();
         dlg.action(ID_EDIT_PASTE)->trigger();
     }},
    {"DeleteUndoKeys",
     [](CFormtidyDlg&, TextPane* pane) {
         QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
         QTest::keyClick(pane, Qt::Key_Delete);
         QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier);
     }},
    {"DeleteUndoMenu",
     [](CFormtidyDlg& dlg, TextPane* pane) {
         pane->selectAll();
         dlg.action(ID_EDIT_CLEAR)->trigger();
         dlg.action(ID_EDIT_UNDO)->trigger();
     }},
    {"DeleteUndoRedoUndoKeys",
     [](CFormtidyDlg&, TextPane* pane) {
         QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
         QTest::keyClick(pane, Qt::Key_Delete);
         QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier);
         QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
         EXPECT_TRUE(pane->document()->isEmpty());
         QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier);
     }},
    {"DeleteUndoUndoUndoMenu",
     [](CFormtidyDlg& dlg, TextPane* pane) {
         // The menu's second Undo redoes the deletion; the third undoes it.
         pane->selectAll();
         dlg.action(ID_EDIT_CLEAR)->trigger();
         dlg.action(ID_EDIT_UNDO)->trigger();
         dlg.action(ID_EDIT_UNDO)->trigger();
         EXPECT_TRUE(pane->document()->isEmpty());
         dlg.action(ID_EDIT_UNDO)->trigger();
     }},
    {"TypeAndDelete",
     [](CFormtidyDlg&, TextPane* pane) {
         pane->moveCursor(QTextCursor::Start);
         QTest::keyClick(pane, Qt::Key_End);
         typeText(pane, QStringLiteral("x"));
         QTest::keyClick(pane, Qt::Key_Return);
         QTest::keyClick(pane, Qt::Key_Backspace);
         QTest::keyClick(pane, Qt::Key_Backspace);
     }},
    {"CopyLeftPasteOverTheOther",
     [](CFormtidyDlg& dlg, TextPane* pane) {
         // The other pane holds the same kind of text; a copy of it, pasted
         // over this pane's whole text, gives this pane's bytes again.
         TextPane* other = dlg.GetDlgItem<TextPane>(
             pane->controlId() == IDC_SOURCE_TEXT ? IDC_RESULT_TEXT : IDC_SOURCE_TEXT);
         const std::string mine = pane->bytes(), theirs = other->bytes();
         other->setBytes(mine);
         other->selectAll();
         pane->moveCursor(QTextCursor::Start);
         dlg.action(ID_EDIT_COPY)->trigger();
         pane->setFocus();
         pane->selectAll();
         dlg.action(ID_EDIT_PASTE)->trigger();
         other->setBytes(theirs);
     }},
};

INSTANTIATE_TEST_SUITE_P(
    TextsAndEdits, PaneKeepsItsBytes,
    testing::Combine(testing::Values("caf\xe9 \xa0x \x80 \x93q\x94\r\nnext line"s,
                                     "caf\xe9 \xa0x\n\x80 \x93q\x94\nnext line\n"s,
                                     "Jos\xc3\xa9 \xe2\x86\x92 \xe2\x82\xac\r\nnext\r\n"s,
                                     "Jos\xc3\xa9 \xe2\x86\x92\nnext\n"s,
                                     "a=1&b=\xc3\xa9\nc=3\r\nd\re\n"s),
                     testing::ValuesIn(kRoundtrips)),
    [](const auto& test) {
        return std::get<1>(test.param).name + std::string("_") + std::to_string(test.index);
    });

TEST_F(TextPaneTest, EnterTakesThePanesConvention)
{
    TextPane* pane = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    pane->setFocus();
    // LF only: every way of pressing Enter types an LF.
    pane->setBytes("a\nb");
    pane->moveCursor(QTextCursor::End);
    QTest::keyClick(pane, Qt::Key_Return);
    QTest::keyClick(pane, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(pane, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(pane, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(pane->bytes(), "a\nb\n\n\n\n");
    // Mixed, or no line break at all: CR LF, and the breaks there keep theirs.
    pane->setBytes("a\r\nb\nc");
    pane->moveCursor(QTextCursor::End);
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_EQ(pane->bytes(), "a\r\nb\nc\r\n");
    // Enter just after an LF of a CR LF pane still types the convention.
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(4);
    pane->setTextCursor(cursor);
    QTest::keyClick(pane, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(pane->bytes(), "a\r\nb\n\r\nc\r\n");
    // An emptied pane keeps its convention and its encoding.
    pane->setBytes("x\n\xe9");
    QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(pane, Qt::Key_Delete);
    typeText(pane, QString::fromUtf8("é"));
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_EQ(pane->bytes(), "\xe9\n");
    // A pane that no command has filled is UTF-8 with CR LF.
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    right->setFocus();
    typeText(right, QString::fromUtf8("é"));
    QTest::keyClick(right, Qt::Key_Return);
    EXPECT_EQ(right->bytes(), "\xc3\xa9\r\n");
}

TEST_F(TextPaneTest, ATypedCrSymbolIsTheCharacterItself)
{
    TextPane* pane = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    pane->setFocus();
    pane->setBytes("a\rb");
    pane->moveCursor(QTextCursor::End);
    typeText(pane, QString(QChar(PaneCodec::kLoneCrSymbol)));
    EXPECT_EQ(pane->bytes(), "a\rb\xe2\x90\x8d");
}

TEST_F(TextPaneTest, CtrlTabTypesATabAndTabMovesOn)
{
    TextPane* pane = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pane->bytes(), "\t");
    QTest::keyClick(pane, Qt::Key_Tab);
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_CONVERT));
    QTest::keyClick(focused(), Qt::Key_Tab);
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT));
    QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), dlg->GetDlgItem<QPushButton>(IDC_CONVERT));
    EXPECT_EQ(pane->bytes(), "\t");
}

TEST_F(TextPaneTest, AWindows1252PaneRefusesWhatItCannotHold)
{
    TextPane* pane = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    const std::string bytes = "caf\xe9\r\n";
    pane->setBytes(bytes);
    pane->setFocus();
    pane->selectAll();
    QApplication::clipboard()->setText(QString::fromUtf8("x→y"));
    QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
    dlg->action(ID_EDIT_PASTE)->trigger();
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_TRUE(prompts.messages[0].contains(QString::fromUtf8("\"→\" (U+2192)")));
    EXPECT_TRUE(prompts.messages[0].contains(QLatin1String("Windows-1252")));
    EXPECT_EQ(pane->bytes(), bytes);
    EXPECT_TRUE(pane->textCursor().hasSelection());
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("x→y"));

    // Typing: the refused character is not inserted, the rest is.
    pane->moveCursor(QTextCursor::End);
    typeText(pane, QString::fromUtf8("ä日ë"));
    EXPECT_EQ(pane->bytes(), bytes + "\xe4\xeb");
    EXPECT_EQ(prompts.messages.size(), 3);
    EXPECT_TRUE(prompts.messages[2].contains(QString::fromUtf8("\"日\" (U+65E5)")));

    // A UTF-8 pane takes them all.
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    right->setFocus();
    QTest::keyClick(right, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(right->bytes(), "x\xe2\x86\x92y");
    EXPECT_EQ(prompts.messages.size(), 3);
}

TEST_F(TextPaneTest, DroppedFilesAreRefusedAndDroppedTextIsInserted)
{
    TextPane* pane = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    pane->setBytes("a=1");
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/form.txt"))});
    file.setText(QStringLiteral("file:///tmp/form.txt"));
    const QPoint inside = pane->viewport()->rect().center();
    for (const QMimeData* data : {static_cast<const QMimeData*>(&file)}) {
        QDragEnterEvent enter(inside, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane->viewport(), &enter);
        EXPECT_FALSE(enter.isAccepted());
        QDropEvent drop(inside, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane->viewport(), &drop);
    }
    EXPECT_EQ(pane->bytes(), "a=1");

    QMimeData text;
    text.setText(QStringLiteral("&b=2"));
    QDragEnterEvent enter(inside, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(inside, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane->viewport(), &drop);
    EXPECT_EQ(pane->bytes(), "a=1&b=2");
}

TEST_F(TextPaneTest, APressInsideTheSelectionStartsANewSelection)
{
    // Where a drag would start to move the selected text, it selects instead.
    TextPane* pane = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    pane->setBytes("alpha beta gamma");
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(6);
    cursor.setPosition(10, QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
    QTextCursor inside = cursor;
    inside.setPosition(8);
    const QPoint at = pane->cursorRect(inside).center();
    QTest::mousePress(pane->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_FALSE(pane->textCursor().hasSelection());
    EXPECT_EQ(pane->textCursor().position(), pane->cursorForPosition(at).position());
    QTest::mouseRelease(pane->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(pane->bytes(), "alpha beta gamma");
}

TEST_F(TextPaneTest, LongSingleLineBodiesRoundTripAndTakeTyping)
{
    // Form bodies are single lines far longer than anything typed; the panes
    // keep the layout of such lines between edits.
    std::string body;
    while (body.size() < 300000)
        body += "name=caf%C3%A9+au+lait&note=\xe9t\xe9+%21&";
    for (int id : {IDC_SOURCE_TEXT, IDC_RESULT_TEXT}) {
        TextPane* pane = dlg->GetDlgItem<TextPane>(id);
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

TEST_F(TextPaneTest, OnlyLongLinesWrapAnywhere)
{
    // Qt takes time growing with the square of a line's length to break a
    // line without spaces between words, so long lines break anywhere.
    TextPane* pane = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
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
    EXPECT_EQ(dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT)->lineWrapMode(), QPlainTextEdit::NoWrap);
}

// The left pane cuts a long line into blocks, the right one keeps it whole.
// Keys at a cut act on the characters beside it, as where a line wraps, and
// no cut reaches the bytes or the clipboard.
TEST_F(TextPaneTest, KeysAtTheCutOfALongLineActOnTheTextBesideIt)
{
    std::string body;
    while (body.size() < 20000)
        body += "name=blue+cup&";
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    right->setBytes(body);
    EXPECT_EQ(right->document()->blockCount(), 1);
    TextPane* left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    left->setFocus();
    const struct
    {
        int from; // the cursor, from the cut
        std::vector<Qt::Key> keys;
        int at; // where the bytes change, from the cut
        std::size_t erased;
        const char* inserted;
    } edits[] = {
        {1, {Qt::Key_Backspace}, -1, 1, ""},
        {0, {Qt::Key_Delete}, 0, 1, ""},
        {-1, {Qt::Key_Right, Qt::Key_Right, Qt::Key_X}, 1, 0, "x"},
        {2, {Qt::Key_Left, Qt::Key_Left, Qt::Key_X}, -1, 0, "x"},
        {0, {Qt::Key_Return}, 0, 0, "\r\n"},
        {1, {Qt::Key_Return}, 0, 0, "\r\n"},
    };
    for (const auto& edit : edits) {
        left->setBytes(body);
        const int blocks = left->document()->blockCount();
        const int cut = left->document()->firstBlock().next().position() - 1;
        ASSERT_GT(blocks, 4);
        ASSERT_EQ(body[std::size_t(cut) - 1], '&');
        QTextCursor cursor = left->textCursor();
        cursor.setPosition(cut + edit.from);
        left->setTextCursor(cursor);
        for (const Qt::Key key : edit.keys)
            QTest::keyClick(left, key);
        std::string expected = body;
        expected.replace(std::size_t(cut + edit.at), edit.erased, edit.inserted);
        EXPECT_TRUE(left->bytes() == expected) << edit.keys.size() << " keys from " << edit.from;
        EXPECT_EQ(left->document()->blockCount(), blocks);
    }
    left->setBytes(body);
    left->selectAll();
    left->copy();
    EXPECT_TRUE(QApplication::clipboard()->text().toStdString() == body);
    left->moveCursor(QTextCursor::End);
    left->paste();
    EXPECT_TRUE(left->bytes() == body + body);
}

// Many lines share a block, and a long line is cut into blocks; still the
// scroll bar counts lines before they are shown, and a triple click selects
// one line with its break.
TEST_F(TextPaneTest, LinesThatShareOrSpanBlocksActAsLines)
{
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "field" + std::to_string(i) + " :: value\r\n";
    TextPane* right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT);
    right->setBytes(text);
    QCoreApplication::processEvents();
    EXPECT_LT(right->document()->blockCount(), 20);
    EXPECT_EQ(right->document()->lineCount(), 2001);
    EXPECT_GT(right->verticalScrollBar()->maximum(), 1950);

    const std::string longLine(20000, 'a');
    TextPane* left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    left->setBytes("x\r\n" + longLine + "\r\ny");
    ASSERT_GT(left->document()->blockCount(), 4);
    for (TextPane* pane : {right, left}) {
        pane->moveCursor(QTextCursor::Start);
        pane->moveCursor(QTextCursor::Down);
        const QPoint at = pane->cursorRect().center();
        QTest::mouseDClick(pane->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, at);
        pane->copy();
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
                  (pane == right ? "field1 :: value" : longLine) + "\n");
    }
}

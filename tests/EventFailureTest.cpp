// Exceptions from the handling of events (keys, painting), and texts too large
// for the memory the program may use, under a real address-space limit.
#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "ui/TextPane.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>

#include <new>
#include <stdexcept>

namespace {
// A text field whose copying runs out of memory, deep inside Qt's handling
// of the key.
class FailingCopy : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    QMimeData* createMimeDataFromSelection() const override { throw std::bad_alloc(); }
};

class FailingPaint : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override { throw std::runtime_error("no brush left"); }
};
} // namespace

using EventFailureTest = WindowFixture;

TEST_F(EventFailureTest, AFailingPaintIsReportedAndTheWindowGoesOn)
{
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "a=1");
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "a :: 1");
    FailingPaint broken(dlg->clientArea());
    broken.show();
    broken.repaint();
    EXPECT_EQ(prompts.messages.join(" | ").toStdString(),
              "Drawing the window failed.\n\nno brush left");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "a :: 1");
    TextPane* source = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    source->setFocus();
    QTest::keyClick(source, Qt::Key_End);
    QTest::keyClicks(source, "&b=2");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1&b=2") << "the pane still takes keys";
}

TEST_F(EventFailureTest, CopyRunningOutOfMemoryInsideQtIsReported)
{
#ifdef __SANITIZE_ADDRESS__
    // Qt skips its own clean-up where an exception passes through its key
    // handling, and leaks a few bytes that the leak checker would report.
    GTEST_SKIP() << "Qt leaks a little when an exception passes through its key handling";
#endif
    FailingCopy copier(QStringLiteral("copied"), dlg->clientArea());
    copier.show();
    copier.setFocus();
    copier.selectAll();
    QTest::keyClick(&copier, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(prompts.messages.join(" | ").toStdString(),
              "The key Ctrl+C failed.\n\nThere is not enough memory.");
    QTest::keyClicks(&copier, "typed");
    EXPECT_EQ(copier.toPlainText(), "typed") << "the field still takes keys";
}

namespace {
// Writes `bytes` bytes made of `pattern` repeated to `path`.
void writeRepeated(const QString& path, const QByteArray& pattern, qint64 bytes)
{
    const QByteArray block = pattern.repeated(1'000'000 / pattern.size());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (qint64 written = 0; written < bytes; written += block.size()) {
        const QByteArray part = block.left(bytes - written);
        ASSERT_EQ(file.write(part), part.size());
    }
}

// Runs the window under an address-space limit of `limit` bytes through
// `steps` (files to load, or "--convert") and returns one line for each
// message and pane.
QStringList runLimited(const QStringList& steps, const QString& limit)
{
    QProcess child;
    child.start("prlimit", QStringList{"--as=" + limit, "--", FORMTIDY_PANE_MEMORY_CHILD} + steps);
    if (!child.waitForFinished(120000))
        return {"the program did not end"};
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {"the program failed: " + output + child.readAllStandardError()};
    return output.split('\n', Qt::SkipEmptyParts);
}
} // namespace

TEST(PaneMemory, ATextTooLargeForTheAddressSpaceIsRefusedAndThePanesStayWhole)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit";
#endif
    QTemporaryDir dir;
    const QString huge = dir.filePath("huge.txt");
    const QString lines = dir.filePath("lines.txt");
    const QString small = dir.filePath("small.txt");
    // A form body of 200 MB on one line; 20 MB in lines of 40 bytes, whose
    // decoded text has a line for every 8 bytes; and a small one.
    writeRepeated(huge, "name=blue+cup&size=2&", 200'000'000);
    writeRepeated(lines, "a=b&a=b&a=b&a=b&a=b&a=b&a=b&a=b&a=b&\r\n", 20'000'000);
    writeRepeated(small, "a=1", 3);

    const QStringList out = runLimited({huge, small, lines, "--convert"}, "1500000000");
    QFile::remove(huge);
    QFile::remove(lines);
    ASSERT_EQ(out.size(), 10) << out.join('\n').toStdString();
    EXPECT_TRUE(out[0].startsWith("message: Load File failed.  The text of 200.0 MB would take"))
        << out[0].toStdString();
    EXPECT_TRUE(out[0].contains("Quick Convert") && out[0].contains("formtidy-decode"));
    EXPECT_EQ(out[1], "source: 11 bytes, kept source");
    EXPECT_EQ(out[2], "result: kept result");
    EXPECT_EQ(out[3], "source: 3 bytes, a=1") << "the next load works";
    EXPECT_EQ(out[5], "source: 20000000 bytes, a=b&a=b&a=b&a=b&a=b&")
        << "a text that fits is loaded";
    EXPECT_TRUE(out[7].startsWith("message: Convert failed.  The text of 48.5 MB would take"))
        << out[7].toStdString();
    EXPECT_EQ(out[8], "source: 20000000 bytes, a=b&a=b&a=b&a=b&a=b&");
    EXPECT_EQ(out[9], "result: kept result");
}

TEST(PaneMemory, APasteTooLargeToShowIsRefusedAndThePanesStayWhole)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit";
#endif
    QTemporaryDir dir;
    const QString body = dir.filePath("body.txt");
    writeRepeated(body, "name=blue+cup&size=2&", 60'000'000);
    const QStringList out = runLimited({"--paste=" + body}, "900000000");
    QFile::remove(body);
    ASSERT_EQ(out.size(), 3) << out.join('\n').toStdString();
    EXPECT_TRUE(out[0].startsWith("message: Paste failed.  The text of 60.0 MB would take"))
        << out[0].toStdString();
    EXPECT_EQ(out[1], "source: 11 bytes, kept source");
    EXPECT_EQ(out[2], "result: kept result");
}

TEST(PaneMemory, ALineOfLatinAndArabicLettersLoadsOrIsRefusedUnderAnyLimit)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit";
#endif
    // 20 MB on one line whose script and direction change at every letter:
    // of all texts, the one that takes a pane the most memory per byte.
    QTemporaryDir dir;
    const QString mixed = dir.filePath("mixed.txt");
    writeRepeated(mixed,
                  "a\xd8\xa8"
                  "c\xd8\xaa",
                  19'999'998);
    for (const char* const limit : {"1200000000", "1550000000", "1700000000", "2500000000"}) {
        const QStringList out = runLimited({mixed}, limit);
        const bool loaded = out.size() == 2 && out[0].startsWith("source: 19999998 bytes");
        EXPECT_TRUE(loaded || (out.size() == 3 && out[0].startsWith("message: Load File failed.  "
                                                                    "The text of 20.0 MB")))
            << limit << ": " << out.join('\n').toStdString();
        if (std::string(limit) == "2500000000") {
            EXPECT_TRUE(loaded) << "a text that fits is loaded";
        }
    }
}

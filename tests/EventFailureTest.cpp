// Exceptions from the handling of events (keys, painting), and texts too large
// for the memory the program may use, under a real address-space limit.
#include "WindowFixture.h"
#include "app/CommandIds.h"
#include "ui/TextPane.h"

#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTest>

#include <new>
#include <stdexcept>

namespace {
// Fails every press of the C key that reaches the object it watches.
class FailingKeys : public QObject
{
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_C)
            throw std::bad_alloc();
        return false;
    }
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

TEST_F(EventFailureTest, AFailingKeyOrPaintIsReportedAndTheWindowGoesOn)
{
    TextPane* source = dlg->pane(IDC_SOURCE_TEXT);
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "a=1");
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "a :: 1");
    source->setFocus();
    source->selectAll();
    FailingKeys failing;
    source->installEventFilter(&failing);
    QTest::keyClick(source, Qt::Key_C, Qt::ControlModifier);
    source->removeEventFilter(&failing);

    FailingPaint broken(dlg->clientArea());
    broken.show();
    broken.repaint();

    EXPECT_EQ(prompts.messages.join(" | ").toStdString(),
              "The key Ctrl+C failed.\n\nThere is not enough memory. | "
              "Drawing the window failed.\n\nno brush left");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "a :: 1");
    QTest::keyClick(source, Qt::Key_End);
    QTest::keyClicks(source, "&b=2");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1&b=2") << "the pane still takes keys";
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

// Runs the window under a 2.5 GB address-space limit through `steps` (files
// to load, or "--convert") and returns one line for each message and pane.
QStringList runLimited(const QStringList& steps)
{
    QProcess child;
    child.start("prlimit",
                QStringList{"--as=2684354560", "--", FORMTIDY_PANE_MEMORY_CHILD} + steps);
    if (!child.waitForFinished(50000))
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

    const QStringList out = runLimited({huge, small, lines, "--convert"});
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
    EXPECT_TRUE(out[7].startsWith("message: Convert failed.  The text of 48.4 MB would take"))
        << out[7].toStdString();
    EXPECT_EQ(out[8], "source: 20000000 bytes, a=b&a=b&a=b&a=b&a=b&");
    EXPECT_EQ(out[9], "result: kept result");
}

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

TEST(PaneMemory, ALoadTooLargeForTheAddressSpaceIsRefusedAndThePanesStayWhole)
{
    QTemporaryDir dir;
    const QString huge = dir.filePath("huge.txt");
    const QString small = dir.filePath("small.txt");
    {
        // A form body of 200 MB on one line.
        const QByteArray block = QByteArray("name=blue+cup&size=2&").repeated(50000);
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (qint64 written = 0; written < 200'000'000; written += block.size())
            ASSERT_EQ(file.write(block.left(200'000'000 - written)),
                      std::min<qint64>(block.size(), 200'000'000 - written));
        QFile smallFile(small);
        ASSERT_TRUE(smallFile.open(QIODevice::WriteOnly));
        smallFile.write("a=1");
    }
    QProcess child;
    child.start("prlimit", {"--as=2684354560", "--", FORMTIDY_PANE_MEMORY_CHILD, huge, small});
    ASSERT_TRUE(child.waitForFinished(50000)) << "the program did not end";
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
    QFile::remove(huge);
    ASSERT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
    const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << output.toStdString();
    EXPECT_TRUE(lines[0].startsWith("message: Load File failed.  The text of 200.0 MB would take"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("Quick Convert") && lines[0].contains("formtidy-decode"));
    EXPECT_EQ(lines[1], "source: 11 bytes, kept source");
    EXPECT_EQ(lines[2], "result: kept result");
    EXPECT_EQ(lines[3], "source: 3 bytes, a=1") << "the next load works";
    EXPECT_EQ(lines[4], "result: kept result");
}

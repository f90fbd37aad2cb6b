#include "WindowFixture.h"

#include <QApplication>
#include <QFile>
#include <QTest>

void WindowFixture::SetUp()
{
    dlg = std::make_unique<CFormtidyDlg>();
    running.emplace(dlg.get());
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
}

void WindowFixture::TearDown()
{
    running.reset();
    dlg->close();
    dlg.reset();
}

QString WindowFixture::file(const QString& name, const std::string& bytes, bool create)
{
    const QString path = dir.filePath(name);
    if (create) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
    }
    return path;
}

std::string WindowFixture::contents(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

QWidget* WindowFixture::focused() const
{
    return QApplication::focusWidget();
}

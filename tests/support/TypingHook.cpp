#include "TypingHook.h"

#include "app/framework/CommandIds.h"
#include "ui/CFormtidyDlg.h"
#include "ui/TextPane.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {
constexpr int kPollMs = 50;
constexpr int kMaxPolls = 200; // ten seconds
} // namespace

void TypingHook::install(QString text)
{
    auto* hook = new TypingHook(std::move(text));
    QTimer::singleShot(kPollMs, hook, &TypingHook::poll);
}

TypingHook::TypingHook(QString text)
    : QObject(QCoreApplication::instance()), m_text(std::move(text))
{}

void TypingHook::poll()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<CFormtidyDlg*>(top);
        const QWindow* handle = window ? window->windowHandle() : nullptr;
        if (handle && handle->isExposed()) {
            run(*window);
            return;
        }
    }
    if (++m_polls < kMaxPolls) {
        QTimer::singleShot(kPollMs, this, &TypingHook::poll);
        return;
    }
    std::fputs("the window was never shown\n", stdout);
    std::fflush(stdout);
    QCoreApplication::exit(1);
}

void TypingHook::run(CFormtidyDlg& window)
{
    std::printf("window shown on %s\n", qPrintable(QGuiApplication::platformName()));
    TextPane* source = window.GetDlgItem<TextPane>(IDC_SOURCE_TEXT);
    for (const QChar ch : std::as_const(m_text)) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(source, &press);
        QCoreApplication::sendEvent(source, &release);
    }
    window.GetDlgItem<QPushButton>(IDC_CONVERT)->click();
    std::printf("right pane: %s\n", window.GetDlgItemText(IDC_RESULT_TEXT).c_str());
    std::fflush(stdout);
    window.reject();
}

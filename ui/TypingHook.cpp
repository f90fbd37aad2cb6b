#include "TypingHook.h"

#include "CFormtidyDlg.h"
#include "TextPane.h"
#include "app/framework/CommandIds.h"

#include <QCoreApplication>
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

void TypingHook::installIfAsked(CFormtidyDlg& window)
{
    if (!qEnvironmentVariableIsSet(kVariable))
        return;
    auto* hook = new TypingHook(window, qEnvironmentVariable(kVariable));
    QTimer::singleShot(kPollMs, hook, &TypingHook::poll);
}

TypingHook::TypingHook(CFormtidyDlg& window, QString text)
    : QObject(&window), m_window(window), m_text(std::move(text))
{}

void TypingHook::poll()
{
    const QWindow* handle = m_window.windowHandle();
    if (handle && handle->isExposed()) {
        run();
        return;
    }
    if (++m_polls < kMaxPolls) {
        QTimer::singleShot(kPollMs, this, &TypingHook::poll);
        return;
    }
    std::fputs("the window was never shown\n", stdout);
    std::fflush(stdout);
    m_window.reject();
}

void TypingHook::run()
{
    std::printf("window shown on %s\n", qPrintable(QGuiApplication::platformName()));
    TextPane* source = m_window.pane(IDC_SOURCE_TEXT);
    for (const QChar ch : std::as_const(m_text)) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(source, &press);
        QCoreApplication::sendEvent(source, &release);
    }
    m_window.button(IDC_CONVERT)->click();
    std::printf("right pane: %s\n", m_window.GetDlgItemText(IDC_RESULT_TEXT).c_str());
    std::fflush(stdout);
    m_window.reject();
}

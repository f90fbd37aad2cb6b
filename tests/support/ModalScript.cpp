#include "ModalScript.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>

ModalScript::ModalScript()
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalScript::poll);
}

ModalScript& ModalScript::then(const QString& what, Ready ready, Act act)
{
    m_steps.push_back({what, std::move(ready), std::move(act)});
    return *this;
}

void ModalScript::start()
{
    m_clock.start();
    m_timer.start();
}

void ModalScript::poll()
{
    if (finished())
        return m_timer.stop();
    QWidget* modal = QApplication::activeModalWidget();
    const Step& step = m_steps[m_next];
    if (modal && step.ready(modal)) {
        ++m_next;
        QTimer::singleShot(0, this, [target = QPointer<QWidget>(modal), act = step.act] {
            if (target)
                act(target);
        });
        m_clock.restart();
    } else if (m_clock.elapsed() > 5000) {
        m_timer.stop();
        m_failure = QStringLiteral("gave up waiting for: %1").arg(step.what);
        // done() ends a dialog whatever its own cancel handling does.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                dialog->done(QDialog::Rejected);
        }
    }
}

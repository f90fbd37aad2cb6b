#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

// Answers real modal dialogs while a command runs their modal loops: each step
// waits until the active modal widget is ready for it, then acts on it. Actions
// are posted, not run inside the poll, so that one that opens a further modal
// loop does not stall the polling. After 5 s without progress it ends every
// dialog still open, so that a missing dialog fails the test instead of hanging it.
class ModalScript : public QObject
{
    Q_OBJECT

public:
    using Ready = std::function<bool(QWidget*)>;
    using Act = std::function<void(QWidget*)>;

    ModalScript();
    // `what` names the step in the report when it never becomes ready.
    ModalScript& then(const QString& what, Ready ready, Act act);
    void start();

    bool finished() const { return m_next == m_steps.size(); }
    QString failure() const { return m_failure; }

    template <class T> static Ready is()
    {
        return [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; };
    }

private:
    void poll();

    struct Step
    {
        QString what;
        Ready ready;
        Act act;
    };
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QString m_failure;
};

#pragma once

#include <QObject>
#include <QString>

class CFormtidyDlg;

// A hook for the end-to-end test on Wayland, where no outside tool may type
// into another program's window. When the environment variable
// FORMTIDY_TEST_TYPE is set, the program waits until its window is on
// screen, types the variable's text into the left pane as key presses,
// presses Convert, writes the right pane's text to standard output and
// closes. Without the variable it does nothing.
class TypingHook : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kVariable = "FORMTIDY_TEST_TYPE";

    static void installIfAsked(CFormtidyDlg& window);

private:
    TypingHook(CFormtidyDlg& window, QString text);
    void poll();
    void run();

    CFormtidyDlg& m_window;
    QString m_text;
    int m_polls = 0;
};

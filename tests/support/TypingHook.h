#pragma once

#include <QObject>
#include <QString>

class CFormtidyDlg;

// Drives the end-to-end test on Wayland, where no outside tool may type into
// another program's window. Built into a test copy of the program only: it
// waits until the main window is on screen, types `text` into the left pane
// as key presses, presses Convert, writes the right pane's text to standard
// output and closes the window.
class TypingHook : public QObject
{
    Q_OBJECT

public:
    // Starts waiting for the main window; call before the window is run.
    static void install(QString text);

private:
    explicit TypingHook(QString text);
    void poll();
    void run(CFormtidyDlg& window);

    QString m_text;
    int m_polls = 0;
};

#pragma once

#include <QApplication>

#include <functional>

class CFormtidyDlg;

// The application object: starts the program, runs the main window as its
// only main loop, and serves the menu commands that the main window leaves to it.
class CFormtidyApp : public QApplication
{
    Q_OBJECT

public:
    CFormtidyApp(int& argc, char** argv);

    // Checks the network layer, then runs the main window until it closes.
    // Returns the process's exit code, which is always 0.
    int InitInstance();

    // The application's command map: handles `id` and returns true, or
    // returns false when the command is not its own.
    bool OnCommand(int id);

    // The running main window, through which the commands reach the panes.
    static CFormtidyDlg* GetMainWnd();
    static void SetMainWnd(CFormtidyDlg* window);

    // The application object, or nullptr where another QApplication runs.
    static CFormtidyApp* instance();

    // Whether a TCP socket can be created. Replaceable for tests.
    std::function<bool()> socketCheck;
    static bool socketsAvailable();

    // Delivers every event of the program. An exception that an event's
    // handler lets out (a key, the clipboard, a drop, painting) is reported as
    // a failed command would be, and never reaches Qt's event loop.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    // Qt's own dialogs keep their history in a settings file; this program
    // keeps no settings and writes no file that the user did not choose.
    static void keepNoSettings();
};

#pragma once

#include "CommandTable.h"
#include "files/ScopedOverride.h"

#include <QApplication>

class MainWnd;

// The base of the application object: it holds the running main window,
// through which the commands reach the panes, and the last command map that a
// menu command is offered to. Of its own it serves File > Exit.
class ApplicationBase : public QApplication
{
public:
    ApplicationBase(int& argc, char** argv);

    // The running main window, or nullptr while none runs.
    static MainWnd* GetMainWnd();
    // The running main window, for a command that needs one; throws when none runs.
    static MainWnd& RunningMainWnd();

    // Makes `window` the main window for as long as it lives.
    class MainWndScope : ScopedOverride<MainWnd*>
    {
    public:
        explicit MainWndScope(MainWnd* window);
    };

    // The application's command map: runs `id` through the failed-command
    // guard and returns true, or returns false when the command is not its own.
    virtual bool OnCommand(int id);

    // The application object, or nullptr where another QApplication runs.
    static ApplicationBase* instance();

protected:
    // Runs `command` through the failed-command guard under its name.
    static void Run(const AppCommand& command);
};

#pragma once

#include "app/framework/ApplicationBase.h"

#include <QIcon>

// The application object: starts the program, runs the main window as its
// only main loop, and serves the menu commands that the main window leaves to it.
class CFormtidyApp : public ApplicationBase
{
public:
    CFormtidyApp(int& argc, char** argv);

    // Checks the network layer, then runs the main window until it closes.
    // Returns the process's exit code, which is always 0.
    int InitInstance();

    // The application's command map (File > Convert!, Open file, Save file,
    // About > Help and Help), then the base's.
    bool OnCommand(int id) override;

    // The application object, or nullptr where another QApplication runs.
    static CFormtidyApp* instance();

    // Whether a TCP socket can be created.
    using SocketCheck = bool (*)();
    static bool socketsAvailable();

    // Replaces the check of the network layer for as long as it lives.
    class SocketCheckOverride : ScopedOverride<SocketCheck>
    {
    public:
        explicit SocketCheckOverride(SocketCheck check);
    };

    // Delivers every event of the program. An exception that an event's
    // handler lets out (a key, the clipboard, a drop, painting) is reported as
    // a failed command would be, and never reaches Qt's event loop.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    // The program's icon, one image of each size.
    static QIcon windowIconOfEverySize();
    // Qt's own dialogs keep their history in a settings file; this program
    // keeps no settings and writes no file that the user did not choose.
    static void keepNoSettings();
};

#pragma once

#include "ApplicationBase.h"

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
};

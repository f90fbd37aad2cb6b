#include "ApplicationBase.h"

#include "CommandGuard.h"
#include "CommandIds.h"
#include "MainWnd.h"

#include <stdexcept>

namespace {
MainWnd* g_mainWnd = nullptr;

// File > Exit closes the main window, which takes the request as cancel.
void OnAppExit()
{
    if (MainWnd* wnd = ApplicationBase::GetMainWnd())
        wnd->CloseWindow();
}

const AppCommand kBaseCommands[] = {
    {ID_APP_EXIT, &OnAppExit, "Exit"},
};
} // namespace

ApplicationBase::ApplicationBase(int& argc, char** argv) : QApplication(argc, argv) {}

MainWnd* ApplicationBase::GetMainWnd()
{
    return g_mainWnd;
}

MainWnd& ApplicationBase::RunningMainWnd()
{
    if (!g_mainWnd)
        throw std::logic_error("The main window is not running.");
    return *g_mainWnd;
}

ApplicationBase::MainWndScope::MainWndScope(MainWnd* window)
    : ScopedOverride<MainWnd*>(g_mainWnd, window)
{}

bool ApplicationBase::OnCommand(int id)
{
    const AppCommand* command = FindCommand(kBaseCommands, id);
    if (!command)
        return false;
    Run(*command);
    return true;
}

ApplicationBase* ApplicationBase::instance()
{
    return dynamic_cast<ApplicationBase*>(QCoreApplication::instance());
}

void ApplicationBase::Run(const AppCommand& command)
{
    CommandGuard::run(QString::fromLatin1(command.name), command.handler);
}

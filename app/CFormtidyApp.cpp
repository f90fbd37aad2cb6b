#include "CFormtidyApp.h"

#include "AppWiring.h"
#include "DialogFont.h"
#include "Prompts.h"

#include <QIcon>

#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
CFormtidyApp::SocketCheck g_socketCheck = &CFormtidyApp::socketsAvailable;
}

CFormtidyApp::CFormtidyApp(int& argc, char** argv) : ApplicationBase(argc, argv)
{
    // Qt lays out a line of a megabyte in some 34 MB, anew at each keystroke.
    // Blocks of that size are kept for reuse instead of being handed back to
    // the system and faulted in again every time.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);

    setApplicationName(QStringLiteral("formtidy"));
    setApplicationVersion(QStringLiteral(FORMTIDY_VERSION));
    setDesktopFileName(QStringLiteral(FORMTIDY_APP_ID));
    QIcon icon;
    for (const char* size : {"16", "32", "48"})
        icon.addFile(QStringLiteral(":/formtidy-%1.png").arg(QLatin1String(size)));
    icon.addFile(QStringLiteral(":/formtidy.svg"));
    setWindowIcon(icon);
    // Every window, the panes included, is drawn in the dialogs' font.
    setFont(DialogFont::create(font()));
}

bool CFormtidyApp::socketsAvailable()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

CFormtidyApp::SocketCheckOverride::SocketCheckOverride(SocketCheck check)
    : ScopedOverride<SocketCheck>(g_socketCheck, check)
{}

int CFormtidyApp::InitInstance()
{
    if (!g_socketCheck()) {
        Prompts::current().message(QStringLiteral("Windows sockets initialization failed."));
        return 0;
    }
    RunMainWindow();
    return 0;
}

bool CFormtidyApp::OnCommand(int id)
{
    if (const AppCommand* command = FindAppCommand(id)) {
        Run(*command);
        return true;
    }
    return ApplicationBase::OnCommand(id);
}

CFormtidyApp* CFormtidyApp::instance()
{
    return dynamic_cast<CFormtidyApp*>(QCoreApplication::instance());
}

#include "CFormtidyApp.h"

#include "CommandIds.h"
#include "DialogFont.h"
#include "Prompts.h"
#include "TypingHook.h"
#include "convert/ConvertCommands.h"
#include "convert/FileCommands.h"
#include "ui/CFormtidyDlg.h"
#include "ui/CHelpDlg.h"

#include <QIcon>

#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
CFormtidyDlg* g_mainWnd = nullptr;
}

CFormtidyApp::CFormtidyApp(int& argc, char** argv)
    : QApplication(argc, argv), socketCheck(&CFormtidyApp::socketsAvailable)
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

int CFormtidyApp::InitInstance()
{
    if (!socketCheck()) {
        Prompts::current().message(QStringLiteral("Windows sockets initialization failed."));
        return 0;
    }
    CFormtidyDlg dlg;
    SetMainWnd(&dlg);
    TypingHook::installIfAsked(dlg);
    dlg.exec();
    SetMainWnd(nullptr);
    return 0;
}

bool CFormtidyApp::OnCommand(int id)
{
    switch (id) {
    case ID_FILE_CONVERT:
        ConvertSourceText();
        return true;
    case ID_FILE_OPENFILE:
        LoadSourceFile();
        return true;
    case ID_FILE_SAVEFILE:
        SaveResultFile();
        return true;
    case ID_ABOUT_HELP: // the main window has its own entry, found first
    case ID_HELP: {
        CHelpDlg dlg;
        dlg.exec();
        return true;
    }
    case ID_APP_EXIT:
        if (CFormtidyDlg* wnd = GetMainWnd())
            wnd->close(); // the window treats the close request as cancel
        return true;
    default:
        return false;
    }
}

CFormtidyDlg* CFormtidyApp::GetMainWnd()
{
    return g_mainWnd;
}

void CFormtidyApp::SetMainWnd(CFormtidyDlg* window)
{
    g_mainWnd = window;
}

CFormtidyApp* CFormtidyApp::instance()
{
    return qobject_cast<CFormtidyApp*>(QCoreApplication::instance());
}

#include "CFormtidyApp.h"

#include "app/framework/CommandGuard.h"
#include "app/framework/CommandIds.h"
#include "app/framework/DialogFont.h"
#include "app/framework/Prompts.h"
#include "convert/ConvertCommands.h"
#include "convert/FileCommands.h"
#include "files/SignalCleanup.h"
#include "ui/CFormtidyDlg.h"
#include "ui/CHelpDlg.h"

#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSettings>

#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
CFormtidyApp::SocketCheck g_socketCheck = &CFormtidyApp::socketsAvailable;

// Set while the failure of an event is being reported. The report's message
// box handles events of its own (painting above all); when those fail too,
// they are dropped rather than stacking one box on another.
bool g_reportingEventFailure = false;

// The application's command map. The menu commands reach the routines alone
// and leave the focus where it was.
const AppCommand kAppCommands[] = {
    {ID_FILE_CONVERT, [] { ConvertSourceText(); }, "Convert!"},
    {ID_FILE_OPENFILE, [] { LoadSourceFile(); }, "Open file"},
    {ID_FILE_SAVEFILE, [] { SaveResultFile(); }, "Save file"},
    {ID_ABOUT_HELP, &CHelpDlg::runModal, "Help"}, // the window's own entry is found first
    {ID_HELP, &CHelpDlg::runModal, "Help"},
};

// What the user was doing when an event failed, for the report.
QString eventAction(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride: {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const QString keys = QKeySequence(key->keyCombination()).toString(QKeySequence::NativeText);
        return keys.isEmpty() ? QStringLiteral("A key") : QStringLiteral("The key %1").arg(keys);
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        return QStringLiteral("The mouse action");
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return QStringLiteral("Dropping");
    case QEvent::Clipboard:
        return QStringLiteral("The clipboard");
    case QEvent::Paint:
    case QEvent::UpdateRequest:
        return QStringLiteral("Drawing the window");
    default:
        return QStringLiteral("An action");
    }
}
} // namespace

CFormtidyApp::CFormtidyApp(int& argc, char** argv) : ApplicationBase(argc, argv)
{
    // Qt lays out a line of a megabyte in some 34 MB, anew at each keystroke.
    // Blocks of that size are kept for reuse instead of being handed back to
    // the system and faulted in again every time.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);

    keepNoSettings();

    setApplicationName(QStringLiteral("formtidy"));
    setApplicationVersion(QStringLiteral(FORMTIDY_VERSION));
    setDesktopFileName(QStringLiteral(FORMTIDY_APP_ID));
    setWindowIcon(windowIconOfEverySize());
    // Every window, the panes included, is drawn in the dialogs' font.
    QFontDatabase::addApplicationFont(QStringLiteral(":/formtidy-symbols.ttf"));
    setFont(DialogFont::create(font()));
}

QIcon CFormtidyApp::windowIconOfEverySize()
{
    // The small sizes as drawn, the larger ones (for screens scaled up) drawn
    // from the scalable picture; one image of each size, since the window
    // manager is given every image the icon holds.
    QIcon icon;
    for (const char* size : {"16", "32", "48"})
        icon.addFile(QStringLiteral(":/formtidy-%1.png").arg(QLatin1String(size)));
    for (const int size : {64, 128}) {
        QImageReader scalable(QStringLiteral(":/formtidy.svg"));
        scalable.setScaledSize(QSize(size, size));
        const QImage image = scalable.read();
        if (image.size() == QSize(size, size)) // without Qt's SVG plugin, nothing
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
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

void CFormtidyApp::keepNoSettings()
{
    // Qt's file dialog writes its history, last folder and view to
    // QtProject.conf in the user's settings folder whenever it closes. That
    // folder is made /dev/null, a device that can hold no file and cannot be
    // made a folder, so every such write fails quietly and every read finds
    // nothing; the system-wide defaults are still read.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
    // The desktop's own file dialogs (GTK, the portal) note every chosen file
    // in a list of recent files; Qt's dialogs write nothing.
    setAttribute(Qt::AA_DontUseNativeDialogs);
}

bool CFormtidyApp::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (!g_reportingEventFailure) {
            g_reportingEventFailure = true;
            try {
                CommandGuard::reportFailure(eventAction(event));
            } catch (...) {
                // Naming the action failed; the event is dropped all the same.
            }
            g_reportingEventFailure = false;
        }
        // The event was dealt with: nothing else is to act on what failed.
        return true;
    }
}

int CFormtidyApp::InitInstance()
{
    if (!g_socketCheck()) {
        Prompts::current().message(QStringLiteral("Windows sockets initialization failed."));
        return 0;
    }
    // An interrupted save leaves no temporary file or backup behind.
    SignalCleanup::install();
    CFormtidyDlg dlg;
    const MainWndScope running(&dlg);
    dlg.exec();
    return 0;
}

bool CFormtidyApp::OnCommand(int id)
{
    if (const AppCommand* command = FindCommand(kAppCommands, id)) {
        Run(*command);
        return true;
    }
    return ApplicationBase::OnCommand(id);
}

CFormtidyApp* CFormtidyApp::instance()
{
    return dynamic_cast<CFormtidyApp*>(QCoreApplication::instance());
}

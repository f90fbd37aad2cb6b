// Runs Load File in the real main window (offscreen) for each file named on
// the command line, Convert for each "--convert", or Edit > Paste of a file's
// text for each "--paste=FILE", and prints every message and what the panes
// hold after each. The memory tests start it under an
// address-space limit.
#include "FakePrompts.h"
#include "app/CFormtidyApp.h"
#include "app/framework/CommandIds.h"
#include "ui/CFormtidyDlg.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    CFormtidyApp app(argc, argv);
    FakePrompts prompts;
    CFormtidyDlg dlg;
    const CFormtidyApp::MainWndScope running(&dlg);
    dlg.show();
    QCoreApplication::processEvents();
    dlg.SetDlgItemText(IDC_SOURCE_TEXT, "kept source");
    dlg.SetDlgItemText(IDC_RESULT_TEXT, "kept result");
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--convert")) {
            dlg.OnCommand(IDC_CONVERT);
        } else if (arg.startsWith(QLatin1String("--paste="))) {
            QFile file(arg.mid(8));
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            QGuiApplication::clipboard()->setText(QString::fromLatin1(file.readAll()));
            dlg.OnCommand(ID_EDIT_PASTE);
        } else {
            prompts.openAnswers << arg;
            dlg.OnCommand(IDC_LOAD);
        }
        QCoreApplication::processEvents();
        for (const QString& message : std::as_const(prompts.messages))
            std::printf("message: %s\n", qPrintable(QString(message).replace('\n', ' ')));
        prompts.messages.clear();
        const std::string source = dlg.GetDlgItemText(IDC_SOURCE_TEXT);
        std::printf("source: %zu bytes, %s\n", source.size(), source.substr(0, 20).c_str());
        std::printf("result: %s\n", dlg.GetDlgItemText(IDC_RESULT_TEXT).c_str());
    }
    dlg.close();
    return 0;
}

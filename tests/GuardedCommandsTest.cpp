// Every command of the main window, run with a failure injected wherever it
// can fail: nothing may escape to Qt's event loop, each failure is reported,
// and the window goes on.
#include "FakePrompts.h"
#include "ModalScript.h"
#include "ScopedEnv.h"
#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "convert/CommandDecoder.h"
#include "ui/CAboutDlg.h"
#include "ui/CHelpDlg.h"

#include <QDialog>

#include <new>
#include <stdexcept>

namespace {
// File dialogs that fail instead of answering.
class FailingDialogs : public FakePrompts
{
public:
    QString openFileName() override { throw std::runtime_error("injected open failure"); }
    QString saveFileName() override { throw std::runtime_error("injected save failure"); }
};
} // namespace

class GuardedCommandsTest : public WindowFixture
{
};

TEST_F(GuardedCommandsTest, NoFailureEscapesAnyCommand)
{
    FailingDialogs failing; // answers in place of the fixture's prompts while it lives
    const CommandDecoder::Override outOfMemory(
        [](std::string_view) -> std::string { throw std::bad_alloc(); });
    // Nothing answers here, so the news ends at once without a connection.
    const ScopedEnv proxy("http_proxy", QStringLiteral("http://127.0.0.1:9/"));

    // The dialogs that the commands open are closed as they come up.
    const auto close = [](QWidget* w) { static_cast<QDialog*>(w)->done(QDialog::Accepted); };
    ModalScript script;
    script.then("Help", ModalScript::is<CHelpDlg>(), close)
        .then("About", ModalScript::is<CAboutDlg>(), close)
        .then("Help from F1", ModalScript::is<CHelpDlg>(), close)
        .start();

    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "a=1");
    dlg->SetDlgItemText(IDC_RESULT_TEXT, "kept");
    const int commands[] = {
        IDC_LOAD,        IDC_CONVERT,          IDC_SAVE,      ID_FILE_OPENFILE, ID_FILE_SAVEFILE,
        ID_FILE_CONVERT, ID_FILE_QUICKCONVERT, ID_EDIT_UNDO,  ID_EDIT_CUT,      ID_EDIT_COPY,
        ID_EDIT_PASTE,   ID_EDIT_CLEAR,        ID_ABOUT_NEWS, ID_ABOUT_HELP,    ID_ABOUT_ABOUT,
        ID_HELP};
    for (int id : commands)
        EXPECT_NO_THROW(dlg->OnCommand(id)) << id;
    EXPECT_TRUE(script.finished()) << script.failure().toStdString();

    // Load, Save, Convert twice each, and Quick Convert failed and were reported.
    int failures = 0;
    for (const QString& m : failing.messages)
        failures += m.contains(" failed.\n\n");
    EXPECT_EQ(failures, 7) << failing.messages.join(" | ").toStdString();
    EXPECT_TRUE(failing.messages.contains("No connection can be established."));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "kept");
    EXPECT_TRUE(dlg->isVisible());
}

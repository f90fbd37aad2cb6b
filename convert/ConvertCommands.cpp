#include "ConvertCommands.h"

#include "DecodeFormText.h"
#include "app/CFormtidyApp.h"
#include "app/CommandIds.h"
#include "app/Prompts.h"
#include "app/WaitCursor.h"
#include "ui/CFormtidyDlg.h"

#include <stdexcept>

int ConvertSourceText()
{
    CFormtidyDlg* wnd = CFormtidyApp::GetMainWnd();
    if (!wnd)
        throw std::logic_error("The main window is not running.");
    const std::string source = wnd->GetDlgItemText(IDC_SOURCE_TEXT);
    if (source.empty()) {
        Prompts::current().message(
            QStringLiteral("You must first load a file or have text to convert!"));
        return 0;
    }
    std::string result;
    {
        WaitCursor wait;
        result = DecodeFormText(source);
    }
    wnd->SetDlgItemText(IDC_RESULT_TEXT, result);
    return 1;
}

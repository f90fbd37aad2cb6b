#include "ConvertCommands.h"

#include "DecodeFormText.h"
#include "app/CFormtidyApp.h"
#include "app/CommandIds.h"
#include "app/Prompts.h"
#include "app/WaitCursor.h"
#include "ui/CFormtidyDlg.h"
#include "ui/PaneCapacity.h"

#include <stdexcept>

namespace {
DecodeFunction g_decoder = nullptr;
}

void SetDecoderForTesting(DecodeFunction decoder)
{
    g_decoder = decoder;
}

std::string DecodeForCommand(std::string_view text)
{
    WaitCursor wait;
    return g_decoder ? g_decoder(text) : DecodeFormText(text);
}

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
    const std::string result = DecodeForCommand(source);
    PaneCapacity::check(result);
    wnd->SetDlgItemText(IDC_RESULT_TEXT, result);
    return 1;
}

#include "ConvertCommands.h"

#include "DecodeFormText.h"
#include "app/framework/ApplicationBase.h"
#include "app/framework/CommandIds.h"
#include "app/framework/MainWnd.h"
#include "app/framework/PaneCapacity.h"
#include "app/framework/Prompts.h"
#include "app/framework/WaitCursor.h"

#include <stdexcept>

namespace {
DecodeFunction g_decoder = &DecodeFormText;
}

DecoderOverride::DecoderOverride(DecodeFunction decoder)
    : ScopedOverride<DecodeFunction>(g_decoder, decoder)
{}

std::string DecodeForCommand(std::string_view text)
{
    WaitCursor wait;
    return g_decoder(text);
}

MainWnd& RunningMainWnd()
{
    MainWnd* wnd = ApplicationBase::GetMainWnd();
    if (!wnd)
        throw std::logic_error("The main window is not running.");
    return *wnd;
}

int ConvertSourceText()
{
    MainWnd& wnd = RunningMainWnd();
    const std::string source = wnd.GetDlgItemText(IDC_SOURCE_TEXT);
    if (source.empty()) {
        Prompts::current().message(
            QStringLiteral("You must first load a file or have text to convert!"));
        return 0;
    }
    const std::string result = DecodeForCommand(source);
    PaneCapacity::check(result);
    wnd.SetDlgItemText(IDC_RESULT_TEXT, result);
    return 1;
}

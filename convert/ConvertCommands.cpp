#include "ConvertCommands.h"

#include "CommandDecoder.h"
#include "app/framework/ApplicationBase.h"
#include "app/framework/CommandIds.h"
#include "app/framework/MainWnd.h"
#include "app/framework/Prompts.h"

int ConvertSourceText()
{
    MainWnd& wnd = ApplicationBase::RunningMainWnd();
    const std::string source = wnd.GetDlgItemText(IDC_SOURCE_TEXT);
    if (source.empty()) {
        Prompts::current().message(
            QStringLiteral("You must first load a file or have text to convert!"));
        return 0;
    }
    const std::string result = CommandDecoder::decode(source);
    wnd.SetDlgItemText(IDC_RESULT_TEXT, result);
    return 1;
}

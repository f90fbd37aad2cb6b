#pragma once

#include <string>
#include <string_view>

// What the commands need of the main window: the text of its panes, read and
// replaced whole by control identifier, and a way to close it. The commands
// reach the window only through this, so that they do not depend on the
// window class.
class MainWnd
{
public:
    // The whole text of the control `id` (IDC_SOURCE_TEXT or IDC_RESULT_TEXT), as bytes.
    virtual std::string GetDlgItemText(int id) const = 0;
    // Replaces the whole text of the control `id`. Throws std::runtime_error,
    // changing nothing, when the text is too large to show.
    virtual void SetDlgItemText(int id, std::string_view text) = 0;
    // Asks the window to close, as its close box does.
    virtual void CloseWindow() = 0;

protected:
    ~MainWnd() = default;
};

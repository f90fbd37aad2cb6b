#pragma once

#include "app/framework/CommandTable.h"
#include "app/framework/FixedDialog.h"
#include "files/ScopedOverride.h"

#include <functional>

class QLabel;
class QPushButton;

// The About box: the icon, name and version, the maker's notices, and the
// buttons OK, News and Help. The News button carries the cancel command, so
// Esc, the close box and Close on the window menu fetch the news as the button
// does and leave the box open; only OK ends it.
class CAboutDlg : public FixedDialog
{
    Q_OBJECT

public:
    CAboutDlg();
    ~CAboutDlg() override;

    // Runs one of the box's commands (IDOK, IDCANCEL, IDC_ABOUT_HELP) through
    // the failed-command guard.
    void OnCommand(int id);

    // The cancel command: Esc, the close box and the News button.
    void reject() override;

    // Replaces what the News button runs (FetchNews) for as long as it lives,
    // so that tests can count or fail the fetch.
    using NewsFunction = std::function<void()>;
    class NewsOverride : ScopedOverride<NewsFunction>
    {
    public:
        explicit NewsOverride(NewsFunction fetch);
    };

    // The four text lines, top to bottom.
    QLabel* line(int index) const { return m_lines[index]; }
    QLabel* iconLabel() const { return m_icon; }

private:
    using Command = CommandEntry<void (CAboutDlg::*)()>;
    static const Command kCommands[];

    void OnOK();
    void OnNews();
    void OnHelp();

    QLabel* m_icon;
    QLabel* m_lines[4];
    QPushButton* m_btnOk;
    QPushButton* m_btnNews;
    QPushButton* m_btnHelp;
    bool m_fetching = false;
};

#pragma once

#include "app/framework/CommandTable.h"
#include "app/framework/DialogBase.h"
#include "app/framework/MainWnd.h"

#include <QIcon>

#include <map>
#include <string>
#include <string_view>

class QAction;
class QMenuBar;
class QPushButton;
class TextPane;

// The main window: the encoded text in the left pane, the decoded text in the
// right pane, and the Load File, Convert and Save File buttons between them.
class CFormtidyDlg : public DialogBase, public MainWnd
{
    Q_OBJECT

public:
    explicit CFormtidyDlg(QWidget* parent = nullptr);
    ~CFormtidyDlg() override;

    // The whole text of the pane `id` (IDC_SOURCE_TEXT or IDC_RESULT_TEXT), as bytes.
    std::string GetDlgItemText(int id) const override;
    // Replaces the whole text of the pane `id`.
    void SetDlgItemText(int id, std::string_view text) override;
    // Closes the window as its close box does, which ends it as cancel.
    void CloseWindow() override;

    // Runs a command as the menus and buttons do: the window's own command
    // map first, then the application's, each command through the
    // failed-command guard.
    void OnCommand(int id);

    // Lays the controls out for a client area of cx by cy pixels.
    void OnSize(int cx, int cy);

    QAction* action(int id) const;
    QWidget* clientArea() const { return m_client; }
    QMenuBar* menuBar() const { return m_menuBar; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's command map, kept beside its menus.
    using Command = CommandEntry<void (CFormtidyDlg::*)()>;
    static const Command kCommands[];

    // About > About Formtidy and About > Help: the About box and the Help
    // dialog, each run modally until it is closed.
    void OnAboutAbout();
    void OnAboutHelp();
    // About > Check latest news.
    void OnAboutNews();
    // File > Quick Convert.
    void OnFileQuickConvert();

    // Handlers of the three buttons.
    void OnConvert();
    void OnLoad();
    void OnSave();

    // Handlers of the Edit menu. Undo, Cut, Copy and Delete act on both panes,
    // the left one first; Paste on the focused pane, or else the right one.
    void OnEditUndo();
    void OnEditCut();
    void OnEditCopy();
    void OnEditPaste();
    void OnEditClear();

    // The Edit items are enabled while a pane has the keyboard focus and
    // grayed while neither has.
    void OnPaneKillFocus();
    void OnPaneSetFocus();

    void createMenu();
    void createControls();
    void connectCommands();
    void enableEditItems(bool enable);

    QWidget* m_client;
    QMenuBar* m_menuBar;
    std::map<int, QAction*> m_actions;

    TextPane* m_editResult;
    QPushButton* m_btnSave;
    QPushButton* m_btnLoad;
    QPushButton* m_btnConvert;
    TextPane* m_editSource;
    QIcon m_hIcon;
};

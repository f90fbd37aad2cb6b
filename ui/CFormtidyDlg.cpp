#include "CFormtidyDlg.h"

#include "CAboutDlg.h"
#include "CHelpDlg.h"
#include "TextPane.h"
#include "WindowPlacement.h"
#include "app/framework/ApplicationBase.h"
#include "app/framework/CommandGuard.h"
#include "app/framework/CommandIds.h"
#include "app/framework/DialogUnits.h"
#include "convert/ConvertCommands.h"
#include "convert/FileCommands.h"
#include "news/FetchNews.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Places a control; a negative width or height is taken as zero.
void place(QWidget* control, int x, int y, int width, int height)
{
    control->setGeometry(x, y, std::max(width, 0), std::max(height, 0));
}

struct MenuItem
{
    const char* text; // nullptr for a separator; the part after a tab is a label only
    int id;
};

struct Menu
{
    const char* title;
    std::initializer_list<MenuItem> items;
};

const Menu kMenus[] = {
    {"&File",
     {{"&Open file", ID_FILE_OPENFILE},
      {"&Save file", ID_FILE_SAVEFILE},
      {nullptr, 0},
      {"&Convert!", ID_FILE_CONVERT},
      {"&Quick Convert", ID_FILE_QUICKCONVERT},
      {nullptr, 0},
      {"E&xit\tAlt+F4", ID_APP_EXIT}}},
    {"&Edit",
     {{"&Undo\tCtrl+Z", ID_EDIT_UNDO},
      {nullptr, 0},
      {"Cu&t\tCtrl+X", ID_EDIT_CUT},
      {"&Copy\tCtrl+C", ID_EDIT_COPY},
      {"&Paste\tCtrl+V", ID_EDIT_PASTE},
      {"&Delete\tDel", ID_EDIT_CLEAR}}},
    {"&About",
     {{"&Check latest news", ID_ABOUT_NEWS},
      {nullptr, 0},
      {"&Help", ID_ABOUT_HELP},
      {"&About Formtidy", ID_ABOUT_ABOUT}}},
};

// Qt tells screen readers that every QDialog is a dialog. The main window is
// run as one, its loop the program's only main loop, but it is the
// application's window: it is told to them as a frame, as any main window is.
QAccessibleInterface* MainWindowAccessible(const QString& className, QObject* object)
{
    if (className != QLatin1String(CFormtidyDlg::staticMetaObject.className()))
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

} // namespace

// The window's command map; each name is that of the button or menu item.
const CFormtidyDlg::Command CFormtidyDlg::kCommands[] = {
    {ID_ABOUT_ABOUT, &CFormtidyDlg::OnAboutAbout, "About Formtidy"},
    {ID_ABOUT_HELP, &CFormtidyDlg::OnAboutHelp, "Help"},
    {IDC_CONVERT, &CFormtidyDlg::OnConvert, "Convert"},
    {IDC_LOAD, &CFormtidyDlg::OnLoad, "Load File"},
    {IDC_SAVE, &CFormtidyDlg::OnSave, "Save File"},
    {ID_FILE_QUICKCONVERT, &CFormtidyDlg::OnFileQuickConvert, "Quick Convert"},
    {ID_ABOUT_NEWS, &CFormtidyDlg::OnAboutNews, "Check latest news"},
    {ID_EDIT_COPY, &CFormtidyDlg::OnEditCopy, "Copy"},
    {ID_EDIT_PASTE, &CFormtidyDlg::OnEditPaste, "Paste"},
    {ID_EDIT_CUT, &CFormtidyDlg::OnEditCut, "Cut"},
    {ID_EDIT_UNDO, &CFormtidyDlg::OnEditUndo, "Undo"},
    {ID_EDIT_CLEAR, &CFormtidyDlg::OnEditClear, "Delete"},
};

CFormtidyDlg::CFormtidyDlg(QWidget* parent)
    : DialogBase(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                             Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_client(new QWidget(this)), m_menuBar(new QMenuBar(this))
{
    QAccessible::installFactory(&MainWindowAccessible); // Qt keeps one of each
    setWindowTitle(QStringLiteral("Formtidy 2.0"));
    m_hIcon = QApplication::windowIcon();
    setWindowIcon(m_hIcon);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(m_menuBar);
    layout->addWidget(m_client);

    createMenu();
    createControls();

    // The template's size is that of the client area, below the menu bar.
    const DialogUnits dlu(this);
    const QSize client = dlu.size(424, 249);
    resize(client.width(), client.height() + m_menuBar->sizeHint().height());
    WindowPlacement::centreOnScreen(this);
    // X11 and Wayland give applications no system menu to add an About entry to.

    connectCommands();
    m_client->installEventFilter(this);
    m_editSource->setFocus();
}

CFormtidyDlg::~CFormtidyDlg()
{
    // The panes lose the focus as they are destroyed, after this window's own
    // members: they must no longer reach the Edit items then.
    for (TextPane* pane : {m_editSource, m_editResult})
        disconnect(pane, nullptr, this, nullptr);
}

void CFormtidyDlg::createMenu()
{
    for (const Menu& menu : kMenus) {
        QMenu* popup = m_menuBar->addMenu(QString::fromLatin1(menu.title));
        for (const MenuItem& item : menu.items) {
            if (!item.text) {
                popup->addSeparator();
                continue;
            }
            // The key after the tab is shown beside the item and told to
            // screen readers as its accelerator, not as part of its name. It
            // is bound only while the menu itself has the focus: the panes
            // handle those keys themselves.
            const QStringList parts = QString::fromLatin1(item.text).split(QLatin1Char('\t'));
            QAction* action = popup->addAction(parts.front());
            if (parts.size() > 1) {
                action->setShortcut(QKeySequence(parts.back()));
                action->setShortcutContext(Qt::WidgetShortcut);
            }
            action->setData(item.id);
            m_actions[item.id] = action;
        }
    }
}

void CFormtidyDlg::createControls()
{
    const DialogUnits dlu(this);
    // In the template's order, which is also the tab order.
    m_btnLoad = new QPushButton(QStringLiteral("<- &Load File"), m_client);
    m_editSource = new TextPane(IDC_SOURCE_TEXT, true, m_client);
    m_btnConvert = new QPushButton(QStringLiteral("&Convert -->"), m_client);
    m_editResult = new TextPane(IDC_RESULT_TEXT, false, m_client);
    m_btnSave = new QPushButton(QStringLiteral("&Save File ->"), m_client);
    SetDlgCtrlID(m_btnLoad, IDC_LOAD);
    SetDlgCtrlID(m_editSource, IDC_SOURCE_TEXT);
    SetDlgCtrlID(m_btnConvert, IDC_CONVERT);
    SetDlgCtrlID(m_editResult, IDC_RESULT_TEXT);
    SetDlgCtrlID(m_btnSave, IDC_SAVE);
    // Screen readers would spell the arrows out: the buttons are named as
    // their commands are.
    for (int id : {IDC_LOAD, IDC_CONVERT, IDC_SAVE})
        GetDlgItem(id)->setAccessibleName(QString::fromLatin1(FindCommand(kCommands, id)->name));
    m_editSource->setAccessibleName(QStringLiteral("Encoded form data"));
    m_editSource->setAccessibleDescription(
        QStringLiteral("The form data to convert, as the browser sent it: load, type or paste it "
                       "here."));
    m_editResult->setAccessibleName(QStringLiteral("Decoded text"));
    m_editResult->setAccessibleDescription(
        QStringLiteral("The decoded text, one field per paragraph written as name :: value."));

    m_btnLoad->setGeometry(dlu.rect(191, 14, 42, 15));
    m_editSource->setGeometry(dlu.rect(7, 7, 180, 235));
    m_btnConvert->setGeometry(dlu.rect(191, 117, 42, 15));
    m_editResult->setGeometry(dlu.rect(237, 7, 180, 235));
    m_btnSave->setGeometry(dlu.rect(191, 220, 42, 15));

    m_btnLoad->setDefault(true);
    QWidget::setTabOrder(m_btnLoad, m_editSource);
    QWidget::setTabOrder(m_editSource, m_btnConvert);
    QWidget::setTabOrder(m_btnConvert, m_editResult);
    QWidget::setTabOrder(m_editResult, m_btnSave);
}

// Every command, from a button, a menu item or F1, reaches OnCommand; the
// panes' focus drives the Edit items.
void CFormtidyDlg::connectCommands()
{
    connect(m_btnLoad, &QPushButton::clicked, this, [this] { OnCommand(IDC_LOAD); });
    connect(m_btnConvert, &QPushButton::clicked, this, [this] { OnCommand(IDC_CONVERT); });
    connect(m_btnSave, &QPushButton::clicked, this, [this] { OnCommand(IDC_SAVE); });
    for (const auto& [id, action] : m_actions)
        connect(action, &QAction::triggered, this, [this, id = id] { OnCommand(id); });

    for (TextPane* pane : {m_editSource, m_editResult}) {
        connect(pane, &TextPane::focusLost, this, &CFormtidyDlg::OnPaneKillFocus);
        connect(pane, &TextPane::focusGained, this, &CFormtidyDlg::OnPaneSetFocus);
    }
    // F1 opens the Help dialog, as in most desktop programs.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { OnCommand(ID_HELP); });
}

void CFormtidyDlg::OnCommand(int id)
{
    if (const Command* command = FindCommand(kCommands, id)) {
        CommandGuard::run(QString::fromLatin1(command->name),
                          [this, command] { (this->*command->handler)(); });
        return;
    }
    // Menu commands that the window does not serve go on to the application.
    if (id >= kFirstAppCommand && id < kEndAppCommands) {
        if (ApplicationBase* app = ApplicationBase::instance())
            app->OnCommand(id);
    }
}

void CFormtidyDlg::OnFileQuickConvert()
{
    QuickConvert();
}

void CFormtidyDlg::OnAboutNews()
{
    FetchNews();
}

void CFormtidyDlg::OnConvert()
{
    if (ConvertSourceText() == 1)
        m_btnSave->setFocus();
    else
        m_btnLoad->setFocus();
}

void CFormtidyDlg::OnLoad()
{
    if (LoadSourceFile() == 1)
        m_btnConvert->setFocus();
    else
        m_btnLoad->setFocus();
}

void CFormtidyDlg::OnSave()
{
    SaveResultFile();
    m_btnLoad->setFocus();
}

// Undo, Cut, Copy and Delete go to the left pane, then to the right pane, each
// acting on its own selection, which a pane keeps while it lacks the focus.
// So after Cut or Copy the clipboard holds the text of the last pane that had
// a selection.
void CFormtidyDlg::OnEditUndo()
{
    m_editSource->undoLastEdit();
    m_editResult->undoLastEdit();
}

void CFormtidyDlg::OnEditCut()
{
    m_editSource->cut();
    m_editResult->cut();
}

void CFormtidyDlg::OnEditCopy()
{
    m_editSource->copy();
    m_editResult->copy();
}

// Paste goes to one pane only: the left one when it has the focus, otherwise
// the right one.
void CFormtidyDlg::OnEditPaste()
{
    (m_editSource->hasFocus() ? m_editSource : m_editResult)->paste();
}

void CFormtidyDlg::OnEditClear()
{
    m_editSource->deleteSelection();
    m_editResult->deleteSelection();
}

void CFormtidyDlg::OnPaneKillFocus()
{
    enableEditItems(false);
}

void CFormtidyDlg::OnPaneSetFocus()
{
    enableEditItems(true);
}

void CFormtidyDlg::enableEditItems(bool enable)
{
    for (int id : {ID_EDIT_CUT, ID_EDIT_UNDO, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_CLEAR})
        if (QAction* item = action(id))
            item->setEnabled(enable);
}

void CFormtidyDlg::OnAboutAbout()
{
    CAboutDlg dlg;
    dlg.exec();
}

void CFormtidyDlg::OnAboutHelp()
{
    CHelpDlg::runModal();
}

void CFormtidyDlg::OnSize(int cx, int cy)
{
    // The distances are those of a 96 dpi screen; on a screen of a higher
    // logical dpi they grow with the buttons, which keep the strip between
    // the panes wide enough for them.
    const DialogUnits dlu(this);
    const int margin = dlu.pixelsX(10), gap = dlu.pixelsX(35), inset = dlu.pixelsX(45);
    const int top = dlu.pixelsY(10), buttonMargin = dlu.pixelsY(15);
    const int h = cx / 2;
    place(m_editResult, cx - h + gap, top, h - inset, cy - 2 * top);
    place(m_editSource, margin, top, h - inset, cy - 2 * top);
    // The buttons keep their size and only move; each halving truncates on its own.
    const int w1 = m_btnLoad->width(), ht1 = m_btnLoad->height();
    place(m_btnLoad, h - w1 / 2, buttonMargin, w1, ht1);
    const int w2 = m_btnConvert->width(), ht2 = m_btnConvert->height();
    place(m_btnConvert, h - w2 / 2, cy / 2 - ht2 / 2, w2, ht2);
    const int w3 = m_btnSave->width(), ht3 = m_btnSave->height();
    place(m_btnSave, h - w3 / 2, cy - ht3 - buttonMargin, w3, ht3);
    m_client->update();
}

bool CFormtidyDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        OnSize(m_client->width(), m_client->height());
    return DialogBase::eventFilter(watched, event);
}

std::string CFormtidyDlg::GetDlgItemText(int id) const
{
    const auto* target = GetDlgItem<TextPane>(id);
    return target ? target->bytes() : std::string();
}

void CFormtidyDlg::SetDlgItemText(int id, std::string_view text)
{
    if (auto* target = GetDlgItem<TextPane>(id))
        target->setBytes(text);
}

void CFormtidyDlg::CloseWindow()
{
    close();
}

QAction* CFormtidyDlg::action(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

#include "CAboutDlg.h"

#include "CHelpDlg.h"
#include "app/framework/CommandGuard.h"
#include "app/framework/CommandIds.h"
#include "app/framework/DialogUnits.h"
#include "news/FetchNews.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

// The icon is shown at its own size.
constexpr int kIconPixels = 32;

const char* const kLines[] = {
    "Formtidy version 2.0",
    "Copyright (C) 2026 The Formtidy authors",
    "Written by the Formtidy developers",
    "Contact: info@formtidy.example",
};
// The rows of the text lines, in dialog units; the buttons start at 222.
constexpr int kLineTops[] = {10, 27, 44, 61};
constexpr int kLineLeft = 40;
constexpr int kLineWidth = 119;
constexpr int kLineHeight = 8;
constexpr int kLineMaxRight = 218;

CAboutDlg::NewsFunction g_fetchNews;

} // namespace

CAboutDlg::NewsOverride::NewsOverride(NewsFunction fetch)
    : ScopedOverride<NewsFunction>(g_fetchNews, std::move(fetch))
{}

CAboutDlg::CAboutDlg()
{
    setWindowTitle(QStringLiteral("About formtidy2"));
    const DialogUnits dlu(this);

    m_icon = new QLabel(this);
    m_icon->setPixmap(QApplication::windowIcon().pixmap(kIconPixels, kIconPixels));
    m_icon->setGeometry(dlu.x(7), dlu.y(7), kIconPixels, kIconPixels);
    m_icon->setAccessibleName(QStringLiteral("Formtidy icon"));

    // The buttons in their tab order; OK has the focus when the box opens.
    m_btnOk = new QPushButton(QStringLiteral("OK"), this);
    m_btnNews = new QPushButton(QStringLiteral("&News"), this);
    m_btnHelp = new QPushButton(QStringLiteral("&Help"), this);
    SetDlgCtrlID(m_btnOk, IDOK);
    SetDlgCtrlID(m_btnNews, IDCANCEL);
    SetDlgCtrlID(m_btnHelp, IDC_ABOUT_HELP);
    m_btnOk->setGeometry(dlu.rect(222, 7, 32, 14));
    m_btnNews->setGeometry(dlu.rect(222, 28, 32, 14));
    m_btnHelp->setGeometry(dlu.rect(222, 49, 32, 14));
    m_btnOk->setDefault(true);

    // A line longer than its row (the copyright notice) reaches on towards
    // the buttons, so that it is not cut off.
    const int maxWidth = dlu.x(kLineMaxRight) - dlu.x(kLineLeft);
    for (int i = 0; i < 4; ++i) {
        QLabel* line = new QLabel(QString::fromLatin1(kLines[i]), this);
        line->setTextFormat(Qt::PlainText);
        QRect row = dlu.rect(kLineLeft, kLineTops[i], kLineWidth, kLineHeight);
        row.setWidth(std::clamp(line->sizeHint().width(), row.width(), maxWidth));
        row.setHeight(std::max(row.height(), line->sizeHint().height()));
        line->setGeometry(row);
        m_lines[i] = line;
    }
    QWidget::setTabOrder(m_btnOk, m_btnNews);
    QWidget::setTabOrder(m_btnNews, m_btnHelp);

    connect(m_btnOk, &QPushButton::clicked, this, [this] { OnCommand(IDOK); });
    connect(m_btnNews, &QPushButton::clicked, this, [this] { OnCommand(IDCANCEL); });
    connect(m_btnHelp, &QPushButton::clicked, this, [this] { OnCommand(IDC_ABOUT_HELP); });

    setFixedSize(dlu.size(261, 79));
    m_btnOk->setFocus();
}

CAboutDlg::~CAboutDlg() = default;

// The box's command map; each name is that of its button.
const CAboutDlg::Command CAboutDlg::kCommands[] = {
    {IDOK, &CAboutDlg::OnOK, "OK"},
    {IDCANCEL, &CAboutDlg::OnNews, "News"},
    {IDC_ABOUT_HELP, &CAboutDlg::OnHelp, "Help"},
};

void CAboutDlg::OnCommand(int id)
{
    if (const Command* command = FindCommand(kCommands, id))
        CommandGuard::run(QString::fromLatin1(command->name),
                          [this, command] { (this->*command->handler)(); });
}

void CAboutDlg::reject()
{
    // Esc and the close box arrive here; the close box stays ignored because
    // the box is still visible afterwards.
    OnCommand(IDCANCEL);
}

void CAboutDlg::OnNews()
{
    // A second cancel while the fetch still runs (Esc pressed again while it
    // waits for the network) would start a fetch inside the fetch.
    if (m_fetching)
        return;
    const ScopedOverride<bool> fetching(m_fetching, true);
    if (g_fetchNews)
        g_fetchNews();
    else
        FetchNews();
}

void CAboutDlg::OnOK()
{
    accept();
}

void CAboutDlg::OnHelp()
{
    CHelpDlg::runModal();
}

#include "CAboutDlg.h"

#include "CHelpDlg.h"
#include "DialogUnits.h"
#include "app/CommandGuard.h"
#include "app/CommandIds.h"
#include "news/FetchNews.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

namespace {

// The icon is shown at its own size.
constexpr int kIconPixels = 32;

const char* const kLines[] = {
    "Formtidy version 2.0",
    "Copyright (C) 2026 The Formtidy authors",
    "Written by the Formtidy developers",
    "Contact: info@formtidy.example",
};
constexpr int kLineTops[] = {10, 27, 44, 61};

} // namespace

CAboutDlg::CAboutDlg()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      fetchNews([] { FetchNews(); })
{
    setWindowTitle(QStringLiteral("About formtidy2"));
    setWindowIcon(QApplication::windowIcon());
    const DialogUnits dlu(font());

    m_icon = new QLabel(this);
    m_icon->setPixmap(QApplication::windowIcon().pixmap(kIconPixels, kIconPixels));
    m_icon->setGeometry(dlu.x(7), dlu.y(7), kIconPixels, kIconPixels);

    // The buttons in their tab order; OK has the focus when the box opens.
    m_btnOk = new QPushButton(QStringLiteral("OK"), this);
    m_btnNews = new QPushButton(QStringLiteral("&News"), this);
    m_btnHelp = new QPushButton(QStringLiteral("&Help"), this);
    m_btnOk->setGeometry(dlu.rect(222, 7, 32, 14));
    m_btnNews->setGeometry(dlu.rect(222, 28, 32, 14));
    m_btnHelp->setGeometry(dlu.rect(222, 49, 32, 14));
    m_btnOk->setDefault(true);

    // The lines reach to the buttons, so that a wider font does not cut them off.
    for (int i = 0; i < 4; ++i) {
        m_lines[i] = new QLabel(QString::fromLatin1(kLines[i]), this);
        m_lines[i]->setTextFormat(Qt::PlainText);
        m_lines[i]->setGeometry(dlu.rect(40, kLineTops[i], 178, 8));
        m_lines[i]->setMinimumHeight(m_lines[i]->sizeHint().height());
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

void CAboutDlg::OnCommand(int id)
{
    const QPushButton* source = button(id);
    const QString name = source ? source->text() : QStringLiteral("The command");
    CommandGuard::run(name, [this, id] {
        switch (id) {
        case IDOK:
            accept();
            break;
        case IDCANCEL:
            OnNews();
            break;
        case IDC_ABOUT_HELP:
            OnHelp();
            break;
        default:
            break;
        }
    });
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
    if (m_fetching || !fetchNews)
        return;
    m_fetching = true;
    struct Reset
    {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_fetching};
    fetchNews();
}

void CAboutDlg::OnHelp()
{
    CHelpDlg help;
    help.exec();
}

QPushButton* CAboutDlg::button(int id) const
{
    switch (id) {
    case IDOK:
        return m_btnOk;
    case IDCANCEL:
        return m_btnNews;
    case IDC_ABOUT_HELP:
        return m_btnHelp;
    default:
        return nullptr;
    }
}

#include "CNewsDlg.h"

#include "app/framework/CommandIds.h"
#include "app/framework/DialogUnits.h"
#include "app/framework/PaneCodec.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace {
CNewsDlg::ModalFunction g_modalHook;
}

CNewsDlg::CNewsDlg(QWidget* parent)
    : FixedDialog(parent), m_btnOk(new QPushButton(QStringLiteral("OK"), this)),
      m_editNews(new QPlainTextEdit(this))
{
    setWindowTitle(QStringLiteral("Latest News"));

    const DialogUnits dlu(this);
    setFixedSize(dlu.size(400, 202));
    // In the template's order, which is also the tab order.
    m_btnOk->setGeometry(dlu.rect(343, 7, 50, 14));
    m_editNews->setGeometry(dlu.rect(7, 7, 333, 188));
    QWidget::setTabOrder(m_btnOk, m_editNews);
    SetDlgCtrlID(m_btnOk, IDOK);
    SetDlgCtrlID(m_editNews, IDC_NEWS_TEXT);

    m_btnOk->setDefault(true);
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);

    // Long lines scroll sideways rather than wrap. The text can be selected
    // and copied, with the mouse or the keyboard, but not changed.
    m_editNews->setReadOnly(true);
    m_editNews->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_editNews->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_editNews->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_editNews->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_editNews->setTabChangesFocus(true);
    m_editNews->setAccessibleName(QStringLiteral("Latest news"));
}

CNewsDlg::~CNewsDlg() = default;

CNewsDlg::ModalOverride::ModalOverride(ModalFunction modal)
    : ScopedOverride<ModalFunction>(g_modalHook, std::move(modal))
{}

int CNewsDlg::DoModal()
{
    OnInitDialog();
    if (g_modalHook)
        return g_modalHook(*this);
    return exec();
}

void CNewsDlg::OnInitDialog()
{
    // The news is shown as the panes show a file's bytes.
    PaneCodec::Format format;
    PaneCodec::Marks marks;
    m_editNews->setPlainText(PaneCodec::toPaneText(m_strNews, format, marks));
    m_btnOk->setFocus();
}

#include "CHelpDlg.h"

#include "app/framework/CommandIds.h"
#include "app/framework/DialogUnits.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

struct Rect
{
    int left, top, width, height; // dialog units
};

// The template: each frame and the text inside it.
constexpr Rect kFrameRects[CHelpDlg::kTopics] = {
    {7, 7, 102, 88}, {119, 7, 102, 88}, {7, 97, 102, 88}, {119, 97, 102, 88}};
constexpr Rect kTextRects[CHelpDlg::kTopics] = {
    {14, 19, 93, 74}, {123, 19, 93, 74}, {13, 110, 93, 74}, {125, 113, 91, 60}};
constexpr Rect kOkRect = {224, 7, 50, 14};
constexpr int kWidth = 281;
constexpr int kHeight = 193;

} // namespace

void CHelpDlg::runModal()
{
    CHelpDlg dlg;
    dlg.exec();
}

const std::array<const char*, CHelpDlg::kTopics>& CHelpDlg::captions()
{
    static const std::array<const char*, kTopics> captions = {
        "To load a file", "To convert the file", "To save a file", "Using Quick Convert"};
    return captions;
}

const std::array<const char*, CHelpDlg::kTopics>& CHelpDlg::texts()
{
    static const std::array<const char*, kTopics> texts = {
        "First you must open a file to be converted by selected &Open file or clicking the load "
        "file button.  Files should be of text format.  The left pane will fill with the "
        "unformatted text.  You can edit the text and paste in new text if you want.",
        "Then hit the convert button or use the convert command from the file menu.  Your "
        "loaded file will be converted and put into the right pane.",
        "Just click the save button or select save from the file menu to save the file.  The "
        "files will be saved as text format.  Again, you may edit the formatted text before "
        "saving.",
        "It will ask for a file to convert, then ask for a file to save.  Supply the two and "
        "you don't have to go through the three normal steps."};
    return texts;
}

QString CHelpDlg::richText(const char* text)
{
    const QString plain = QString::fromLatin1(text);
    QString html;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        QString ch = plain.mid(i, 1);
        bool mnemonic = false;
        if (plain[i] == QLatin1Char('&') && i + 1 < plain.size()) {
            ch = plain.mid(++i, 1); // "&&" shows one ampersand
            mnemonic = ch != QLatin1String("&");
        }
        ch = ch.toHtmlEscaped();
        html += mnemonic ? QStringLiteral("<u>%1</u>").arg(ch) : ch;
    }
    return QStringLiteral("<div style=\"white-space: pre-wrap\">%1</div>").arg(html);
}

CHelpDlg::CHelpDlg(QWidget* parent) : FixedDialog(parent)
{
    setWindowTitle(QStringLiteral("Help"));
    const DialogUnits dlu(this);

    // In the template's order.
    m_btnOk = new QPushButton(QStringLiteral("OK"), this);
    SetDlgCtrlID(m_btnOk, IDOK);
    m_btnOk->setGeometry(dlu.rect(kOkRect.left, kOkRect.top, kOkRect.width, kOkRect.height));
    m_btnOk->setDefault(true);
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);

    for (int topic = 0; topic < kTopics; ++topic) {
        const Rect& f = kFrameRects[topic];
        const Rect& t = kTextRects[topic];
        auto* frame = new QGroupBox(QString::fromLatin1(captions()[topic]), this);
        frame->setGeometry(dlu.rect(f.left, f.top, f.width, f.height));
        // The text sits inside its frame, placed relative to it.
        auto* label = new QLabel(richText(texts()[topic]), frame);
        label->setTextFormat(Qt::RichText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setGeometry(
            dlu.rect(t.left, t.top, t.width, t.height).translated(-dlu.x(f.left), -dlu.y(f.top)));
        m_frames[topic] = frame;
        m_texts[topic] = label;
    }

    // A font larger than the template was drawn for gives a text more lines
    // than its box holds. Then its row grows by what the longest text lacks
    // and the row below moves down, so that no instruction is cut off.
    int shift = 0;
    for (int row = 0; row < kTopics / 2; ++row) {
        int extra = 0;
        for (int topic = row * 2; topic < row * 2 + 2; ++topic) {
            const QLabel* label = m_texts[topic];
            extra = std::max(extra, label->heightForWidth(label->width()) - label->height());
        }
        for (int topic = row * 2; topic < row * 2 + 2; ++topic) {
            QGroupBox* frame = m_frames[topic];
            frame->setGeometry(frame->geometry().translated(0, shift).adjusted(0, 0, 0, extra));
            m_texts[topic]->resize(m_texts[topic]->width(), m_texts[topic]->height() + extra);
        }
        shift += extra;
    }
    setFixedSize(dlu.x(kWidth), dlu.y(kHeight) + shift);
    m_btnOk->setFocus();
}

CHelpDlg::~CHelpDlg() = default;

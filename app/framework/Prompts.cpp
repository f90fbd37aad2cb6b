#include "Prompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>

namespace {
Prompts* g_installed = nullptr;

// Qt takes a filter's patterns from its last parentheses, and shows the text
// before them alone when told to hide the details: so each filter shows its
// description whole, parentheses and all, while its own patterns do the matching.
void offerFilters(QFileDialog& dialog, const QStringList& filters)
{
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
}

// Cuts in the middle, with "…", each quoted name and each word of `text`
// wider than half the screen (a message box's own limit for a line), so that
// a long path takes one line and the box stays within the screen.
QString shortenLongNames(const QString& text, const QWidget& box)
{
    const QScreen* screen = box.screen();
    const int width = std::min(screen ? screen->availableGeometry().width() / 2 : 500, 500);
    const QFontMetrics metrics(box.font());
    static const QRegularExpression name(QStringLiteral("\"[^\"\n]*\"|\\S+"));
    QString shortened;
    qsizetype done = 0;
    for (auto it = name.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch found = it.next();
        shortened += text.mid(done, found.capturedStart() - done);
        shortened += metrics.elidedText(found.captured(), Qt::ElideMiddle, width);
        done = found.capturedEnd();
    }
    return shortened + text.mid(done);
}

// As the desktop's own message boxes are: the text centred, and no icon on
// OK, which Qt's generic theme would give the button and no other dialog's
// OK has.
void lookNative(QMessageBox& box)
{
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setAlignment(Qt::AlignCenter);
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
}
} // namespace

Prompts& Prompts::current()
{
    static Prompts real;
    return g_installed ? *g_installed : real;
}

Prompts::Override::Override(Prompts& prompts) : ScopedOverride<Prompts*>(g_installed, &prompts) {}

QWidget* Prompts::dialogParent()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void Prompts::message(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    dialogParent());
    box.setText(shortenLongNames(text, box));
    lookNative(box);
    box.exec();
}

QStringList Prompts::openFilters()
{
    return {QStringLiteral("HTML Files (*.html,*.htm) (*.html *.htm)"),
            QStringLiteral("Text Files (*.txt) (*.txt)"), QStringLiteral("All Files (*.*) (*)")};
}

QStringList Prompts::saveFilters()
{
    return {QStringLiteral("Text Files (*.txt) (*.txt)")};
}

QString Prompts::openFileName()
{
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name that does not exist is accepted; opening it then fails.
    dialog.setFileMode(QFileDialog::AnyFile);
    offerFilters(dialog, openFilters());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString Prompts::saveFileName()
{
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    offerFilters(dialog, saveFilters());
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

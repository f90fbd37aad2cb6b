#include "Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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

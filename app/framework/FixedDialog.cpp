#include "FixedDialog.h"

#include <QApplication>

FixedDialog::FixedDialog(QWidget* parent) : DialogBase(parent, frameFlags())
{
    setWindowIcon(QApplication::windowIcon());
    // Each dialog gives itself a fixed size once its controls are placed;
    // equal minimum and maximum sizes tell the window manager not to offer
    // sizing or maximising.
}

Qt::WindowFlags FixedDialog::frameFlags()
{
    // CustomizeWindowHint keeps Qt from adding its default buttons.
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
}

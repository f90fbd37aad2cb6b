#include "DialogBase.h"

namespace {
constexpr char kControlId[] = "controlId";
}

DialogBase::DialogBase(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {}

void DialogBase::SetDlgCtrlID(QWidget* control, int id)
{
    control->setProperty(kControlId, id);
}

QWidget* DialogBase::findDlgItem(int id) const
{
    for (QWidget* control : findChildren<QWidget*>()) {
        const QVariant own = control->property(kControlId);
        if (own.isValid() && own.toInt() == id)
            return control;
    }
    return nullptr;
}

#pragma once

#include <QDialog>

// The base of every dialog of the program, the main window included: each of
// its controls carries the identifier its template gives it (IDOK,
// IDC_SOURCE_TEXT...), and is found by it.
class DialogBase : public QDialog
{
    Q_OBJECT

public:
    explicit DialogBase(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // The control `id` of this dialog as a `T`, or nullptr where it has none.
    template <class T = QWidget> T* GetDlgItem(int id) const
    {
        return qobject_cast<T*>(findDlgItem(id));
    }

protected:
    // Gives `control` its identifier in the dialog.
    static void SetDlgCtrlID(QWidget* control, int id);

private:
    QWidget* findDlgItem(int id) const;
};

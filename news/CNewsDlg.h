#pragma once

#include "app/framework/FixedDialog.h"
#include "files/ScopedOverride.h"

#include <functional>
#include <string>

class QPlainTextEdit;
class QPushButton;

// The Latest News dialog: the news text, read-only and unwrapped, beside an
// OK button. It cannot be resized.
class CNewsDlg : public FixedDialog
{
    Q_OBJECT

public:
    explicit CNewsDlg(QWidget* parent = nullptr);
    ~CNewsDlg() override;

    // Puts m_strNews into the text control and runs the dialog until the user
    // closes it with OK, Esc or the close box.
    int DoModal();

    // Replaces what DoModal runs once the text is in place, for as long as it
    // lives, so that tests can look at the dialog without opening it. An
    // empty function runs exec().
    using ModalFunction = std::function<int(CNewsDlg&)>;
    class ModalOverride : ScopedOverride<ModalFunction>
    {
    public:
        explicit ModalOverride(ModalFunction modal);
    };

    // The text to show, as bytes: every line of the news, each followed by CR LF.
    std::string m_strNews;

private:
    void OnInitDialog();

    QPushButton* m_btnOk;
    QPlainTextEdit* m_editNews;
};

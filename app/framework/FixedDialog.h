#pragma once

#include "DialogBase.h"

// A modal dialog with a caption that has a close box and nothing else: no
// minimise or maximise box, and a frame that cannot be sized.
class FixedDialog : public DialogBase
{
    Q_OBJECT

public:
    explicit FixedDialog(QWidget* parent = nullptr);

    // The window flags of such a dialog.
    static Qt::WindowFlags frameFlags();
};

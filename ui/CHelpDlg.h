#pragma once

#include "app/framework/FixedDialog.h"
#include <QString>

#include <array>

class QGroupBox;
class QLabel;
class QPushButton;

// A fixed page of instructions: loading, converting and saving a file, and
// Quick Convert, each in a framed box of its own, with OK at the top right.
// OK, Esc and the close box end it.
class CHelpDlg : public FixedDialog
{
    Q_OBJECT

public:
    explicit CHelpDlg(QWidget* parent = nullptr);
    ~CHelpDlg() override;

    // Opens the dialog with no parent and runs it until it is closed: About >
    // Help, F1 and the About box's Help button all come here.
    static void runModal();

    static constexpr int kTopics = 4;

    // The caption of each frame and the instructions inside it, as written:
    // an ampersand marks the mnemonic letter that is shown underlined.
    static const std::array<const char*, kTopics>& captions();
    static const std::array<const char*, kTopics>& texts();

    QGroupBox* frame(int topic) const { return m_frames[topic]; }
    QLabel* text(int topic) const { return m_texts[topic]; }

    // The instructions as rich text: `text` with its mnemonic underlined
    // instead of the ampersand, and every space kept.
    static QString richText(const char* text);

private:
    QPushButton* m_btnOk;
    std::array<QGroupBox*, kTopics> m_frames{};
    std::array<QLabel*, kTopics> m_texts{};
};

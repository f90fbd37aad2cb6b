#pragma once

#include "PaneCodec.h"

#include <QPlainTextEdit>

#include <string>
#include <string_view>

// One of the main window's two editable panes. Its text goes in and out as
// bytes, and reading it gives back exactly the bytes that were put in.
class TextPane : public QPlainTextEdit
{
    Q_OBJECT

public:
    TextPane(int controlId, bool wrap, QWidget* parent);

    int controlId() const { return m_controlId; }

    std::string bytes() const;
    void setBytes(std::string_view bytes);

    const PaneCodec::Format& format() const { return m_format; }

signals:
    void focusGained();
    void focusLost();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int m_controlId;
    PaneCodec::Format m_format;
};

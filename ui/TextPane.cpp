#include "TextPane.h"

#include <QTextDocument>

TextPane::TextPane(int controlId, bool wrap, QWidget* parent)
    : QPlainTextEdit(parent), m_controlId(controlId)
{
    setTabChangesFocus(true);
    if (wrap) {
        setLineWrapMode(QPlainTextEdit::WidgetWidth);
        // A form body is one long line without spaces; breaking anywhere keeps
        // its layout linear in its length.
        setWordWrapMode(QTextOption::WrapAnywhere);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
        setLineWrapMode(QPlainTextEdit::NoWrap);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Typed text in an emptied pane starts afresh as UTF-8 with CR LF breaks.
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (document()->isEmpty())
            m_format = PaneCodec::Format{};
    });
}

std::string TextPane::bytes() const
{
    // The raw text keeps every character; toPlainText() would turn U+00A0
    // into a space.
    return PaneCodec::toBytes(document()->toRawText(), m_format);
}

void TextPane::setBytes(std::string_view bytes)
{
    PaneCodec::Format format;
    const QString text = PaneCodec::toPaneText(bytes, format);
    setPlainText(text);
    m_format = format;
}

void TextPane::focusInEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusInEvent(event);
    emit focusGained();
}

void TextPane::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    emit focusLost();
}

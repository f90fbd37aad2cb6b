#include "TextPane.h"

#include <QFocusEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

TextPane::TextPane(int controlId, bool wrap, QWidget* parent)
    : QPlainTextEdit(parent), m_controlId(controlId), m_wrapsLines(wrap)
{
    setTabChangesFocus(true);
    if (wrap) {
        setLineWrapMode(QPlainTextEdit::WidgetWidth);
        // Between words, or inside a word longer than the pane is wide; but
        // see wrapLongLinesAnywhere().
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
        setLineWrapMode(QPlainTextEdit::NoWrap);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    keepLongLinesFast();
    // An edit after Edit > Undo makes the next Edit > Undo revert that edit.
    connect(document(), &QTextDocument::undoCommandAdded, this, [this] { m_undoneByMenu = false; });
    // The selection stays while the pane lacks the focus, but it is not shown.
    QPalette colours = palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Inactive, QPalette::Base));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Inactive, QPalette::Text));
    setPalette(colours);
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
    // The wrapping must be right before the text is laid out, which starts
    // before the document reports the change.
    const bool longLines = m_wrapsLines && hasLongLine(text);
    if (longLines)
        wrapLongLinesAnywhere();
    setPlainText(text);
    if (m_wrapsLines && !longLines)
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_undoneByMenu = false;
    m_format = format;
}

void TextPane::keepLongLinesFast()
{
    // Glyphs of the Latin script need no shaping; skipping it makes laying
    // out a long line a good deal cheaper. Scripts that need it still get it.
    QFont noShaping;
    noShaping.setStyleStrategy(QFont::PreferNoShaping);
    setFont(noShaping);

    // Qt drops what it worked out for a line once the line is laid out, and
    // works it out again, over the whole line, for every cursor move and
    // every paint. On a line as long as a form body that is most of the cost
    // of a keystroke, so long lines keep it (about 30 bytes a character).
    connect(document(), &QTextDocument::contentsChange, this, [this](int from, int, int added) {
        const QTextDocument* doc = document();
        for (QTextBlock block = doc->findBlock(from);
             block.isValid() && block.position() <= from + added; block = block.next()) {
            if (block.length() >= kLongLine) {
                block.layout()->setCacheEnabled(true);
                wrapLongLinesAnywhere();
            }
        }
    });
}

void TextPane::wrapLongLinesAnywhere()
{
    // A form body is one long line without spaces, and Qt's search for a word
    // boundary makes laying such a line out take time that grows with the
    // square of its length: a minute for 1 MB. Breaking anywhere keeps it
    // linear. The pane goes back to breaking between words when it is next
    // given a text whose lines are all short.
    if (m_wrapsLines)
        setWordWrapMode(QTextOption::WrapAnywhere);
}

bool TextPane::hasLongLine(QStringView text)
{
    qsizetype lineStart = 0;
    for (;;) {
        const qsizetype end = text.indexOf(QChar(PaneCodec::kParagraph), lineStart);
        if ((end < 0 ? text.size() : end) - lineStart >= kLongLine)
            return true;
        if (end < 0)
            return false;
        lineStart = end + 1;
    }
}

void TextPane::focusInEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusInEvent(event);
    emit focusGained();
}

void TextPane::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    // An open menu, or the menu bar in keyboard mode, hands the keyboard back
    // to this pane when it closes.
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason)
        emit focusLost();
}

void TextPane::undoLastEdit()
{
    // One level, as the Edit menu has always offered it: undoing again, with
    // no edit in between, restores what the last undo took away.
    if (m_undoneByMenu) {
        redo();
        m_undoneByMenu = false;
    } else if (document()->isUndoAvailable()) {
        undo();
        m_undoneByMenu = true;
    }
}

void TextPane::deleteSelection()
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection())
        cursor.removeSelectedText();
}

QMimeData* TextPane::createMimeDataFromSelection() const
{
    // The selection's raw text, so that a no-break space stays one (the
    // plain-text form would make it a space), with line breaks as LF.
    QString text = textCursor().selectedText();
    text.replace(QChar(PaneCodec::kParagraph), QLatin1Char('\n'));
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

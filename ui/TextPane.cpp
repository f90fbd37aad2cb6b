#include "TextPane.h"

#include "app/framework/CommandGuard.h"
#include "app/framework/PaneCapacity.h"
#include "app/framework/Prompts.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Where a pane keeps what its characters stand for (a PaneCodec::Mark): in
// the format of a block, what the U+2029 before it stands for, when that is
// not a break of the pane's convention; in the format of a U+2028 or U+240D,
// what that character stands for, when it is not a break of the convention
// or a lone CR. Both go with the text through every edit, undo and redo.
constexpr int kBreakBefore = QTextFormat::UserProperty + 1;
constexpr int kCharMark = QTextFormat::UserProperty + 2;

bool isCut(const QTextBlock& block)
{
    return block.blockFormat().intProperty(kBreakBefore) == int(PaneCodec::Mark::Cut);
}

QString encodingName(PaneCodec::Encoding encoding)
{
    return encoding == PaneCodec::Encoding::Utf8 ? QStringLiteral("UTF-8")
                                                 : QStringLiteral("Windows-1252");
}

// A file dragged from a file manager comes with its address as text too; the
// address is not what the user meant to drop. Pasting a copied file is
// another matter: there the address is what editors insert.
bool carriesFiles(const QDropEvent* event)
{
    return event->mimeData() && event->mimeData()->hasUrls();
}

} // namespace

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
}

std::string TextPane::bytes() const
{
    // The raw text keeps every character; toPlainText() would turn U+00A0
    // into a space.
    const QString raw = document()->toRawText();
    return PaneCodec::toBytes(raw, m_format, marksIn(0, int(raw.size())));
}

void TextPane::setBytes(std::string_view bytes)
{
    // A text too large to show is refused before the pane changes.
    PaneCapacity::check(bytes, m_wrapsLines);
    PaneCodec::Format format;
    PaneCodec::Marks marks;
    QString text = PaneCodec::toPaneText(bytes, format, marks);
    // The wrapping must be right before the text is laid out, which starts
    // before the document reports the change.
    const bool longLines = m_wrapsLines && PaneCodec::hasLongLine(text);
    if (longLines)
        wrapLongLinesAnywhere();
    PaneCodec::toBlocks(text, marks, m_wrapsLines);
    m_format = format;
    // setPlainText() gives the whole text the character format at the
    // cursor, which may be the mark of a U+240D.
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    setTextCursor(cursor);
    setCurrentCharFormat(QTextCharFormat());
    setPlainText(text);
    if (!marks.empty()) {
        // Part of setting the text, not an edit that Undo could take back.
        QTextDocument* doc = document();
        doc->setUndoRedoEnabled(false);
        QTextCursor marker(doc);
        // One edit, so that the text is laid out once, not once a mark.
        marker.beginEditBlock();
        for (const PaneCodec::Marked& marked : marks)
            applyMark(marker, int(marked.position), marked.mark);
        marker.endEditBlock();
        doc->setUndoRedoEnabled(true);
    }
    if (m_wrapsLines && !longLines)
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_undoneByMenu = false;
    countLines(document()->firstBlock(), QTextBlock());
}

PaneCodec::Marks TextPane::marksIn(int from, int to) const
{
    PaneCodec::Marks marks;
    const QTextDocument* doc = document();
    // Most texts carry no mark at all, and then there is nothing to look for.
    bool anyBreak = false, anyCharMark = false;
    for (const QTextFormat& format : doc->allFormats()) {
        anyBreak = anyBreak || (format.isBlockFormat() && format.hasProperty(kBreakBefore));
        anyCharMark = anyCharMark || (format.isCharFormat() && format.hasProperty(kCharMark));
    }
    if (!anyBreak && !anyCharMark)
        return marks;
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const int start = block.position();
        const QVariant before = block.blockFormat().property(kBreakBefore);
        if (anyBreak && start > from && before.isValid())
            marks.push_back({start - 1 - from, PaneCodec::Mark(before.toInt())});
        if (!anyCharMark)
            continue;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QVariant mark = fragment.charFormat().property(kCharMark);
            if (!mark.isValid())
                continue;
            // Text typed after a marked character takes its format too.
            const QString text = fragment.text();
            for (int i = 0; i < text.size(); ++i) {
                const int at = fragment.position() + i;
                if (at >= from && at < to &&
                    (text[i] == QChar(PaneCodec::kLoneCrSymbol) ||
                     text[i] == QChar(PaneCodec::kLineSeparator)))
                    marks.push_back({at - from, PaneCodec::Mark(mark.toInt())});
            }
        }
    }
    return marks;
}

void TextPane::applyMark(QTextCursor& cursor, int position, PaneCodec::Mark mark)
{
    const bool convention = mark == PaneCodec::convention(m_format);
    if (document()->characterAt(position) != QChar(PaneCodec::kParagraph)) {
        // A U+2028 or U+240D, which keeps its mark in its own format.
        if (convention)
            return;
        QTextCharFormat format;
        format.setProperty(kCharMark, int(mark));
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
        return;
    }
    // The U+2029 at `position` ends one block; its mark is kept with the
    // block that it starts.
    QTextBlockFormat format;
    if (!convention)
        format.setProperty(kBreakBefore, int(mark));
    cursor.setPosition(position + 1);
    cursor.setBlockFormat(format);
}

bool TextPane::canHold(QStringView text)
{
    const qsizetype bad = PaneCodec::firstUnencodable(text, m_format.encoding);
    if (bad < 0)
        return true;
    const bool pair = QChar::isHighSurrogate(text[bad].unicode()) && bad + 1 < text.size() &&
                      QChar::isLowSurrogate(text[bad + 1].unicode());
    const QString character = text.mid(bad, pair ? 2 : 1).toString();
    const char32_t codePoint = character.toUcs4().value(0);
    Prompts::current().message(
        QStringLiteral("\"%1\" (U+%2) cannot be written in %3, the encoding of this pane's "
                       "text. Nothing was inserted.")
            .arg(character,
                 QStringLiteral("%1").arg(uint(codePoint), 4, 16, QLatin1Char('0')).toUpper(),
                 encodingName(m_format.encoding)));
    return false;
}

bool TextPane::insertAsPasted(const QString& text)
{
    if (text.isEmpty())
        return true;
    if (!canHold(text))
        return false;
    // A text too large to show is refused before the pane changes.
    if (!CommandGuard::run(QStringLiteral("Paste"),
                           [&] { PaneCapacity::check(text, m_wrapsLines); }))
        return false;
    PaneCodec::Marks marks;
    QString paneText = PaneCodec::fromClipboardText(text, marks);
    if (m_wrapsLines && PaneCodec::hasLongLine(paneText))
        wrapLongLinesAnywhere();
    PaneCodec::toBlocks(paneText, marks, m_wrapsLines);
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const int start = cursor.position();
    // Every block that the text brings copies the format of the block it
    // goes into; that may be the mark of a break of the other kind, or of a
    // cut.
    const bool inherits = cursor.blockFormat().hasProperty(kBreakBefore);
    // Not the format of the character before, which may be a mark.
    cursor.insertText(paneText, QTextCharFormat());
    QTextCursor marker(document());
    const PaneCodec::Mark convention = PaneCodec::convention(m_format);
    for (const PaneCodec::Marked& marked : marks) {
        if (inherits || marked.mark != convention)
            applyMark(marker, start + int(marked.position), marked.mark);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    countLines(document()->findBlock(start), cursor.block().next());
    ensureCursorVisible();
    return true;
}

void TextPane::insertLineBreak()
{
    // A new block with no mark: a break of the pane's convention. Where a
    // long line is cut, the cut becomes the break, so that no empty line
    // shows.
    QTextCursor cursor = textCursor();
    QTextBlock cutAfter;
    if (!cursor.hasSelection() && cursor.atBlockStart() && isCut(cursor.block()))
        cutAfter = cursor.block();
    else if (!cursor.hasSelection() && cursor.atBlockEnd() && isCut(cursor.block().next()))
        cutAfter = cursor.block().next();
    if (cutAfter.isValid()) {
        QTextCursor(cutAfter).setBlockFormat(QTextBlockFormat());
        cursor.setPosition(cutAfter.position());
    } else
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TextPane::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        !(modifiers & (Qt::AltModifier | Qt::MetaModifier))) {
        // Enter, with or without Shift or Ctrl and on the keypad too, starts a
        // new line; it never presses the window's default button.
        insertLineBreak();
        return;
    }
    if (key == Qt::Key_F10 && modifiers == Qt::ShiftModifier) {
        // The edit menu opens at the caret, as it does for the Menu key.
        popUpEditMenu(viewport()->mapToGlobal(cursorRect().center()));
        return;
    }
    if (key == Qt::Key_Tab && modifiers == Qt::ControlModifier) {
        // Tab moves the focus on; Ctrl+Tab types a tab.
        insertAsPasted(QStringLiteral("\t"));
        return;
    }
    const QString text = event->text();
    const bool types = !text.isEmpty() && text.front().isPrint() &&
                       !(modifiers & (Qt::ControlModifier | Qt::MetaModifier));
    if (types) {
        if (!canHold(text))
            return;
        // A typed U+240D is the character itself, not a lone CR; so is a
        // U+2028, which the pane would take for a line break.
        if (PaneCodec::needsMarks(text)) {
            insertAsPasted(text);
            return;
        }
    }
    // A cut of a long line stands for nothing: Backspace and Delete take the
    // character beyond it, and a step of the cursor goes over it with the
    // next character, as over a place where the line wraps.
    const bool back = event->matches(QKeySequence::MoveToPreviousChar) ||
                      event->matches(QKeySequence::SelectPreviousChar);
    const bool forward = event->matches(QKeySequence::MoveToNextChar) ||
                         event->matches(QKeySequence::SelectNextChar);
    const bool selects = event->matches(QKeySequence::SelectPreviousChar) ||
                         event->matches(QKeySequence::SelectNextChar);
    const bool deletes = (key == Qt::Key_Backspace && !(modifiers & ~Qt::ShiftModifier)) ||
                         event->matches(QKeySequence::Delete);
    if ((deletes || selects || back || forward) && (selects || !textCursor().hasSelection())) {
        const bool before = key == Qt::Key_Backspace || back;
        QTextCursor cursor = textCursor();
        const int from = cursor.position();
        if (deletes) {
            stepOverCuts(cursor, before, QTextCursor::MoveAnchor);
            setTextCursor(cursor);
        }
        QPlainTextEdit::keyPressEvent(event);
        if (!deletes) {
            cursor = textCursor();
            // Only a single step that went over a cut goes on.
            if (std::abs(cursor.position() - from) == 1 &&
                isCutAt(std::min(from, cursor.position()))) {
                stepOverCuts(cursor, cursor.position() < from,
                             selects ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
                cursor.movePosition(cursor.position() < from ? QTextCursor::PreviousCharacter
                                                             : QTextCursor::NextCharacter,
                                    selects ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
                setTextCursor(cursor);
            }
        }
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

bool TextPane::isCutAt(int position) const
{
    const QTextBlock block = document()->findBlock(position + 1);
    return block.position() == position + 1 && isCut(block);
}

void TextPane::stepOverCuts(QTextCursor& cursor, bool backwards, QTextCursor::MoveMode mode) const
{
    if (backwards) {
        while (cursor.position() > 0 && isCutAt(cursor.position() - 1))
            cursor.movePosition(QTextCursor::PreviousCharacter, mode);
    } else {
        while (isCutAt(cursor.position()))
            cursor.movePosition(QTextCursor::NextCharacter, mode);
    }
}

void TextPane::inputMethodEvent(QInputMethodEvent* event)
{
    // The composition goes on; only the refused text is not committed.
    const QString commit = event->commitString();
    if (!commit.isEmpty() && !canHold(commit)) {
        event->setCommitString(QString());
    } else if (PaneCodec::needsMarks(commit)) {
        insertAsPasted(commit); // a U+240D is the character itself, not a lone CR
        event->setCommitString(QString());
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void TextPane::mousePressEvent(QMouseEvent* event)
{
    // The panes have no drag-and-drop editing: a press inside the selection
    // starts a new selection, as anywhere else, instead of dragging the text.
    if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ShiftModifier)) {
        QTextCursor cursor = textCursor();
        if (cursor.hasSelection()) {
            cursor.clearSelection();
            setTextCursor(cursor);
        }
    }
    const QPoint at = event->position().toPoint();
    const bool tripleClick =
        event->button() == Qt::LeftButton && m_sinceDoubleClick.isValid() &&
        !m_sinceDoubleClick.hasExpired(QApplication::doubleClickInterval()) &&
        (at - m_doubleClickAt).manhattanLength() < QApplication::startDragDistance();
    m_sinceDoubleClick.invalidate();
    // Before Qt selects the block, which holds many lines or part of a cut
    // one, and scrolls to its end.
    const int clicked = tripleClick ? cursorForPosition(at).position() : -1;
    QPlainTextEdit::mousePressEvent(event);
    if (tripleClick)
        selectLineAt(clicked);
}

void TextPane::mouseDoubleClickEvent(QMouseEvent* event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    m_sinceDoubleClick.start();
    m_doubleClickAt = event->position().toPoint();
}

void TextPane::selectLineAt(int position)
{
    // A line ends at a U+2028 within a block, or at the end of a block that
    // the next one does not go on from a cut.
    const QChar separator(PaneCodec::kLineSeparator);
    QTextBlock block = document()->findBlock(position);
    int start = -1;
    for (int before = position - block.position(); start < 0;) {
        const int found = before > 0 ? int(block.text().lastIndexOf(separator, before - 1)) : -1;
        if (found >= 0)
            start = block.position() + found + 1;
        else if (isCut(block) && block.previous().isValid()) {
            block = block.previous();
            before = block.length() - 1;
        } else
            start = block.position();
    }
    block = document()->findBlock(position);
    int end = -1;
    for (int from = position - block.position(); end < 0;) {
        const int found = int(block.text().indexOf(separator, from));
        if (found >= 0)
            end = block.position() + found + 1;
        else if (isCut(block.next())) {
            block = block.next();
            from = 0;
        } else
            end = std::min(block.position() + block.length(), document()->characterCount() - 1);
    }
    QTextCursor cursor = textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void TextPane::contextMenuEvent(QContextMenuEvent* event)
{
    popUpEditMenu(event->globalPos());
}

void TextPane::popUpEditMenu(const QPoint& globalPos)
{
    // The items of an edit control's own menu, each enabled by this pane's
    // state when the menu opens. Undo is the Edit menu's one-level undo, so
    // there is no Redo.
    const bool editable = !isReadOnly();
    const bool selection = textCursor().hasSelection();
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto add = [this, menu](const char* text, const char* name, bool enabled,
                                  void (TextPane::*command)()) {
        QAction* item = menu->addAction(QString::fromLatin1(text));
        item->setEnabled(enabled);
        connect(item, &QAction::triggered, this, [this, name, command] {
            CommandGuard::run(QString::fromLatin1(name), [this, command] { (this->*command)(); });
        });
    };
    add("&Undo", "Undo", editable && canUndoLastEdit(), &TextPane::undoLastEdit);
    menu->addSeparator();
    add("Cu&t", "Cut", editable && selection, &TextPane::cut);
    add("&Copy", "Copy", selection, &TextPane::copy);
    add("&Paste", "Paste", editable && canPaste(), &TextPane::paste);
    add("&Delete", "Delete", editable && selection, &TextPane::deleteSelection);
    menu->addSeparator();
    add("Select &All", "Select All", !document()->isEmpty(), &TextPane::selectAll);
    menu->popup(globalPos);
}

bool TextPane::viewportEvent(QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool dropping =
        type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop;
    if (dropping && carriesFiles(static_cast<QDropEvent*>(event))) {
        event->ignore();
        return true;
    }
    return QPlainTextEdit::viewportEvent(event);
}

bool TextPane::canInsertFromMimeData(const QMimeData* source) const
{
    return source && (source->hasFormat(QLatin1String(kExactTextFormat)) || source->hasText());
}

void TextPane::insertFromMimeData(const QMimeData* source)
{
    // A copy from a pane keeps each line break's kind; text from elsewhere
    // keeps its breaks as they come.
    if (!source)
        return;
    if (source->hasFormat(QLatin1String(kExactTextFormat))) {
        // A byte-order mark at the start is part of the text.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        insertAsPasted(utf8.decode(source->data(QLatin1String(kExactTextFormat))));
    } else if (source->hasText())
        insertAsPasted(source->text());
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
            if (block.length() >= PaneCapacity::kLongLine) {
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

void TextPane::countLines(QTextBlock block, const QTextBlock& end)
{
    // The pane counts a block that it has not laid out yet (one it has not
    // shown) as one line, and the scroll bar goes by that count. A block
    // holds many lines, or a long line's part in a wrapping pane, so it is
    // counted as the lines it will about take when shown.
    const qreal width = viewport()->width() - 2 * document()->documentMargin();
    const qsizetype perLine =
        m_wrapsLines ? std::max<qsizetype>(1, qsizetype(width / fontMetrics().averageCharWidth()))
                     : 0;
    for (; block.isValid() && block != end; block = block.next()) {
        if (block.layout()->lineCount() > 0)
            continue; // laid out, and counted right
        const QString text = block.text();
        int lines = 0;
        for (qsizetype start = 0;;) {
            const qsizetype found = text.indexOf(QChar(PaneCodec::kLineSeparator), start);
            const qsizetype length = (found < 0 ? text.size() : found) - start;
            lines += perLine ? int(std::max<qsizetype>(1, (length + perLine - 1) / perLine)) : 1;
            if (found < 0)
                break;
            start = found + 1;
        }
        block.setLineCount(lines);
    }
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
}

void TextPane::resizeEvent(QResizeEvent* event)
{
    const bool relaid = m_wrapsLines && event->oldSize().width() != event->size().width();
    QPlainTextEdit::resizeEvent(event);
    // A new width lays the whole text out again, and a block is then counted
    // as one line until it is shown.
    if (relaid && document()->blockCount() > 1)
        countLines(document()->firstBlock(), QTextBlock());
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

bool TextPane::canUndoLastEdit() const
{
    return m_undoneByMenu || document()->isUndoAvailable();
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
    // plain-text form would make it a space), with each lone CR written as
    // itself. Other programs get LF for every line break; the panes get each
    // break as it stands. Qt offers both on the clipboard and on the X11
    // primary selection.
    const QTextCursor cursor = textCursor();
    const QString selected = cursor.selectedText();
    const PaneCodec::Marks marks = marksIn(cursor.selectionStart(), cursor.selectionEnd());
    auto* mime = new QMimeData;
    mime->setText(PaneCodec::toClipboardText(selected, m_format, marks, PaneCodec::Breaks::Lf));
    mime->setData(QLatin1String(kExactTextFormat),
                  PaneCodec::toClipboardText(selected, m_format, marks).toUtf8());
    return mime;
}

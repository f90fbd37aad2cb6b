#pragma once

#include "app/framework/PaneCodec.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <string>
#include <string_view>

class QTextBlock;

// One of the main window's two editable panes. Its text goes in and out as
// bytes, and reading it gives back exactly the bytes that were put in.
//
// The pane keeps the encoding and line-break convention of the last text that
// setBytes() gave it, through every edit. Each line break keeps its own kind
// (CR LF or LF), and a break typed with Enter takes the convention. An edit
// that would bring in a character the pane's encoding has no bytes for is
// refused with a message, and so is a text that would not fit in memory.
//
// The text is held in blocks of some thousand characters (PaneCodec::toBlocks),
// so that an edit lays out one of them, not the whole text; the pane that
// wraps cuts a long line into such blocks, and shows each cut as a line end.
class TextPane : public QPlainTextEdit
{
    Q_OBJECT

public:
    TextPane(int controlId, bool wrap, QWidget* parent);

    // The clipboard format of text copied from a pane: each line break of
    // the kind it was, and each lone CR as itself. Beside it the clipboard
    // holds the text with LF breaks, as other programs expect; a pane pastes
    // this format when it is there.
    static constexpr char kExactTextFormat[] = "application/x-formtidy-pane-text";

    int controlId() const { return m_controlId; }

    std::string bytes() const;
    // Throws std::runtime_error with a message for the user, leaving the
    // pane as it was, when the text will not fit into memory.
    void setBytes(std::string_view bytes);

    const PaneCodec::Format& format() const { return m_format; }

    // Reverts the most recent edit; when that was itself undone, restores it,
    // so that undoing twice leaves the text as it was.
    void undoLastEdit();
    bool canUndoLastEdit() const;
    // Deletes the selection without touching the clipboard.
    void deleteSelection();
    // Puts `text` in place of the selection, as a paste does: its line breaks
    // and lone CRs keep their kind. Returns false, having told the user why
    // and changed nothing, when the pane's encoding cannot hold the text.
    bool insertAsPasted(const QString& text);

signals:
    // The keyboard focus came to, or left, this pane. A menu or the menu bar
    // taking the keyboard for a while does not count as leaving.
    void focusGained();
    void focusLost();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Refuses a drop that carries files.
    bool viewportEvent(QEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void keepLongLinesFast();
    void wrapLongLinesAnywhere();

    // The marks of the characters from `from` up to `to`, counted from `from`.
    PaneCodec::Marks marksIn(int from, int to) const;
    // Gives the character at `position` what `mark` says it stands for.
    void applyMark(QTextCursor& cursor, int position, PaneCodec::Mark mark);
    // Selects the line at `position` with the break that ends it, as a
    // triple click does.
    void selectLineAt(int position);
    // Whether the character at `position` is a cut of a long line.
    bool isCutAt(int position) const;
    // Moves `cursor` over the cuts just before it or just after it.
    void stepOverCuts(QTextCursor& cursor, bool backwards, QTextCursor::MoveMode mode) const;
    // Gives the blocks from `block` up to `end` the number of lines they will
    // take on the screen.
    void countLines(QTextBlock block, const QTextBlock& end);
    // Whether the pane's encoding can hold `text`; tells the user when not.
    bool canHold(QStringView text);
    void insertLineBreak();
    // The pane's own menu of edit commands, at `globalPos`.
    void popUpEditMenu(const QPoint& globalPos);

    int m_controlId;
    bool m_wrapsLines;
    PaneCodec::Format m_format;
    bool m_undoneByMenu = false;      // the last edit was undone by undoLastEdit()
    QElapsedTimer m_sinceDoubleClick; // a press soon after is a triple click
    QPoint m_doubleClickAt;
};

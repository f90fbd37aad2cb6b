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

    // Reverts the most recent edit; when that was itself undone, restores it,
    // so that undoing twice leaves the text as it was.
    void undoLastEdit();
    // Deletes the selection without touching the clipboard.
    void deleteSelection();

signals:
    // The keyboard focus came to, or left, this pane. A menu or the menu bar
    // taking the keyboard for a while does not count as leaving.
    void focusGained();
    void focusLost();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    // Lines at least this long, in characters, keep their layout between edits.
    static constexpr int kLongLine = 4096;
    void keepLongLinesFast();
    void wrapLongLinesAnywhere();
    static bool hasLongLine(QStringView paneText);

    int m_controlId;
    bool m_wrapsLines;
    PaneCodec::Format m_format;
    bool m_undoneByMenu = false; // the last edit was undone by undoLastEdit()
};

#pragma once

#include "files/ScopedOverride.h"

#include <QString>

class QWidget;

// The modal questions the commands ask the user: message boxes and the file
// dialogs. Tests put in their own answers through Prompts::Override.
class Prompts
{
public:
    virtual ~Prompts() = default;

    // A message box with an OK button only and the application's name as caption.
    virtual void message(const QString& text);
    // The source-file dialog. An empty result means the user cancelled.
    virtual QString openFileName();
    // The result-file dialog, default suffix "txt". Empty when cancelled.
    virtual QString saveFileName();

    // The prompts in force: the innermost override, or the real dialogs.
    static Prompts& current();

    // Makes `prompts` current for as long as it lives.
    class Override : ScopedOverride<Prompts*>
    {
    public:
        explicit Override(Prompts& prompts);
    };

    // The filters offered by the two file dialogs, in Qt's syntax: each is
    // the description the user reads, then the patterns in parentheses.
    // The dialogs show the descriptions alone.
    static QStringList openFilters();
    static QStringList saveFilters();

    // The window that a dialog opened now belongs to: the active modal
    // window, or else the active window.
    static QWidget* dialogParent();
};

#pragma once

#include <QString>

class QWidget;

// The modal questions the commands ask the user: message boxes and the file
// dialogs. Tests install their own answers through install().
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

    static Prompts& current();
    // Makes `prompts` current until it is replaced; nullptr restores the real ones.
    static void install(Prompts* prompts);

    // The filters offered by the two file dialogs, in Qt's syntax: each is
    // the description the user reads, then the patterns in parentheses.
    // The dialogs show the descriptions alone.
    static QStringList openFilters();
    static QStringList saveFilters();

    // The window that a dialog opened now belongs to: the active modal
    // window, or else the active window.
    static QWidget* dialogParent();
};

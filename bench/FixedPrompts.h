#pragma once

#include "app/Prompts.h"

// Answers every file dialog with fixed paths and swallows the messages, so
// that the commands run without anyone at the window.
class FixedPrompts : public Prompts
{
public:
    FixedPrompts() { Prompts::install(this); }
    ~FixedPrompts() override { Prompts::install(nullptr); }

    void message(const QString&) override {}
    QString openFileName() override { return openPath; }
    QString saveFileName() override { return savePath; }

    QString openPath;
    QString savePath;
};

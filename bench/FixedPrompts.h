#pragma once

#include "app/framework/Prompts.h"

// Answers every file dialog with fixed paths and swallows the messages, so
// that the commands run without anyone at the window.
class FixedPrompts : public Prompts
{
public:
    FixedPrompts() : m_override(*this) {}

    void message(const QString&) override {}
    QString openFileName() override { return openPath; }
    QString saveFileName() override { return savePath; }

    QString openPath;
    QString savePath;

private:
    Prompts::Override m_override;
};

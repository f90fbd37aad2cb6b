#pragma once

#include "app/framework/Prompts.h"

#include <QStringList>

// Answers the commands' dialogs without showing any, and records the messages,
// for as long as it lives; then the prompts that were in force before answer again.
class FakePrompts : public Prompts
{
public:
    FakePrompts() : m_override(*this) {}

    void message(const QString& text) override { messages << text; }
    QString openFileName() override { return takeFirst(openAnswers); }
    QString saveFileName() override { return takeFirst(saveAnswers); }

    QStringList messages;
    QStringList openAnswers; // an empty answer cancels
    QStringList saveAnswers;
    int dialogsShown = 0;

private:
    QString takeFirst(QStringList& answers);

    Prompts::Override m_override;
};

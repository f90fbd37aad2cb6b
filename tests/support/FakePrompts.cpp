#include "FakePrompts.h"

QString FakePrompts::takeFirst(QStringList& answers)
{
    ++dialogsShown;
    return answers.isEmpty() ? QString() : answers.takeFirst();
}

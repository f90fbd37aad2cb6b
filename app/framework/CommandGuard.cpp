#include "CommandGuard.h"

#include "Prompts.h"

#include <exception>
#include <new>

bool CommandGuard::run(const QString& commandName, const std::function<void()>& command)
{
    try {
        command();
        return true;
    } catch (...) {
        reportFailure(commandName);
        return false;
    }
}

void CommandGuard::reportFailure(const QString& commandName) noexcept
{
    try {
        QString reason;
        try {
            throw;
        } catch (const std::bad_alloc&) {
            reason = QStringLiteral("There is not enough memory.");
        } catch (const std::exception& e) {
            reason = QString::fromLocal8Bit(e.what());
        } catch (...) {
            reason = QStringLiteral("An unknown error occurred.");
        }
        Prompts::current().message(report(commandName, reason));
    } catch (...) {
        // Nothing more can be told; the window goes on all the same.
    }
}

QString CommandGuard::report(const QString& commandName, const QString& reason)
{
    QString name = commandName;
    name.remove(QLatin1Char('&'));
    return QStringLiteral("%1 failed.\n\n%2").arg(name, reason);
}

#pragma once

#include <QString>

#include <functional>

// Every command runs through here. A command that throws is ended, the user is
// told what failed and why, and the window goes on: no exception ever reaches
// Qt's event loop.
class CommandGuard
{
public:
    // Runs `command`; returns false when it failed and was reported.
    static bool run(const QString& commandName, const std::function<void()>& command);

    // Reports the exception being handled as the failure of `commandName`.
    // Call only inside a catch block. Never throws.
    static void reportFailure(const QString& commandName) noexcept;

    // The text of the report for a command that failed with `reason`.
    static QString report(const QString& commandName, const QString& reason);
};

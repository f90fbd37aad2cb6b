#include "TestUser.h"

#include <QProcess>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace {
int runProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}
} // namespace

TestUser::TestUser()
{
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("needs root to make an ordinary user with useradd");
        return;
    }
    m_name = QStringLiteral("fttest%1").arg(::getpid());
    // Tests running side by side may hold the lock on the user database.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (runProgram("useradd", {"-M", "-N", "-s", "/usr/sbin/nologin", m_name}) == 0)
            break;
        QThread::msleep(100);
    }
    const QByteArray name = m_name.toLocal8Bit();
    if (const passwd* pw = ::getpwnam(name.constData())) {
        m_uid = pw->pw_uid;
        m_gid = pw->pw_gid;
    } else {
        m_skipReason = QStringLiteral("useradd did not make a user");
    }
}

TestUser::~TestUser()
{
    if (!available())
        return;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (runProgram("userdel", {m_name}) == 0)
            break;
        QThread::msleep(100);
    }
}

QStringList TestUser::setprivArguments(const QString& program, const QStringList& args) const
{
    return QStringList{"--reuid=" + QString::number(m_uid), "--regid=" + QString::number(m_gid),
                       "--clear-groups", "--", program} +
           args;
}

int TestUser::run(const QString& program, const QStringList& args) const
{
    return runProgram("setpriv", setprivArguments(program, args));
}

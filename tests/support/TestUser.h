#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// An ordinary user made for one test with useradd, and removed again. Only
// root can make one; elsewhere available() is false and skipReason() says why.
class TestUser
{
public:
    TestUser();
    ~TestUser();
    TestUser(const TestUser&) = delete;
    TestUser& operator=(const TestUser&) = delete;

    bool available() const { return m_uid != 0; }
    const QString& skipReason() const { return m_skipReason; }
    uid_t uid() const { return m_uid; }
    gid_t gid() const { return m_gid; }

    // The arguments of setpriv that run `program` as this user.
    QStringList setprivArguments(const QString& program, const QStringList& args) const;

    // Runs `program` as this user and returns its exit code (-1 when it did not finish).
    int run(const QString& program, const QStringList& args) const;

private:
    QString m_name;
    QString m_skipReason;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

#pragma once

#include <QByteArray>
#include <QString>

// Sets an environment variable for as long as it lives.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QString& value) : m_name(name), m_saved(qgetenv(name))
    {
        qputenv(name, value.toLocal8Bit());
    }
    ~ScopedEnv()
    {
        if (m_saved.isNull())
            qunsetenv(m_name);
        else
            qputenv(m_name, m_saved);
    }

private:
    const char* m_name;
    QByteArray m_saved;
};

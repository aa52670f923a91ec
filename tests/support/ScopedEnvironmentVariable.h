#pragma once

#include <QByteArray>

// Sets (or with a null value unsets) one environment variable for the
// lifetime of the object, then puts back what was there.
class ScopedEnvironmentVariable
{
public:
    ScopedEnvironmentVariable(const char* name, const QByteArray& value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    QByteArray m_name;
    bool m_wasSet;
    QByteArray m_previous;
};

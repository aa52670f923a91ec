#include "support/ScopedEnvironmentVariable.h"

#include <QtGlobal>

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char* name, const QByteArray& value)
    : m_name(name)
    , m_wasSet(qEnvironmentVariableIsSet(name))
    , m_previous(qgetenv(name))
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable()
{
    if (m_wasSet)
        qputenv(m_name.constData(), m_previous);
    else
        qunsetenv(m_name.constData());
}

#include "support/ScriptedHostNames.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

#include <algorithm>

ScriptedHostNames::~ScriptedHostNames()
{
    // A look-up still at the gate must not outlive the resolver it waits in.
    open();
}

void ScriptedHostNames::answer(const QString& address, const QStringList& names)
{
    QMutexLocker lock(&m_mutex);
    m_names.insert(address, names);
}

void ScriptedHostNames::close()
{
    QMutexLocker lock(&m_mutex);
    m_closed = true;
}

void ScriptedHostNames::open()
{
    QMutexLocker lock(&m_mutex);
    m_closed = false;
    m_changed.wakeAll();
}

bool ScriptedHostNames::waitForAsked(int count, int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    const QDeadlineTimer deadline(milliseconds);
    while (m_asked.size() < count) {
        if (!m_changed.wait(&m_mutex, deadline))
            return m_asked.size() >= count;
    }
    return true;
}

QStringList ScriptedHostNames::asked() const
{
    QMutexLocker lock(&m_mutex);
    return m_asked;
}

bool ScriptedHostNames::waitForRunning(int count, int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    const QDeadlineTimer deadline(milliseconds);
    while (m_running < count) {
        if (!m_changed.wait(&m_mutex, deadline))
            return m_running >= count;
    }
    return true;
}

int ScriptedHostNames::mostRunning() const
{
    QMutexLocker lock(&m_mutex);
    return m_mostRunning;
}

QStringList ScriptedHostNames::namesOfAddress(const QString& address)
{
    QMutexLocker lock(&m_mutex);
    m_asked.append(address);
    m_mostRunning = std::max(m_mostRunning, ++m_running);
    m_changed.wakeAll();
    while (m_closed)
        m_changed.wait(&m_mutex);
    --m_running;
    m_changed.wakeAll();
    return m_names.value(address);
}

ScopedHostNames::ScopedHostNames(HostNames& hostNames)
    : m_previous(&HostNames::shared())
{
    HostNames::setShared(&hostNames);
}

ScopedHostNames::~ScopedHostNames()
{
    HostNames::setShared(m_previous);
}

#include "support/ScriptedHostResolver.h"

#include <QDeadlineTimer>

ScriptedHostResolver::ScriptedHostResolver()
    : m_previous(&HostResolver::shared())
{
    HostResolver::setShared(this);
}

ScriptedHostResolver::~ScriptedHostResolver()
{
    releaseAll();
    HostResolver::setShared(m_previous);
}

void ScriptedHostResolver::releaseAll()
{
    QMutexLocker lock(&m_mutex);
    m_held.clear();
    m_changed.wakeAll();
}

void ScriptedHostResolver::answer(const QString& name, const QStringList& addresses)
{
    QMutexLocker lock(&m_mutex);
    m_answers.insert(name, addresses);
}

void ScriptedHostResolver::hold(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    m_held.insert(name);
}

void ScriptedHostResolver::release(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    m_held.remove(name);
    m_changed.wakeAll();
}

bool ScriptedHostResolver::waitUntilAsked(const QString& name, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    QMutexLocker lock(&m_mutex);
    while (!m_asked.contains(name))
        if (!m_changed.wait(&m_mutex, deadline))
            return m_asked.contains(name);
    return true;
}

QStringList ScriptedHostResolver::askedNames() const
{
    QMutexLocker lock(&m_mutex);
    return m_asked;
}

QStringList ScriptedHostResolver::addressesOfHost(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    m_asked.append(name);
    m_changed.wakeAll();
    while (m_held.contains(name))
        m_changed.wait(&m_mutex);
    return m_answers.value(name);
}

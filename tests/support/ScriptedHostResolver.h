#pragma once

#include "platform/HostResolver.h"

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QWaitCondition>

// A HostResolver that asks no resolver: names answer from a table, and a name
// with no answer has no address. A look-up of a held name waits until the
// test releases it, so a test can finish other work while a look-up is under
// way. Installed as HostResolver::shared() for its lifetime. Whoever owns the
// pool the look-ups run on releases every name before waiting for it (a held
// look-up would wait for ever). Safe from worker threads.
class ScriptedHostResolver : public HostResolver
{
public:
    ScriptedHostResolver();
    ~ScriptedHostResolver() override;
    ScriptedHostResolver(const ScriptedHostResolver&) = delete;
    ScriptedHostResolver& operator=(const ScriptedHostResolver&) = delete;

    void answer(const QString& name, const QStringList& addresses);
    void hold(const QString& name);
    void release(const QString& name);
    void releaseAll();
    // Waits until a look-up of `name` has begun (it may be held).
    bool waitUntilAsked(const QString& name, int milliseconds = 5000);
    // Every name asked, in order.
    QStringList askedNames() const;

    QStringList addressesOfHost(const QString& name) override;

private:
    HostResolver* m_previous;
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    QHash<QString, QStringList> m_answers;
    QSet<QString> m_held;
    QStringList m_asked;
};

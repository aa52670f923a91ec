#pragma once

#include "platform/HostNames.h"

#include <QHash>
#include <QMutex>
#include <QWaitCondition>

// A resolver that asks no one: tests register the names of addresses, and may
// hold every look-up at a gate until they open it, to make a result arrive
// late. Unregistered addresses have no name.
class ScriptedHostNames : public HostNames
{
public:
    ~ScriptedHostNames() override;

    void answer(const QString& address, const QStringList& names);
    // Look-ups wait in namesOfAddress() until open().
    void close();
    void open();
    // Waits until `count` look-ups have been asked in all.
    bool waitForAsked(int count, int milliseconds = 5000);
    QStringList asked() const;
    // Waits until `count` look-ups wait at the gate at once.
    bool waitForRunning(int count, int milliseconds = 5000);
    // The most look-ups that were under way at once.
    int mostRunning() const;

    QStringList namesOfAddress(const QString& address) override;

private:
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    QHash<QString, QStringList> m_names;
    QStringList m_asked;
    bool m_closed = false;
    int m_running = 0;
    int m_mostRunning = 0;
};

// Puts a resolver in place as HostNames::shared() for one scope.
class ScopedHostNames
{
public:
    explicit ScopedHostNames(HostNames& hostNames);
    ~ScopedHostNames();
    ScopedHostNames(const ScopedHostNames&) = delete;
    ScopedHostNames& operator=(const ScopedHostNames&) = delete;

private:
    HostNames* m_previous;
};

#pragma once

#include <QString>
#include <QStringList>

// Looks host names up in the system's resolver. Blocks the calling thread, so
// it is asked from a worker, never from the main thread.
class HostResolver
{
public:
    virtual ~HostResolver() = default;

    // Every IPv4 and IPv6 address of `name` as text, in the order the system
    // gives them, each once; empty when the name has none or the look-up
    // fails. Safe on any thread.
    virtual QStringList addressesOfHost(const QString& name);

    // The resolver the agent uses; tests put a scripted one in place so that
    // no test asks a real resolver.
    static HostResolver& shared();
    // nullptr restores the system's resolver. The caller keeps ownership and
    // keeps it alive until no look-up that may use it runs.
    static void setShared(HostResolver* resolver);
};

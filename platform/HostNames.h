#pragma once

#include <QString>
#include <QStringList>

// Names of remote hosts from the system's resolver. Blocks the calling
// thread, so it is asked only from look-up queues; tests put a scripted one in
// place so that no test ever waits on a resolver.
class HostNames
{
public:
    virtual ~HostNames() = default;

    // The names the resolver gives for an address (reverse look-up), the
    // canonical one first; empty when it knows none or the text is no
    // address.
    virtual QStringList namesOfAddress(const QString& address);

    static HostNames& shared();
    // nullptr restores the system resolver. The caller keeps ownership.
    static void setShared(HostNames* hostNames);
};

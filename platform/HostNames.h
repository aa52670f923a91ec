#pragma once

#include <QString>
#include <QStringList>

// Reverse look-ups: the host names the system's resolver gives for an address.
// Blocks the calling thread; call it off the main thread. Tests put a fake in
// place so that no test asks a real resolver.
class HostNames
{
public:
    virtual ~HostNames() = default;

    // The names of a numeric IPv4 or IPv6 address, the canonical one first;
    // none when the text is no address or the resolver knows no name.
    virtual QStringList namesForAddress(const QString& address);

    static HostNames& shared();
    // nullptr restores the system resolver. The caller keeps ownership.
    static void setShared(HostNames* hostNames);
};

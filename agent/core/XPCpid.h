#pragma once

#include <QString>

// The service manager's description of a process, in which the alerts look
// for the application an XPC service works for. Stateless.
class XPCpid
{
public:
    QString xpcpid(quint32 pid) const;
};

#pragma once

#include "platform/ProcessInfo.h"

#include <sys/types.h>

// How the agent names the process of a request. One shared inspector, so that
// tests can stand in for processes they have no rights to make.
class ProcessInspector
{
public:
    virtual ~ProcessInspector() = default;
    virtual ProcessInfo::Name name(pid_t pid) const = 0;

    static const ProcessInspector& shared();
    // nullptr restores /proc. The caller keeps ownership.
    static void setShared(const ProcessInspector* inspector);
};

#include "support/FakeProcessInspector.h"

FakeProcessInspector::FakeProcessInspector()
{
    ProcessInspector::setShared(this);
}

FakeProcessInspector::~FakeProcessInspector()
{
    ProcessInspector::setShared(nullptr);
}

void FakeProcessInspector::pretend(pid_t pid, const QString& path, bool verified)
{
    m_names.insert(pid, {path, verified});
}

ProcessInfo::Name FakeProcessInspector::name(pid_t pid) const
{
    return m_names.value(pid, ProcessInfo::nameForPid(pid));
}

#pragma once

#include "platform/ProcessInspector.h"

#include <QHash>

// Names the processes a test chose as it says and every other one from /proc;
// the agent's shared inspector for the fake's lifetime.
class FakeProcessInspector : public ProcessInspector
{
public:
    FakeProcessInspector();
    ~FakeProcessInspector() override;
    FakeProcessInspector(const FakeProcessInspector&) = delete;
    FakeProcessInspector& operator=(const FakeProcessInspector&) = delete;

    void pretend(pid_t pid, const QString& path, bool verified);
    ProcessInfo::Name name(pid_t pid) const override;

private:
    QHash<pid_t, ProcessInfo::Name> m_names;
};

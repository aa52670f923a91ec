#include "platform/ProcessInspector.h"

#include <atomic>

namespace {

class ProcInspector : public ProcessInspector
{
public:
    ProcessInfo::Name name(pid_t pid) const override { return ProcessInfo::nameForPid(pid); }
};

std::atomic<const ProcessInspector*> g_sharedInspector{nullptr};

} // namespace

const ProcessInspector& ProcessInspector::shared()
{
    static const ProcInspector proc;
    const ProcessInspector* inspector = g_sharedInspector.load();
    return inspector ? *inspector : proc;
}

void ProcessInspector::setShared(const ProcessInspector* inspector)
{
    g_sharedInspector.store(inspector);
}

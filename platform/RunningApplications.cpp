#include "platform/RunningApplications.h"

QList<RunningApplication> WorkspaceRunningApplications::withBundleIdentifier(const QString& bundleIdentifier)
{
    return Workspace::runningApplicationsWithBundleIdentifier(bundleIdentifier);
}

void WorkspaceRunningApplications::terminate(const RunningApplication& application)
{
    Workspace::terminate(application.pid);
}

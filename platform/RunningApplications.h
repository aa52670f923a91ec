#pragma once

#include "platform/Workspace.h"

#include <QList>
#include <QString>

// The running applications as a program that watches another one sees them:
// found by bundle identifier, and asked to terminate.
class RunningApplications
{
public:
    virtual ~RunningApplications() = default;

    // Those whose bundle identifier is exactly `bundleIdentifier`.
    virtual QList<RunningApplication> withBundleIdentifier(const QString& bundleIdentifier) = 0;
    // A normal terminate request; whether it is heeded is the application's
    // affair.
    virtual void terminate(const RunningApplication& application) = 0;
};

// The processes of our PALISOR_ROOT, as Workspace finds them; terminating
// sends SIGTERM.
class WorkspaceRunningApplications : public RunningApplications
{
public:
    QList<RunningApplication> withBundleIdentifier(const QString& bundleIdentifier) override;
    void terminate(const RunningApplication& application) override;
};

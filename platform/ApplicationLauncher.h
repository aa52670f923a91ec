#pragma once

#include <QString>
#include <QVariantMap>

// Launches an application bundle.
class ApplicationLauncher
{
public:
    virtual ~ApplicationLauncher() = default;

    // True only when the application's process has really started.
    // `options` and `configuration` are the launch request as the caller
    // words it; a launcher takes from them what it can honour.
    virtual bool launchApplication(const QString& bundlePath, quint32 options,
                                   const QVariantMap& configuration) = 0;
};

// Starts Contents/MacOS/<CFBundleExecutable> of the bundle as a detached
// process that outlives the caller. Every launch here is asynchronous and
// takes no configuration, so both are accepted and left aside. A bundle that
// is missing, has no executable or one that cannot be run fails at once.
class WorkspaceApplicationLauncher : public ApplicationLauncher
{
public:
    bool launchApplication(const QString& bundlePath, quint32 options,
                           const QVariantMap& configuration) override;
};

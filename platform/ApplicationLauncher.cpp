#include "platform/ApplicationLauncher.h"

#include "platform/Workspace.h"

#include <QFileInfo>

bool WorkspaceApplicationLauncher::launchApplication(const QString& bundlePath, quint32, const QVariantMap&)
{
    // Only a bundle: a plain program at the bundle's path is not the
    // application that was asked for.
    return QFileInfo(bundlePath).isDir() && Workspace::launchApplication(bundlePath);
}

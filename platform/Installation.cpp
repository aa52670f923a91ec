#include "platform/Installation.h"

#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/PropertyList.h"

#include <QFileInfo>
#include <QVariantMap>

QString Installation::filterKextBundlePath()
{
    return Paths::system(QStringLiteral("/Library/Extensions/palisornke.kext"));
}

QString Installation::filterKextInfoPlistPath()
{
    return Paths::system(QStringLiteral("/Library/Extensions/palisornke.kext/Contents/Info.plist"));
}

QString Installation::filterKextModulePath()
{
    return Paths::system(QStringLiteral("/sys/module/palisornke"));
}

QString Installation::connectionKextModulePath()
{
    return Paths::system(QStringLiteral("/sys/module/palisorlogsnke"));
}

QString Installation::daemonExecutablePath()
{
    return Paths::system(QStringLiteral("/usr/local/bin/palisorafd"));
}

QString Installation::daemonLaunchPlistPath()
{
    return Paths::system(QStringLiteral("/Library/LaunchDaemons/zz.tolvane.palisorafd.plist"));
}

QString Installation::daemonProcessName()
{
    return QStringLiteral("palisorafd");
}

bool Installation::filterKextBundleExists()
{
    return QFileInfo(filterKextBundlePath()).isDir();
}

bool Installation::filterKextIsInstalled()
{
    return filterKextBundleExists() && QFileInfo(filterKextInfoPlistPath()).isFile();
}

bool Installation::filterKextIsLoaded()
{
    return QFileInfo(filterKextModulePath()).isDir();
}

bool Installation::connectionKextIsLoaded()
{
    return QFileInfo(connectionKextModulePath()).isDir();
}

std::optional<QString> Installation::filterKextVersion(QString* error)
{
    QString reason;
    const std::optional<QVariant> info = PropertyList::readFile(filterKextInfoPlistPath(), &reason);
    if (!info) {
        if (error)
            *error = reason;
        return std::nullopt;
    }
    if (info->typeId() != QMetaType::QVariantMap) {
        if (error)
            *error = QStringLiteral("the information file is not a dictionary");
        return std::nullopt;
    }
    const QVariant version = info->toMap().value(QStringLiteral("CFBundleVersion"));
    if (version.typeId() != QMetaType::QString) {
        if (error)
            *error = QStringLiteral("the information file has no CFBundleVersion string");
        return std::nullopt;
    }
    return version.toString();
}

bool Installation::daemonIsInstalled()
{
    return QFileInfo(daemonExecutablePath()).isFile();
}

bool Installation::daemonIsRunning()
{
    const QString name = daemonProcessName();
    for (const pid_t pid : ProcessInfo::allPids()) {
        if (ProcessInfo::commandName(pid) == name && ProcessInfo::sharesOurRoot(pid))
            return true;
    }
    return false;
}

bool Installation::daemonLaunchPlistIsInstalled()
{
    return QFileInfo::exists(daemonLaunchPlistPath());
}

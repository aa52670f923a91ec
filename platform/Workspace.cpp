#include "platform/Workspace.h"

#include "platform/DesktopEntries.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <QVariantMap>

#include <csignal>

namespace {

// Main thread only, as iconForFile() is.
QAbstractFileIconProvider* g_fileIconProvider = nullptr;

QVariantMap bundleInfo(const QString& bundlePath)
{
    const std::optional<QVariant> info =
        PropertyList::readFile(bundlePath + QStringLiteral("/Contents/Info.plist"));
    return info ? info->toMap() : QVariantMap();
}

QString stringValue(const QVariantMap& info, const QString& key)
{
    const QVariant value = info.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// ".../Name.app/Contents/MacOS/exe" -> ".../Name.app", anything else -> "".
QString bundleOfExecutable(const QString& executablePath)
{
    if (!executablePath.startsWith(QLatin1Char('/')))
        return QString();
    QDir directory = QFileInfo(executablePath).dir();
    if (directory.dirName() != QLatin1String("MacOS") || !directory.cdUp())
        return QString();
    if (directory.dirName() != QLatin1String("Contents") || !directory.cdUp())
        return QString();
    const QString bundlePath = directory.absolutePath();
    return bundlePath.endsWith(QLatin1String(".app")) ? bundlePath : QString();
}

// Kernel threads and zombies run no program; an agent that may not read their
// exe link would otherwise list them under their command names. The flags
// are the ninth field of /proc/<pid>/stat, counted after the command name,
// which may itself hold blanks and parentheses.
bool runsNoProgram(pid_t pid)
{
    constexpr qulonglong kernelThreadFlag = 0x00200000;
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray stat = file.readAll();
    const qsizetype end = stat.lastIndexOf(')');
    if (end < 0)
        return true;
    const QList<QByteArray> fields = stat.mid(end + 1).simplified().split(' ');
    if (fields.size() < 7)
        return true;
    if (fields.at(0) == "Z" || fields.at(0) == "X")
        return true;
    bool ok = false;
    const qulonglong flags = fields.at(6).toULongLong(&ok);
    return !ok || (flags & kernelThreadFlag);
}

} // namespace

QList<RunningApplication> Workspace::runningApplications()
{
    QList<RunningApplication> applications;
    for (const pid_t pid : ProcessInfo::allPids()) {
        if (!ProcessInfo::sharesOurRoot(pid))
            continue;
        const QString executablePath = ProcessInfo::pathForPid(pid);
        if (executablePath == QLatin1String("error") || runsNoProgram(pid))
            continue;

        RunningApplication application;
        application.pid = pid;
        application.executablePath = executablePath;
        application.bundlePath = bundleOfExecutable(executablePath);
        if (!application.bundlePath.isEmpty()) {
            const QVariantMap info = bundleInfo(application.bundlePath);
            application.bundleIdentifier = stringValue(info, QStringLiteral("CFBundleIdentifier"));
            application.localizedName = stringValue(info, QStringLiteral("CFBundleName"));
        }
        if (application.localizedName.isEmpty())
            application.localizedName = QFileInfo(executablePath).fileName();
        applications.append(application);
    }
    return applications;
}

QList<RunningApplication> Workspace::runningApplicationsWithBundleIdentifier(const QString& bundleIdentifier)
{
    QList<RunningApplication> matching;
    for (const RunningApplication& application : runningApplications()) {
        if (application.bundleIdentifier == bundleIdentifier)
            matching.append(application);
    }
    return matching;
}

QString Workspace::bundleIdentifierOfBundle(const QString& bundlePath)
{
    return stringValue(bundleInfo(bundlePath), QStringLiteral("CFBundleIdentifier"));
}

std::optional<QString> Workspace::bundleInfoString(const QString& bundlePath, const QString& key)
{
    const QVariant value = bundleInfo(bundlePath).value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

bool Workspace::launchApplication(const QString& path, const QStringList& arguments)
{
    QString program = path;
    if (QFileInfo(path).isDir()) {
        const QString executable = stringValue(bundleInfo(path), QStringLiteral("CFBundleExecutable"));
        if (executable.isEmpty() || executable.contains(QLatin1Char('/')))
            return false;
        program = path + QStringLiteral("/Contents/MacOS/") + executable;
    }
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, arguments);
}

bool Workspace::revealInFileManager(const QString& path)
{
    return revealInFileManager(path, QDBusConnection::sessionBus());
}

bool Workspace::revealInFileManager(const QString& path, const QDBusConnection& bus)
{
    if (path.isEmpty())
        return false;
    const QFileInfo item(path);
    const QUrl folder = QUrl::fromLocalFile(item.absolutePath());
    if (!bus.isConnected())
        return QDesktopServices::openUrl(folder);

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // The path travels as one percent-encoded URI argument, never as text
    // that anything parses as a command.
    call << QStringList{QUrl::fromLocalFile(item.absoluteFilePath()).toString(QUrl::FullyEncoded)}
         << QString();
    // Asynchronous: a file manager that is slow to start must not hold up
    // the window that asked.
    // The application holds the watcher until the answer comes: one that
    // never comes (the bus went first) goes with the application.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [folder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError())
                             QDesktopServices::openUrl(folder);
                         finished->deleteLater();
                     });
    return true;
}

bool Workspace::terminate(pid_t pid)
{
    // kill() with 0 or a negative pid signals whole groups, never one program.
    return pid > 0 && kill(pid, SIGTERM) == 0;
}

bool Workspace::forceTerminate(pid_t pid)
{
    return pid > 0 && kill(pid, SIGKILL) == 0;
}

QIcon Workspace::iconForFile(const QString& path)
{
    static QAbstractFileIconProvider plain;
    QAbstractFileIconProvider* provider = g_fileIconProvider ? g_fileIconProvider : &plain;
    return provider->icon(QFileInfo(path));
}

QIcon Workspace::iconForApplication(const QString& path)
{
    const QString iconName = DesktopEntries::iconNameForExecutable(path);
    if (iconName.isEmpty())
        return iconForFile(path);
    // Many apps share a few icons; one QIcon per name keeps one set of pixmaps.
    static QHash<QString, QIcon> icons;
    // None yet: the folders are set up for the machine's own root too.
    static std::optional<QString> iconsRoot;
    const QString root = Paths::root();
    if (iconsRoot != root) {
        icons.clear();
        iconsRoot = root;
        // The themes installed under the agent's root come before the
        // machine's own. Not every platform theme looks in the system's icon
        // folders at all (offscreen looks in none), nor in the pixmaps folder
        // where older programs put a picture they name without a theme.
        const auto searchedFirst = [](const QStringList& current, const QStringList& folders) {
            QStringList missing;
            for (const QString& folder : folders)
                if (!current.contains(folder))
                    missing.append(folder);
            return missing;
        };
        const QStringList themes =
            searchedFirst(QIcon::themeSearchPaths(), {Paths::system(QStringLiteral("/usr/local/share/icons")),
                                                      Paths::system(QStringLiteral("/usr/share/icons"))});
        if (!themes.isEmpty())
            QIcon::setThemeSearchPaths(themes + QIcon::themeSearchPaths());
        const QStringList pixmaps = searchedFirst(QIcon::fallbackSearchPaths(),
                                                  {Paths::system(QStringLiteral("/usr/share/pixmaps"))});
        if (!pixmaps.isEmpty())
            QIcon::setFallbackSearchPaths(pixmaps + QIcon::fallbackSearchPaths());
    }
    // Without a desktop that names its theme, Qt looks in none; the
    // freedesktop default theme, where every application installs its icon,
    // is the one to look in then.
    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName(QStringLiteral("hicolor"));
    auto cached = icons.constFind(iconName);
    if (cached == icons.constEnd()) {
        QIcon icon;
        if (iconName.startsWith(QLatin1Char('/'))) {
            const QString file = Paths::system(iconName);
            if (QFileInfo::exists(file))
                icon = QIcon(file);
        } else {
            // Some entries name a theme icon with its file's extension.
            static const QRegularExpression extension(QStringLiteral("\\.(png|xpm|svg)$"));
            icon = QIcon::fromTheme(QString(iconName).remove(extension));
        }
        cached = icons.insert(iconName, icon);
    }
    return cached->isNull() ? iconForFile(path) : cached.value();
}

void Workspace::setFileIconProvider(QAbstractFileIconProvider* provider)
{
    g_fileIconProvider = provider;
}

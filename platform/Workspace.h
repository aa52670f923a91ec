#pragma once

#include <QAbstractFileIconProvider>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <sys/types.h>

class QDBusConnection;

struct RunningApplication
{
    pid_t pid = 0;
    QString executablePath;
    // "/x/Name.app" when the executable lies in Name.app/Contents/MacOS, else "".
    QString bundlePath;
    QString bundleIdentifier;
    // The bundle's CFBundleName, else the executable's file name.
    QString localizedName;
};

// Running programs, launching and ending them. Only processes that run under
// our own PALISOR_ROOT are seen: agents of different roots are different
// systems, and parallel tests do not see each other.
class Workspace
{
public:
    static QList<RunningApplication> runningApplications();
    static QList<RunningApplication> runningApplicationsWithBundleIdentifier(const QString& bundleIdentifier);
    // Bundle identifier of a bundle folder ("" when it has none).
    static QString bundleIdentifierOfBundle(const QString& bundlePath);
    // A text of the bundle's Info.plist; nullopt when the bundle, the file or
    // a text under `key` is missing.
    static std::optional<QString> bundleInfoString(const QString& bundlePath, const QString& key);
    // Starts a bundle's executable (or a plain program) detached; false when it
    // could not be started.
    static bool launchApplication(const QString& path, const QStringList& arguments = {});
    // The file manager's icon of a file or folder. Main thread only.
    static QIcon iconForFile(const QString& path);
    // An app's icon: for an executable that an installed desktop entry
    // starts, that entry's icon (from the icon theme, or the file it names);
    // otherwise iconForFile(). Main thread only.
    static QIcon iconForApplication(const QString& path);
    // The provider behind iconForFile(); the widgets layer installs the
    // style's, which falls back to its own icons. The caller keeps it.
    static void setFileIconProvider(QAbstractFileIconProvider* provider);
    // Shows the file or folder selected in the desktop's file manager
    // (org.freedesktop.FileManager1 on the session bus). Where no file manager
    // answers there, the folder that holds it is opened instead. No shell is
    // involved, whatever the path holds. Returns at once; the fallback, when
    // needed, follows on the main thread. False for an empty path, or when
    // there is no bus and the folder cannot be opened. Main thread only.
    static bool revealInFileManager(const QString& path);
    // The same on a given bus (tests use a private one).
    static bool revealInFileManager(const QString& path, const QDBusConnection& bus);
    static bool terminate(pid_t pid);
    static bool forceTerminate(pid_t pid);
};

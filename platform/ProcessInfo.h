#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <sys/types.h>

// What /proc tells of other processes.
class ProcessInfo
{
public:
    struct Name
    {
        QString path;
        // True only when `path` is the executable the kernel runs for the
        // process. A name taken from argv[0] or the command name is what
        // the process's owner chose to call it, and proves nothing.
        bool verified = false;
    };

    // The executable's path. A process that is gone is "error". One that this
    // user may not inspect (root's, another user's) is named by the best the
    // system gives: an absolute argv[0], else its command name; never "error",
    // so that it is not passed unasked.
    static QString pathForPid(pid_t pid);
    // The same, telling whether the path could be checked.
    static Name nameForPid(pid_t pid);
    // Effective user id, -1 when the process is gone.
    static int effectiveUid(pid_t pid);
    // The application an XPC service works for; Linux has none: "".
    static QString xpcHost(pid_t pid);

    // A variable of the process's environment; nullopt when absent or when
    // the environment cannot be read.
    static std::optional<QString> environmentValue(pid_t pid, const QString& name);
    // True when the process runs under the same PALISOR_ROOT as we do (an
    // unreadable environment counts as having none).
    static bool sharesOurRoot(pid_t pid);
    // The command name (/proc/<pid>/comm), "" when gone.
    static QString commandName(pid_t pid);
    static QList<pid_t> allPids();

    // Sends SIGTERM, only when `pid` names one process (> 0) and that process
    // still runs `expectedExecutable` (as given or with its links resolved):
    // a pid that was reused since it was shown is left alone. True when the
    // signal was sent.
    static bool terminateIfExecutable(pid_t pid, const QString& expectedExecutable);
};

#include "platform/ProcessInfo.h"

#include "platform/Paths.h"

#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString errorPath = QStringLiteral("error");

QByteArray procPath(pid_t pid, const char* entry)
{
    return "/proc/" + QByteArray::number(pid) + '/' + entry;
}

// /proc files report a size of 0, so they are read until end of file. errno
// is left as the failure set it, for the caller to tell gone from forbidden.
std::optional<QByteArray> readProcFile(pid_t pid, const char* entry)
{
    if (pid <= 0) {
        errno = ESRCH;
        return std::nullopt;
    }
    const int fd = open(procPath(pid, entry).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray contents;
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count > 0) {
            contents.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            const int error = errno;
            close(fd);
            errno = error;
            return std::nullopt;
        }
        break;
    }
    close(fd);
    return contents;
}

std::optional<QByteArray> readExeLink(pid_t pid)
{
    const QByteArray link = procPath(pid, "exe");
    QByteArray target(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t length = readlink(link.constData(), target.data(), target.size());
        if (length < 0)
            return std::nullopt;
        if (length < target.size()) {
            target.truncate(length);
            return target;
        }
        target.resize(target.size() * 2);
    }
}

QString withoutDeletedMark(QString path)
{
    // The kernel marks a replaced or removed executable; the agent knows the
    // program by the path it was started from.
    static const QString mark = QStringLiteral(" (deleted)");
    if (path.endsWith(mark))
        path.chop(mark.size());
    return path;
}

// The same normalisation Paths::root() applies to our own value, so "/x/" and
// "/x" are one root and "/" is none.
QString normalisedRoot(QString value)
{
    while (value.size() > 1 && value.endsWith(QLatin1Char('/')))
        value.chop(1);
    return value == QLatin1String("/") ? QString() : value;
}

} // namespace

QString ProcessInfo::pathForPid(pid_t pid)
{
    return nameForPid(pid).path;
}

ProcessInfo::Name ProcessInfo::nameForPid(pid_t pid)
{
    if (pid <= 0)
        return {errorPath, false};
    if (const std::optional<QByteArray> target = readExeLink(pid))
        return {withoutDeletedMark(QString::fromLocal8Bit(*target)), true};
    if (errno != EACCES && errno != EPERM)
        return {errorPath, false};

    // Not ours to inspect, yet alive: cmdline and comm stay readable by anyone.
    if (const std::optional<QByteArray> cmdline = readProcFile(pid, "cmdline")) {
        const QByteArray argv0 = cmdline->left(cmdline->indexOf('\0'));
        if (argv0.startsWith('/'))
            return {withoutDeletedMark(QString::fromLocal8Bit(argv0)), false};
    }
    const QString name = commandName(pid);
    return {name.isEmpty() ? errorPath : name, false};
}

int ProcessInfo::effectiveUid(pid_t pid)
{
    // The kernel gives a process's /proc folder its effective ids, whether or
    // not the process is dumpable (only the files inside may then be root's);
    // a stat is far cheaper than having the status text made.
    struct stat info;
    if (pid <= 0 || stat(procPath(pid, "").constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_uid);
}

QString ProcessInfo::xpcHost(pid_t)
{
    return QString();
}

std::optional<QString> ProcessInfo::environmentValue(pid_t pid, const QString& name)
{
    const std::optional<QByteArray> environment = readProcFile(pid, "environ");
    if (!environment)
        return std::nullopt;
    const QByteArray prefix = name.toLocal8Bit() + '=';
    for (const QByteArray& entry : environment->split('\0')) {
        if (entry.startsWith(prefix))
            return QString::fromLocal8Bit(entry.mid(prefix.size()));
    }
    return std::nullopt;
}

bool ProcessInfo::sharesOurRoot(pid_t pid)
{
    // /proc shows the environment we started with, not a later setenv; we are
    // in our own root whatever it says.
    if (pid == getpid())
        return true;
    const QString theirs =
        normalisedRoot(environmentValue(pid, QStringLiteral("PALISOR_ROOT")).value_or(QString()));
    return theirs == Paths::root();
}

QString ProcessInfo::commandName(pid_t pid)
{
    const std::optional<QByteArray> comm = readProcFile(pid, "comm");
    if (!comm)
        return QString();
    QByteArray name = *comm;
    if (name.endsWith('\n'))
        name.chop(1);
    return QString::fromLocal8Bit(name);
}

QList<pid_t> ProcessInfo::allPids()
{
    QList<pid_t> pids;
    DIR* directory = opendir("/proc");
    if (!directory)
        return pids;
    while (const dirent* entry = readdir(directory)) {
        bool ok = false;
        const int pid = QByteArray(entry->d_name).toInt(&ok);
        if (ok && pid > 0)
            pids.append(pid);
    }
    closedir(directory);
    return pids;
}

bool ProcessInfo::terminateIfExecutable(pid_t pid, const QString& expectedExecutable)
{
    if (pid <= 0 || expectedExecutable.isEmpty())
        return false;
    // The descriptor holds on to the process we look at: should it end and
    // its pid go to another program before the signal, the signal fails
    // rather than reach the newcomer. Kernels without pidfds get plain kill().
    // Through syscall(): this glibc's pidfd header declares its wrappers
    // without C linkage, so C++ cannot link them.
    const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0 && errno == ESRCH)
        return false;

    bool sent = false;
    if (const std::optional<QByteArray> target = readExeLink(pid)) {
        const QString executable = withoutDeletedMark(QString::fromLocal8Bit(*target));
        if (executable == expectedExecutable ||
            executable == QFileInfo(expectedExecutable).canonicalFilePath()) {
            sent = pidfd >= 0 ? syscall(SYS_pidfd_send_signal, pidfd, SIGTERM, nullptr, 0) == 0
                              : kill(pid, SIGTERM) == 0;
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    return sent;
}

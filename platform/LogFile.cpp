#include "platform/LogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The path last refused for not being a regular file, so that a log kept
// pointing at a pipe or a device is reported once and not at every reopen.
QString g_refusedPath;

void refuse(const QString& path)
{
    if (path == g_refusedPath)
        return;
    g_refusedPath = path;
    std::fprintf(stderr, "The log %s is not a regular file; the log goes on here instead\n",
                 QFile::encodeName(path).constData());
    std::fflush(stderr);
}

bool isThereButNotRegular(const QByteArray& native)
{
    struct stat info;
    return ::stat(native.constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

} // namespace

bool LogFile::reopenStandardError(const QString& path)
{
    if (path.isEmpty())
        return false;
    // "~/Library/Logs" is a folder of the other platform; a fresh Linux home
    // has none.
    QDir().mkpath(QFileInfo(path).absolutePath());

    // Without O_NONBLOCK a FIFO there would hold the agent here, before its
    // socket opens, until someone reads it; with it, a FIFO without a reader
    // fails at once and one with a reader is turned away below.
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY,
                    0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (isThereButNotRegular(native))
            refuse(path);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        refuse(path);
        return false;
    }
    // Writes to a regular file never wait; the flag has done its work.
    ::fcntl(fd, F_SETFL, O_APPEND);
    g_refusedPath.clear();

    // What the stream still holds belongs to the old file.
    std::fflush(stderr);
    if (fd == STDERR_FILENO) {
        // Descriptor 2 was closed, so the file took its number; it must
        // survive exec like a standard error does.
        ::fcntl(fd, F_SETFD, 0);
        return true;
    }
    int result;
    do {
        result = ::dup2(fd, STDERR_FILENO);
    } while (result < 0 && errno == EINTR);
    ::close(fd);
    return result >= 0;
}

#include "platform/LogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

bool LogFile::reopenStandardError(const QString& path)
{
    if (path.isEmpty())
        return false;
    // "~/Library/Logs" is a folder of the other platform; a fresh Linux home
    // has none.
    QDir().mkpath(QFileInfo(path).absolutePath());

    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;

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

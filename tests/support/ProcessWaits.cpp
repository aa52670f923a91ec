#include "support/ProcessWaits.h"

#include "platform/ProcessInfo.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

bool showsArguments(pid_t pid)
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return cmdline.open(QIODevice::ReadOnly) && !cmdline.readAll().isEmpty();
}

} // namespace

bool waitForExec(pid_t pid, const QString& executablePath, int timeoutMilliseconds)
{
    const QString canonical = QFileInfo(executablePath).canonicalFilePath();
    const QDeadlineTimer deadline(timeoutMilliseconds);
    for (;;) {
        if (ProcessInfo::pathForPid(pid) == canonical && showsArguments(pid))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
}

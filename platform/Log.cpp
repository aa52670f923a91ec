#include "platform/Log.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcQueues, "palisor.queues", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlatform, "palisor.platform", QtInfoMsg)
Q_LOGGING_CATEGORY(lcBus, "palisor.bus", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDefaults, "palisor.defaults", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSession, "palisor.session", QtInfoMsg)

namespace {

void writeLine(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // One write per line, so lines from several threads never interleave;
    // fd 2 is looked up at each write because the log keeper re-points it.
    QByteArray line = message.toLocal8Bit();
    line.append('\n');
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, size_t(left));
        if (written <= 0)
            break;
        data += written;
        left -= written;
    }
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

void Log::installMessageHandler()
{
    qInstallMessageHandler(&writeLine);
}

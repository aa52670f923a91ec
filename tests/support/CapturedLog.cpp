#include "support/CapturedLog.h"

#include <QtGlobal>

#include <mutex>

namespace {

std::mutex g_mutex;
QStringList g_messages;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        std::lock_guard lock(g_mutex);
        g_messages << message;
    }
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

CapturedLog::CapturedLog()
{
    std::lock_guard lock(g_mutex);
    g_messages.clear();
    g_previous = qInstallMessageHandler(capture);
}

CapturedLog::~CapturedLog()
{
    qInstallMessageHandler(g_previous);
    std::lock_guard lock(g_mutex);
    g_previous = nullptr;
}

QStringList CapturedLog::messages() const
{
    std::lock_guard lock(g_mutex);
    return g_messages;
}

int CapturedLog::count(const QString& text) const
{
    int found = 0;
    for (const QString& message : messages())
        if (message.contains(text))
            ++found;
    return found;
}

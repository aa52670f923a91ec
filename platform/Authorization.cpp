#include "platform/Authorization.h"

#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <atomic>
#include <unistd.h>

namespace {

std::atomic<Authorization*> g_shared{nullptr};

} // namespace

void Authorization::requestRight(const QString& actionId, std::function<void(bool)> completion)
{
    const QString pkcheck = QStandardPaths::findExecutable(QStringLiteral("pkcheck"));
    if (pkcheck.isEmpty()) {
        MainQueue::async([completion] { completion(false); });
        return;
    }
    auto* process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, process,
                     [process, completion](int exitCode, QProcess::ExitStatus status) {
                         process->deleteLater();
                         completion(status == QProcess::NormalExit && exitCode == 0);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, completion](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         process->deleteLater();
                         completion(false);
                     });
    process->start(pkcheck, {QStringLiteral("--action-id"), actionId, QStringLiteral("--process"),
                             QString::number(getpid()), QStringLiteral("--allow-user-interaction")});
}

Authorization& Authorization::shared()
{
    static Authorization polkit;
    Authorization* authorization = g_shared.load();
    return authorization ? *authorization : polkit;
}

void Authorization::setShared(Authorization* authorization)
{
    g_shared.store(authorization);
}

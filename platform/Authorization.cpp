#include "platform/Authorization.h"

#include "platform/Log.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <atomic>
#include <unistd.h>

namespace {

std::atomic<Authorization*> g_shared{nullptr};

Authorization::Answer answerOfPkcheck(int exitStatus)
{
    switch (exitStatus) {
    case 0:
        return Authorization::Answer::Authorised;
    case 1: // not authorised
    case 3: // the authentication dialog was dismissed
        return Authorization::Answer::Refused;
    case 2: // interaction allowed, but no authentication agent to interact through
        return Authorization::Answer::NoAgent;
    default: // 127: polkit could not be asked
        return Authorization::Answer::Unavailable;
    }
}

} // namespace

void Authorization::requestRight(const QString& actionId, std::function<void(Answer)> completion)
{
    const QString pkcheck = QStandardPaths::findExecutable(QStringLiteral("pkcheck"));
    if (pkcheck.isEmpty()) {
        MainQueue::async([completion] { completion(Answer::Unavailable); });
        return;
    }
    auto* process = new QProcess(QCoreApplication::instance());
    QObject::connect(
        process, &QProcess::finished, process,
        [process, completion](int exitCode, QProcess::ExitStatus status) {
            process->deleteLater();
            const Answer answer =
                status == QProcess::NormalExit ? answerOfPkcheck(exitCode) : Answer::Unavailable;
            // Why nobody was asked is only in pkcheck's own words.
            if (answer == Answer::NoAgent || answer == Answer::Unavailable)
                qCWarning(lcPlatform, "pkcheck: %s",
                          qUtf8Printable(QString::fromLocal8Bit(process->readAllStandardError()).trimmed()));
            completion(answer);
        });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, completion](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         process->deleteLater();
                         completion(Answer::Unavailable);
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

#include "support/SleepingChildren.h"

#include "support/ProcessWaits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

SleepingChildren::~SleepingChildren()
{
    for (auto& child : m_children) {
        child->kill();
        child->waitForFinished(2000);
    }
}

QString SleepingChildren::copyOfSleep(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::copy(QStringLiteral("/bin/sleep"), path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    return path;
}

qint64 SleepingChildren::run(const QString& path)
{
    auto child = std::make_unique<QProcess>();
    child->start(path, {QStringLiteral("60")});
    EXPECT_TRUE(child->waitForStarted(5000));
    const qint64 pid = child->processId();
    EXPECT_TRUE(waitForExec(static_cast<pid_t>(pid), path));
    m_children.push_back(std::move(child));
    return pid;
}

qint64 SleepingChildren::gonePid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

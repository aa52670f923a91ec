#include "platform/Log.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Standard error is the agent's log file: each message is exactly its text
// on a line of its own, whatever its category or level, from any thread.
TEST(LogTest, EveryMessageIsItsTextOnOneLineOfStandardError)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("palisor.log"));
    const int saved = dup(STDERR_FILENO);
    const int file = open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, STDERR_FILENO);

    qCInfo(lcQueues).noquote() << "[PALISOR AGENT] checking if Palisor is ready to start...";
    qCWarning(lcBus).noquote() << "DistributedNotificationCenter:" << QStringLiteral("a \"quoted\" path");
    qCWarning(lcPlatform, "ArrayController: insertion index %d is outside 0..%d", 5, 2);
    qCDebug(lcDefaults) << "not shown: debug is off";
    qWarning("Qt's own warnings too");

    dup2(saved, STDERR_FILENO);
    close(saved);
    close(file);
    QFile log(path);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), QByteArray("[PALISOR AGENT] checking if Palisor is ready to start...\n"
                                        "DistributedNotificationCenter: a \"quoted\" path\n"
                                        "ArrayController: insertion index 5 is outside 0..2\n"
                                        "Qt's own warnings too\n"));
}

} // namespace

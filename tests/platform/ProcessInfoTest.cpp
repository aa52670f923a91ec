#include "platform/ProcessInfo.h"

#include "platform/Paths.h"
#include "support/Privileges.h"
#include "support/ProcessWaits.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t reapedChildPid()
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    int status = 0;
    waitpid(pid, &status, 0);
    return pid;
}

// What an unprivileged agent must make of a process it may not inspect: a
// name, never the "gone" marker.
bool isBestName(pid_t pid, const QString& name)
{
    return name != QLatin1String("error") && !name.isEmpty() &&
           (name.startsWith(QLatin1Char('/')) || name == ProcessInfo::commandName(pid));
}

} // namespace

TEST(ProcessInfoTest, GoneProcessIsErrorAndHasNothingToRead)
{
    for (const pid_t pid : {reapedChildPid(), pid_t(0), pid_t(-4)}) {
        SCOPED_TRACE(pid);
        EXPECT_EQ(ProcessInfo::pathForPid(pid), QStringLiteral("error"));
        EXPECT_EQ(ProcessInfo::effectiveUid(pid), -1);
        EXPECT_EQ(ProcessInfo::commandName(pid), QString());
        EXPECT_EQ(ProcessInfo::environmentValue(pid, QStringLiteral("PATH")), std::nullopt);
    }
}

TEST(ProcessInfoTest, OwnProcess)
{
    const pid_t self = getpid();
    EXPECT_EQ(ProcessInfo::pathForPid(self), QCoreApplication::applicationFilePath());
    EXPECT_TRUE(ProcessInfo::nameForPid(self).verified);
    EXPECT_EQ(ProcessInfo::effectiveUid(self), int(geteuid()));
    EXPECT_EQ(ProcessInfo::xpcHost(self), QString());
    EXPECT_TRUE(ProcessInfo::sharesOurRoot(self));
    EXPECT_TRUE(ProcessInfo::allPids().contains(self));
    EXPECT_TRUE(ProcessInfo::allPids().contains(1));
}

TEST(ProcessInfoTest, ProcessWeMayNotInspectIsNamedNotError)
{
    if (geteuid() != 0) {
        if (ProcessInfo::effectiveUid(1) == int(geteuid()))
            GTEST_SKIP() << "pid 1 is ours here";
        EXPECT_TRUE(isBestName(1, ProcessInfo::pathForPid(1))) << ProcessInfo::pathForPid(1).toStdString();
        EXPECT_FALSE(ProcessInfo::nameForPid(1).verified) << "only a name it gave itself";
        return;
    }
    // As nobody, the root-owned test runner that started this child.
    EXPECT_EXIT(
        {
            const pid_t runner = getppid();
            if (!dropPrivilegesToNobody())
                _exit(2);
            const QString name = ProcessInfo::pathForPid(runner);
            std::fprintf(stderr, "named \"%s\"\n", qPrintable(name));
            _exit(isBestName(runner, name) && !ProcessInfo::nameForPid(runner).verified &&
                          ProcessInfo::effectiveUid(runner) == 0
                      ? 0
                      : 1);
        },
        ::testing::ExitedWithCode(0), "named");
}

TEST(ProcessInfoTest, RemovedExecutableKeepsItsPath)
{
    QTemporaryDir dir(QStringLiteral("/tmp/palisor-proc-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("sleeper"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    QProcess child;
    child.start(program, {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(waitForExec(child.processId(), program));
    ASSERT_TRUE(QFile::remove(program));

    EXPECT_EQ(ProcessInfo::pathForPid(child.processId()), program);
    EXPECT_EQ(ProcessInfo::commandName(child.processId()), QStringLiteral("sleeper"));
    child.kill();
    child.waitForFinished();
}

TEST(ProcessInfoTest, EnvironmentAndRoot)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PALISOR_TEST_VALUE"), QStringLiteral("a=b c"));
    environment.insert(QStringLiteral("PALISOR_TEST_EMPTY"), QString());
    struct Case
    {
        QString root;
        bool shared;
    };
    const QString ours = Paths::root();
    const QList<Case> cases = {
        {ours.isEmpty() ? QStringLiteral("/") : ours + QLatin1Char('/'), true},
        {QStringLiteral("/tmp/palisor-elsewhere"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root.toStdString());
        QProcessEnvironment childEnvironment = environment;
        childEnvironment.insert(QStringLiteral("PALISOR_ROOT"), c.root);
        QProcess child;
        child.setProcessEnvironment(childEnvironment);
        child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(child.waitForStarted());
        const pid_t pid = child.processId();
        ASSERT_TRUE(waitForExec(pid, QStringLiteral("/bin/sleep")));

        EXPECT_EQ(ProcessInfo::environmentValue(pid, QStringLiteral("PALISOR_TEST_VALUE")),
                  QStringLiteral("a=b c"));
        EXPECT_EQ(ProcessInfo::environmentValue(pid, QStringLiteral("PALISOR_TEST_EMPTY")), QString());
        EXPECT_EQ(ProcessInfo::environmentValue(pid, QStringLiteral("PALISOR_TEST")), std::nullopt);
        EXPECT_EQ(ProcessInfo::environmentValue(pid, QStringLiteral("PALISOR_ROOT")), c.root);
        EXPECT_EQ(ProcessInfo::sharesOurRoot(pid), c.shared);
        child.kill();
        child.waitForFinished();
    }
}

namespace {

// A child that becomes nobody, optionally hides its ids (not dumpable), and
// waits to be looked at.
pid_t sleepingNobody(bool dumpable, int readyPipe)
{
    const pid_t child = fork();
    if (child == 0) {
        if (!dumpable)
            prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
        const bool dropped = dropPrivilegesToNobody();
        if (!dumpable)
            prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
        const char ready = dropped ? 'y' : 'n';
        (void)!write(readyPipe, &ready, 1);
        pause();
        _exit(0);
    }
    return child;
}

} // namespace

TEST(ProcessInfoTest, EffectiveUserOfDumpableAndHiddenProcesses)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to make a process of another user";
    for (const bool dumpable : {true, false}) {
        SCOPED_TRACE(dumpable ? "dumpable" : "not dumpable");
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = sleepingNobody(dumpable, fds[1]);
        char ready = 0;
        ASSERT_EQ(read(fds[0], &ready, 1), 1);
        ASSERT_EQ(ready, 'y');
        struct stat folder;
        ASSERT_EQ(stat(QStringLiteral("/proc/%1").arg(child).toLocal8Bit().constData(), &folder), 0);
        EXPECT_EQ(folder.st_uid, 65534u) << "the folder carries the effective user, dumpable or not";
        EXPECT_EQ(ProcessInfo::effectiveUid(child), 65534);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(fds[0]);
        close(fds[1]);
    }
}

TEST(ProcessInfoTest, TerminatesOnlyTheProcessThatRunsTheExpectedProgram)
{
    QProcess child;
    child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted());
    const pid_t pid = child.processId();
    ASSERT_TRUE(waitForExec(pid, QStringLiteral("/bin/sleep")));

    // A pid that now runs another program, and the pids that would signal
    // whole groups, are left alone.
    EXPECT_FALSE(ProcessInfo::terminateIfExecutable(pid, QStringLiteral("/usr/bin/cat")));
    EXPECT_FALSE(ProcessInfo::terminateIfExecutable(pid, QString()));
    EXPECT_FALSE(ProcessInfo::terminateIfExecutable(0, QStringLiteral("/bin/sleep")));
    EXPECT_FALSE(ProcessInfo::terminateIfExecutable(-1, QStringLiteral("/bin/sleep")));
    EXPECT_FALSE(child.waitForFinished(50));
    EXPECT_EQ(child.state(), QProcess::Running);

    // "/bin/sleep" is the path it was started by; /proc shows it resolved.
    EXPECT_TRUE(ProcessInfo::terminateIfExecutable(pid, QStringLiteral("/bin/sleep")));
    ASSERT_TRUE(child.waitForFinished(5000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(ProcessInfo::terminateIfExecutable(reapedChildPid(), QStringLiteral("/bin/sleep")));
}

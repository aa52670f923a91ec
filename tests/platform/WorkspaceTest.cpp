#include "platform/Workspace.h"

#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/PropertyList.h"
#include "support/ProcessWaits.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class WorkspaceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    void TearDown() override
    {
        for (const RunningApplication& application : Workspace::runningApplications()) {
            if (application.executablePath.startsWith(m_dir.path()))
                Workspace::forceTerminate(application.pid);
        }
    }

    // <dir>/<name>.app with a copy of sleep as its executable.
    QString makeBundle(const QString& name, const QVariantMap& info)
    {
        const QString bundle = m_dir.filePath(name + QStringLiteral(".app"));
        const QString executable = info.value(QStringLiteral("CFBundleExecutable"), name).toString();
        EXPECT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS")));
        EXPECT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"),
                                bundle + QStringLiteral("/Contents/MacOS/") + executable));
        if (!info.isEmpty()) {
            EXPECT_TRUE(PropertyList::writeFile(bundle + QStringLiteral("/Contents/Info.plist"), info));
        }
        return bundle;
    }

    static QList<RunningApplication> waitForApplications(const QString& bundleIdentifier, qsizetype count)
    {
        QDeadlineTimer deadline(5000);
        QList<RunningApplication> applications;
        do {
            applications = Workspace::runningApplicationsWithBundleIdentifier(bundleIdentifier);
            if (applications.size() == count)
                break;
            QThread::msleep(20);
        } while (!deadline.hasExpired());
        return applications;
    }

    QTemporaryDir m_dir{QStringLiteral("/tmp/palisor-ws-XXXXXX")};
};

} // namespace

TEST_F(WorkspaceTest, SeesBundlesOfOurRootOnly)
{
    const QString named =
        makeBundle(QStringLiteral("Named"), {{"CFBundleIdentifier", "zz.tolvane.test.named"},
                                             {"CFBundleName", "Named App"},
                                             {"CFBundleExecutable", "namedexe"}});
    const QString plain =
        makeBundle(QStringLiteral("Plain"), {{"CFBundleIdentifier", "zz.tolvane.test.plain"}});
    EXPECT_EQ(Workspace::bundleIdentifierOfBundle(named), QStringLiteral("zz.tolvane.test.named"));

    // The launched one inherits our environment; of the two plain ones only
    // the first lives under our root.
    ASSERT_TRUE(Workspace::launchApplication(named, {QStringLiteral("30")}));
    QProcess ours;
    QProcess elsewhere;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PALISOR_ROOT"), m_dir.filePath(QStringLiteral("elsewhere")));
    elsewhere.setProcessEnvironment(environment);
    for (QProcess* process : {&ours, &elsewhere}) {
        process->start(plain + QStringLiteral("/Contents/MacOS/Plain"), {QStringLiteral("30")});
        ASSERT_TRUE(process->waitForStarted());
        ASSERT_TRUE(waitForExec(process->processId(), plain + QStringLiteral("/Contents/MacOS/Plain")));
    }

    const QList<RunningApplication> namedApplications =
        waitForApplications(QStringLiteral("zz.tolvane.test.named"), 1);
    ASSERT_EQ(namedApplications.size(), 1);
    EXPECT_EQ(namedApplications[0].executablePath, named + QStringLiteral("/Contents/MacOS/namedexe"));
    EXPECT_EQ(namedApplications[0].bundlePath, named);
    EXPECT_EQ(namedApplications[0].localizedName, QStringLiteral("Named App"));

    const QList<RunningApplication> plainApplications =
        Workspace::runningApplicationsWithBundleIdentifier(QStringLiteral("zz.tolvane.test.plain"));
    ASSERT_EQ(plainApplications.size(), 1);
    EXPECT_EQ(plainApplications[0].pid, ours.processId());
    EXPECT_EQ(plainApplications[0].bundlePath, plain);
    EXPECT_EQ(plainApplications[0].localizedName, QStringLiteral("Plain"));
    EXPECT_FALSE(ProcessInfo::sharesOurRoot(elsewhere.processId()));

    EXPECT_TRUE(Workspace::terminate(namedApplications[0].pid));
    EXPECT_TRUE(waitForApplications(QStringLiteral("zz.tolvane.test.named"), 0).isEmpty());
    EXPECT_TRUE(Workspace::forceTerminate(ours.processId()));
    EXPECT_TRUE(ours.waitForFinished());
    EXPECT_EQ(ours.exitStatus(), QProcess::CrashExit);
    elsewhere.kill();
    elsewhere.waitForFinished();
}

TEST_F(WorkspaceTest, PlainProgramsAreNotBundlesAndKernelThreadsNoPrograms)
{
    QProcess child;
    child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(waitForExec(child.processId(), QStringLiteral("/bin/sleep")));
    bool seen = false;
    for (const RunningApplication& application : Workspace::runningApplications()) {
        // Kernel threads run no program, though an unprivileged scan can only
        // name them (kthreadd is pid 2).
        EXPECT_NE(application.localizedName, QStringLiteral("kthreadd"));
        if (application.pid != child.processId())
            continue;
        seen = true;
        EXPECT_EQ(application.bundlePath, QString());
        EXPECT_EQ(application.bundleIdentifier, QString());
        EXPECT_EQ(application.localizedName, QStringLiteral("sleep"));
    }
    EXPECT_TRUE(seen);
    child.kill();
    child.waitForFinished();
}

TEST_F(WorkspaceTest, WhatCannotBeLaunched)
{
    const QString noInfo = makeBundle(QStringLiteral("NoInfo"), {});
    const QString missingExecutable =
        makeBundle(QStringLiteral("Missing"), {{"CFBundleExecutable", "Missing"}});
    QFile::remove(missingExecutable + QStringLiteral("/Contents/MacOS/Missing"));
    const QString corrupt = makeBundle(QStringLiteral("Corrupt"), {{"CFBundleIdentifier", "x"}});
    QFile info(corrupt + QStringLiteral("/Contents/Info.plist"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly | QIODevice::Truncate));
    info.write("<plist><dict><key>CFBundleIdentifier");
    info.close();
    const QString notExecutable =
        makeBundle(QStringLiteral("NotExecutable"), {{"CFBundleExecutable", "NotExecutable"}});
    ASSERT_TRUE(QFile::setPermissions(notExecutable + QStringLiteral("/Contents/MacOS/NotExecutable"),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    for (const QString& path : {noInfo, missingExecutable, corrupt, notExecutable,
                                m_dir.filePath(QStringLiteral("none")), QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(Workspace::launchApplication(path));
    }
    EXPECT_EQ(Workspace::bundleIdentifierOfBundle(corrupt), QString());
    EXPECT_EQ(Workspace::bundleIdentifierOfBundle(m_dir.filePath(QStringLiteral("none"))), QString());
}

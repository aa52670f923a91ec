#include "platform/DBusDistributedNotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/Workspace.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/StandInLogind.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

const QString kAgentIdentifier = QStringLiteral("zz.tolvane.PalisorAgent");
const QString kAgentBundle = QStringLiteral("Library/Application Support/Palisor/Agent/Palisor.app");
const QStringList kHelperTexts{QStringLiteral("Palisor Agent already running"),
                               QStringLiteral("Attempting to start Palisor Agent..."),
                               QStringLiteral("...Palisor Agent started"),
                               QStringLiteral("...Error starting Palisor Agent"),
                               QStringLiteral("Session resign active: quit Palisor Agent"),
                               QStringLiteral("Session become active: start Palisor Agent...")};

bool copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

// The real Palisor-Helper in a root of its own, with the real agent bundle
// installed there, the simulated daemon, a private session bus for the
// agent's notifications and a private system bus for logind.
class HelperEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        ASSERT_TRUE(m_sessionBus.isRunning());
        ASSERT_TRUE(m_systemBus.isRunning());
        m_rootVariable =
            std::make_unique<ScopedEnvironmentVariable>("PALISOR_ROOT", m_root.path().toLocal8Bit());
    }

    void TearDown() override
    {
        m_helper.kill();
        m_helper.waitForFinished(5000);
        // The agent outlives the helper, as it should: end it here.
        for (const RunningApplication& agent :
             Workspace::runningApplicationsWithBundleIdentifier(kAgentIdentifier))
            Workspace::terminate(agent.pid);
        if (!processEventsUntil([] { return agents().isEmpty(); }, 10000))
            for (const RunningApplication& agent : agents())
                Workspace::forceTerminate(agent.pid);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    static QList<RunningApplication> agents()
    {
        return Workspace::runningApplicationsWithBundleIdentifier(kAgentIdentifier);
    }

    QString rootPath(const QString& relative) const { return m_root.filePath(relative); }

    // The installed agent, its daemon and extension as its readiness check
    // looks at them, and a configuration to load.
    void layOutSystem()
    {
        ASSERT_TRUE(copyTree(QStringLiteral(PALISOR_TEST_BUNDLE_DIR), rootPath(kAgentBundle)));
        const QString kext = rootPath(QStringLiteral("Library/Extensions/palisornke.kext/Contents"));
        QDir().mkpath(kext);
        ASSERT_TRUE(PropertyList::writeFile(kext + QStringLiteral("/Info.plist"),
                                            QVariantMap{{"CFBundleVersion", QStringLiteral("2.1.0")}}));
        QDir().mkpath(rootPath(QStringLiteral("sys/module/palisornke")));
        QDir().mkpath(rootPath(QStringLiteral("Library/LaunchDaemons")));
        ASSERT_TRUE(PropertyList::writeFile(
            rootPath(QStringLiteral("Library/LaunchDaemons/zz.tolvane.palisorafd.plist")),
            QVariantMap{{"Label", QStringLiteral("zz.tolvane.palisorafd")}}));
        QDir().mkpath(rootPath(QStringLiteral("etc")));
        ASSERT_TRUE(PropertyList::writeFile(
            rootPath(QStringLiteral("etc/palisor.conf")),
            QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                     {"enableNotifications", true}}}));

        m_daemon.setProcessEnvironment(environment());
        m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_daemon.start(QStringLiteral(PALISORAFD_PATH),
                       {QStringLiteral("--quiet"), QStringLiteral("--timeout"), QStringLiteral("600")});
        ASSERT_TRUE(m_daemon.waitForStarted(5000));
        ASSERT_TRUE(processEventsUntil([&] {
            return QFileInfo::exists(rootPath(QStringLiteral("var/run/palisor/.zz.tolvane.palisor.agentc")));
        })) << "the simulated daemon did not bind its socket";
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PALISOR_ROOT"), m_root.path());
        environment.insert(QStringLiteral("HOME"), rootPath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), rootPath(QStringLiteral("home/.config")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("PALISOR_DBUS_ADDRESS"),
                           QString::fromLocal8Bit(m_sessionBus.address()));
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                           QString::fromLocal8Bit(m_systemBus.address()));
        // As a user service runs: outside the session, which logind names.
        environment.remove(QStringLiteral("XDG_SESSION_ID"));
        return environment;
    }

    void startHelper()
    {
        m_helper.setProcessEnvironment(environment());
        m_helper.start(QStringLiteral(PALISOR_HELPER_PATH), {});
        ASSERT_TRUE(m_helper.waitForStarted(5000));
    }

    // The helper's own lines so far (the agent it starts shares its output).
    QStringList helperLines()
    {
        m_output += m_helper.readAllStandardOutput();
        QStringList lines;
        for (const QString& line : QString::fromLocal8Bit(m_output).split(QLatin1Char('\n')))
            if (kHelperTexts.contains(line))
                lines << line;
        return lines;
    }

    QString helperErrors()
    {
        m_errors += m_helper.readAllStandardError();
        return QString::fromLocal8Bit(m_errors);
    }

    bool waitForLines(const QStringList& expected, int timeoutMs = 15000)
    {
        const bool seen = processEventsUntil([&] { return helperLines() == expected; }, timeoutMs);
        if (!seen)
            ADD_FAILURE() << "helper printed " << helperLines().join(QLatin1String(" | ")).toStdString()
                          << "\nstandard error: " << helperErrors().toStdString();
        return seen;
    }

    QTemporaryDir m_root{QStringLiteral("/tmp/palisor-helper.XXXXXX")};
    std::unique_ptr<ScopedEnvironmentVariable> m_rootVariable;
    PrivateBus m_sessionBus;
    PrivateBus m_systemBus{nullptr};
    QProcess m_daemon;
    QProcess m_helper;
    QByteArray m_output;
    QByteArray m_errors;
};

} // namespace

TEST_F(HelperEndToEndTest, StartsTheAgentAndFollowsTheSessionAway)
{
    StandInLogind logind(m_systemBus.address());
    ASSERT_TRUE(logind.isRunning());
    DBusDistributedNotificationCenter bus;
    int started = 0;
    int configurations = 0;
    bus.addObserver(QStringLiteral("startAgent"), QString(),
                    [&](const DistributedNotificationCenter::Notification&) { ++started; });
    bus.addObserver(QStringLiteral("writePalisorConfiguration"), QString(),
                    [&](const DistributedNotificationCenter::Notification&) { ++configurations; });
    layOutSystem();

    startHelper();
    QStringList expected{QStringLiteral("Attempting to start Palisor Agent..."),
                         QStringLiteral("...Palisor Agent started")};
    ASSERT_TRUE(waitForLines(expected));
    ASSERT_TRUE(processEventsUntil([&] { return started == 1; }, 15000)) << "the agent did not start";
    const QList<RunningApplication> running = agents();
    ASSERT_EQ(running.size(), 1);
    EXPECT_TRUE(running.first().executablePath.startsWith(rootPath(kAgentBundle)));
    EXPECT_EQ(logind.askedSessions(), QStringList{QStringLiteral("auto")});

    // Switched away: the agent ends and sends its configuration.
    logind.setActive(false);
    expected << QStringLiteral("Session resign active: quit Palisor Agent");
    ASSERT_TRUE(waitForLines(expected));
    ASSERT_TRUE(processEventsUntil([] { return agents().isEmpty(); }, 10000)) << "the agent did not end";
    EXPECT_TRUE(processEventsUntil([&] { return configurations == 1; }));

    // Active again, announced as logind may: the agent starts again.
    logind.setActive(true, false);
    expected << QStringLiteral("Session become active: start Palisor Agent...")
             << QStringLiteral("...Palisor Agent started");
    ASSERT_TRUE(waitForLines(expected));
    ASSERT_TRUE(processEventsUntil([&] { return started == 2; }, 15000)) << "the agent did not start again";
    EXPECT_EQ(agents().size(), 1);
    EXPECT_EQ(m_helper.state(), QProcess::Running);
}

// Standard output a pipe nobody reads any more (`helper | head` after head
// has gone): every printed line is lost, and the helper still starts its
// agent and follows the session.
TEST_F(HelperEndToEndTest, KeepsWorkingWhenTheReaderOfItsOutputHasGone)
{
    StandInLogind logind(m_systemBus.address());
    ASSERT_TRUE(logind.isRunning());
    DBusDistributedNotificationCenter bus;
    int started = 0;
    bus.addObserver(QStringLiteral("startAgent"), QString(),
                    [&](const DistributedNotificationCenter::Notification&) { ++started; });
    layOutSystem();

    // Its standard output a pipe whose reader is closed before it starts.
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ::close(fds[0]);
    const int writer = fds[1];
    m_helper.setChildProcessModifier([writer] { ::dup2(writer, STDOUT_FILENO); });
    startHelper();
    ::close(writer);
    ASSERT_TRUE(processEventsUntil([&] { return started == 1; }, 15000))
        << "the agent did not start; helper " << (m_helper.state() == QProcess::Running ? "running" : "ended")
        << " with status " << m_helper.exitCode()
        << (m_helper.exitStatus() == QProcess::CrashExit ? " (signal)" : "") << "\n"
        << helperErrors().toStdString();

    // Quitting the agent follows a printed line, so the agent going away
    // shows the helper lived through that line.
    logind.setActive(false);
    ASSERT_TRUE(processEventsUntil([] { return agents().isEmpty(); }, 10000))
        << "the agent did not end; status of the helper " << m_helper.exitCode();
    EXPECT_EQ(m_helper.state(), QProcess::Running);
}

// Nothing to launch: the failure is printed, never the success line. Without
// logind on the system bus the helper says so once and runs on.
TEST_F(HelperEndToEndTest, LaunchThatFailsAtOnceIsReportedAsTheFailure)
{
    const QString executable = rootPath(kAgentBundle + QStringLiteral("/Contents/MacOS/PalisorAgent"));
    for (const bool bundleInstalled : {false, true}) {
        SCOPED_TRACE(bundleInstalled ? "not executable" : "no bundle");
        if (bundleInstalled) {
            ASSERT_TRUE(copyTree(QStringLiteral(PALISOR_TEST_BUNDLE_DIR), rootPath(kAgentBundle)));
            ASSERT_TRUE(QFile::setPermissions(executable, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }
        m_output.clear();
        m_errors.clear();
        startHelper();
        ASSERT_TRUE(waitForLines({QStringLiteral("Attempting to start Palisor Agent..."),
                                  QStringLiteral("...Error starting Palisor Agent")}));
        ASSERT_TRUE(processEventsUntil(
            [&] { return helperErrors().contains(QLatin1String("No login session from logind")); }));
        EXPECT_EQ(helperErrors().count(QLatin1String("No login session from logind")), 1)
            << helperErrors().toStdString();
        EXPECT_EQ(m_helper.state(), QProcess::Running);
        m_helper.kill();
        m_helper.waitForFinished(5000);
    }
}

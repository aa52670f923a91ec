#include "palisorafd-sim/SimulatedDaemon.h"
#include "platform/DBusDistributedNotificationCenter.h"
#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"
#include "support/EventLoop.h"
#include "support/HostileInputs.h"
#include "support/PrivateBus.h"
#include "support/ProcessWaits.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/SleepingChildren.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The real PalisorAgent, offscreen in a root of its own, answering the
// simulated daemon from the rules in /etc/palisor.conf; the pids are those of
// real child processes.
class AgentEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_rootVariable =
            std::make_unique<ScopedEnvironmentVariable>("PALISOR_ROOT", m_root.path().toLocal8Bit());
        QString error;
        ASSERT_TRUE(m_daemon.bind(&error)) << error.toStdString();
    }

    void TearDown() override
    {
        m_agent.terminate();
        if (!m_agent.waitForFinished(5000))
            m_agent.kill();
        m_children.reset();
    }

    QString program(const QString& name)
    {
        return SleepingChildren::copyOfSleep(m_root.filePath(QStringLiteral("bin/") + name));
    }

    qint64 run(const QString& path) { return m_children->run(path); }

    // An installed system as the readiness check looks at it: the filter
    // extension's bundle at its version, loaded, the daemon's launch plist,
    // and a process named palisorafd of this root (the simulator itself runs
    // in the test process).
    void layOutInstallation()
    {
        const QString kext = m_root.filePath(QStringLiteral("Library/Extensions/palisornke.kext/Contents"));
        QDir().mkpath(kext);
        ASSERT_TRUE(PropertyList::writeFile(kext + QStringLiteral("/Info.plist"),
                                            QVariantMap{{"CFBundleVersion", QStringLiteral("2.1.0")}}));
        QDir().mkpath(m_root.filePath(QStringLiteral("sys/module/palisornke")));
        QDir().mkpath(m_root.filePath(QStringLiteral("Library/LaunchDaemons")));
        ASSERT_TRUE(PropertyList::writeFile(
            m_root.filePath(QStringLiteral("Library/LaunchDaemons/zz.tolvane.palisorafd.plist")),
            QVariantMap{{"Label", QStringLiteral("zz.tolvane.palisorafd")}}));
        run(program(QStringLiteral("palisorafd")));
    }

    // Returns once the agent has loaded its rules and said "startAgent" (its
    // socket is bound before that).
    void startAgent(const QVariantList& configuration)
    {
        DBusDistributedNotificationCenter bus;
        bool started = false;
        bus.addObserver(QStringLiteral("startAgent"), QString(),
                        [&](const DistributedNotificationCenter::Notification&) { started = true; });
        launchAgent(configuration);
        ASSERT_TRUE(processEventsUntil([&] { return started; }, 10000)) << "the agent did not start";
        ASSERT_TRUE(QFileInfo::exists(SimulatedDaemon::agentSocketPath()))
            << "the agent did not bind its socket";
    }

    void launchAgent(const QVariantList& configuration)
    {
        layOutInstallation();
        const QString conf = m_root.filePath(QStringLiteral("etc/palisor.conf"));
        QDir().mkpath(QFileInfo(conf).absolutePath());
        ASSERT_TRUE(PropertyList::writeFile(conf, configuration));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PALISOR_ROOT"), m_root.path());
        environment.insert(QStringLiteral("HOME"), m_root.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           m_root.filePath(QStringLiteral("home/.config")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("PALISOR_DBUS_ADDRESS"), QString::fromLocal8Bit(m_bus.address()));
        m_agent.setProcessEnvironment(environment);
        m_agent.setProcessChannelMode(m_readErrors ? QProcess::ForwardedOutputChannel
                                                   : QProcess::ForwardedChannels);
        m_agent.start(QStringLiteral(PALISOR_AGENT_PATH), {});
        ASSERT_TRUE(m_agent.waitForStarted(5000));
    }

    QStringList codesFor(const QString& request, std::size_t expected)
    {
        QString error;
        EXPECT_TRUE(m_daemon.sendRequest(request, &error)) << error.toStdString();
        const std::size_t before = m_daemon.answers().size();
        m_daemon.waitForAnswers(before + expected, 5000);
        QStringList codes;
        for (std::size_t i = before; i < m_daemon.answers().size(); ++i) {
            EXPECT_EQ(m_daemon.answers()[i].request, request);
            codes << m_daemon.answers()[i].code;
        }
        return codes;
    }

    QTemporaryDir m_root{QStringLiteral("/tmp/palisor-e2e.XXXXXX")};
    std::unique_ptr<ScopedEnvironmentVariable> m_rootVariable;
    PrivateBus m_bus;
    SimulatedDaemon m_daemon;
    QProcess m_agent;
    // Keep what the agent writes to stderr for the test to read.
    bool m_readErrors = false;
    std::unique_ptr<SleepingChildren> m_children = std::make_unique<SleepingChildren>();
};

QVariantMap app(const QString& path, qint64 state, const QStringList& matches = {})
{
    return QVariantMap{{"PalisorClassName", QStringLiteral("PAApplication")},
                       {"appName", QFileInfo(path).fileName()},
                       {"appPath", path},
                       {"appBinaries", QVariantList{path}},
                       {"appIsBundle", false},
                       {"appIsBlockedOrAllowed", state},
                       {"appMatches", QVariant(matches)}};
}

TEST_F(AgentEndToEndTest, SavedRulesAnswerOverTheRealSocketsAndGoBackAtTheEnd)
{
    // What the daemon hears on the private bus.
    DBusDistributedNotificationCenter bus;
    QStringList heard;
    QVariantMap written;
    bus.addObserver(QString(), QString(), [&](const DistributedNotificationCenter::Notification& n) {
        heard << n.name;
        if (n.name == QLatin1String("writePalisorConfiguration"))
            written = n.userInfo;
    });

    const QString blocked = program(QStringLiteral("blocked-tool"));
    const QString asking = program(QStringLiteral("asking-tool"));
    startAgent(QVariantList{
        QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                    {"enableNotifications", true},
                    {"automaticXPC", true}},
        app(blocked, 1),
        app(asking, 4, {QStringLiteral("@10.0.0.5"), QStringLiteral("#443")}),
    });

    const qint64 blockedPid = run(blocked);
    const qint64 askingPid = run(asking);
    EXPECT_EQ(codesFor(QStringLiteral("1 10.0.0.5 80 %1 TCP 4 0").arg(blockedPid), 1), QStringList{"1 # #"});
    EXPECT_EQ(codesFor(QStringLiteral("2 10.0.0.5 443 %1 TCP 4 0").arg(askingPid), 2),
              (QStringList{"4 0 0", "4 1 1"}));

    QProcess gone;
    gone.start(QStringLiteral("/bin/true"));
    gone.waitForFinished();
    EXPECT_EQ(codesFor(QStringLiteral("3 1.1.1.1 53 %1 UDP 4 0").arg(gone.processId()), 1),
              QStringList{"0 # #"});
    EXPECT_EQ(m_agent.state(), QProcess::Running);

    // Ended as the session ends it: the rules go back to the daemon.
    m_agent.terminate();
    ASSERT_TRUE(m_agent.waitForFinished(10000));
    EXPECT_EQ(m_agent.exitStatus(), QProcess::NormalExit);
    ASSERT_TRUE(
        processEventsUntil([&] { return heard.contains(QStringLiteral("writePalisorConfiguration")); }));
    EXPECT_TRUE(heard.contains(QStringLiteral("startAgent")));
    EXPECT_FALSE(heard.contains(QStringLiteral("stopKext")));
    const auto records =
        KeyedArchive::unarchive(written.value(QStringLiteral("PalisorConfiguration")).toByteArray());
    ASSERT_TRUE(records.has_value());
    QStringList apps;
    for (const QVariant& record : records->toList())
        if (record.toMap().value("PalisorClassName") == QLatin1String("PAApplication"))
            apps << record.toMap().value("appName").toString();
    EXPECT_EQ(apps, (QStringList{"blocked-tool", "asking-tool"}));
}

TEST_F(AgentEndToEndTest, ASecondCopyIsRefusedAndLeavesTheFirstAlone)
{
    const QString tool = program(QStringLiteral("second-tool"));
    startAgent(QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                        {"enableNotifications", true},
                                        {"automaticXPC", true},
                                        {"loggaSuFile", true}},
                            app(tool, 1)});
    DBusDistributedNotificationCenter bus;
    QStringList heard;
    bus.addObserver(QString(), QString(),
                    [&](const DistributedNotificationCenter::Notification& n) { heard << n.name; });

    // The second copy says so in an alert and ends; offscreen nobody answers
    // the alert, so it is ended like the session would end it.
    QProcess second;
    second.setProcessEnvironment(m_agent.processEnvironment());
    second.start(QStringLiteral(PALISOR_AGENT_PATH), {});
    ASSERT_TRUE(second.waitForStarted(5000));
    ASSERT_TRUE(processEventsUntil([&] { return heard.contains(QStringLiteral("startKext")); }, 10000));
    // Time for anything it would bind while it starts.
    processEventsUntil([] { return false; }, 500);
    second.terminate();
    ASSERT_TRUE(second.waitForFinished(10000));
    processEventsUntil([] { return false; }, 500); // whatever it would post arrives meanwhile
    EXPECT_FALSE(heard.contains(QStringLiteral("startAgent"))) << "the second copy never starts";
    EXPECT_FALSE(heard.contains(QStringLiteral("writePalisorConfiguration")))
        << "and never sends the daemon a configuration it did not load";

    // The first copy still has its sockets: it answers, and its connections
    // log goes on.
    const qint64 pid = run(tool);
    EXPECT_EQ(codesFor(QStringLiteral("1 10.0.0.5 80 %1 TCP 4 0").arg(pid), 1), QStringList{"1 # #"});
    QString error;
    ASSERT_TRUE(m_daemon.sendConnectionReport(QStringLiteral("0 10.0.0.5 80 %1 6 0").arg(pid), &error))
        << error.toStdString();
    const auto logged = [this] {
        QFile log(m_root.filePath(QStringLiteral("home/Library/Logs/palisor.log")));
        return log.open(QIODevice::ReadOnly) && log.readAll().contains("ADDR:#10.0.0.5#80");
    };
    EXPECT_TRUE(processEventsUntil(logged, 10000)) << "the first copy's connections log stayed silent";
}

// The agent's peak resident memory, from the kernel's count.
qint64 peakResidentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Any process on the session bus can post: bombs and deep nesting as a
// userInfo leave the agent running in little memory, with its rules, and
// saying nothing back.
TEST_F(AgentEndToEndTest, HostileUserInfosOnTheBusLeaveTheAgentAsItWas)
{
    const QString blocked = program(QStringLiteral("blocked-tool"));
    startAgent(QVariantList{
        QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")}, {"enableNotifications", true}},
        app(blocked, 1)});
    DBusDistributedNotificationCenter bus;
    QStringList heard;
    bus.addObserver(QString(), QString(),
                    [&](const DistributedNotificationCenter::Notification& n) { heard << n.name; });
    QDBusConnection raw = QDBusConnection::connectToBus(QString::fromLocal8Bit(m_bus.address()),
                                                        QStringLiteral("hostile-poster"));
    ASSERT_TRUE(raw.isConnected());
    const qint64 before = peakResidentKb(m_agent.processId());
    for (const QByteArray& userInfo :
         {HostileInputs::binaryBomb(), HostileInputs::keyedArchiveBomb(),
          HostileInputs::nestedBinaryArrays(100000), HostileInputs::nestedXmlArrays(1000000)}) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/zz/tolvane/DistributedNotifications"),
            QStringLiteral("zz.tolvane.DistributedNotifications"), QStringLiteral("Post"));
        signal << QStringLiteral("writePalisorConfiguration") << QString() << userInfo;
        ASSERT_TRUE(raw.send(signal));
    }
    ASSERT_TRUE(processEventsUntil([&] { return heard.size() == 4; }, 20000));

    // Its socket still answers from the rules it had.
    const qint64 pid = run(blocked);
    EXPECT_EQ(codesFor(QStringLiteral("1 10.0.0.5 80 %1 TCP 4 0").arg(pid), 1), QStringList{"1 # #"});
    EXPECT_EQ(m_agent.state(), QProcess::Running);
    EXPECT_LT((peakResidentKb(m_agent.processId()) - before) * 1024, HostileInputs::kMemoryAllowance);
    EXPECT_EQ(heard.size(), 4) << "the agent posts nothing in reply: " << heard.join(' ').toStdString();
    QDBusConnection::disconnectFromBus(QStringLiteral("hostile-poster"));
}

// The session ends while an alert waits for the user: the agent ends with
// status 0, its alert's window, timers and look-ups gone before the
// application object (a sanitizer build reports nothing), and its rules go
// back to the daemon as at any end.
TEST_F(AgentEndToEndTest, EndingWithAnAlertOpenEndsCleanly)
{
    DBusDistributedNotificationCenter bus;
    QStringList heard;
    bus.addObserver(QString(), QString(),
                    [&](const DistributedNotificationCenter::Notification& n) { heard << n.name; });
    m_readErrors = true;
    startAgent(QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                        {"enableNotifications", true},
                                        {"notificationsTimeOut", 600.0}}});
    const qint64 pid = run(program(QStringLiteral("stranger")));
    QString error;
    ASSERT_TRUE(m_daemon.sendRequest(QStringLiteral("1 203.0.113.9 443 %1 TCP 4 0").arg(pid), &error))
        << error.toStdString();
    // No rule knows the program: the alert holds the answer back.
    processEventsUntil([] { return false; }, 1500);
    ASSERT_TRUE(m_daemon.answers().empty()) << "no alert was opened";
    ASSERT_EQ(m_agent.state(), QProcess::Running);

    m_agent.terminate();
    ASSERT_TRUE(m_agent.waitForFinished(20000));
    const QByteArray errors = m_agent.readAllStandardError();
    EXPECT_EQ(m_agent.exitStatus(), QProcess::NormalExit) << errors.toStdString();
    EXPECT_EQ(m_agent.exitCode(), 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains("Sanitizer") || errors.contains("runtime error")) << errors.toStdString();
    EXPECT_TRUE(
        processEventsUntil([&] { return heard.contains(QStringLiteral("writePalisorConfiguration")); }));
}

// The agent's socket folder is a file: the socket cannot be bound, and the
// agent says why and ends with status 1 rather than crashing.
TEST_F(AgentEndToEndTest, ASocketThatCannotBeSetUpEndsTheAgentWithStatusOne)
{
    const QString folder = QFileInfo(SimulatedDaemon::agentSocketPath()).absolutePath();
    QDir(folder).removeRecursively();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    launchAgent(QVariantList{});
    ASSERT_TRUE(m_agent.waitForFinished(20000));
    EXPECT_EQ(m_agent.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_agent.exitCode(), 1);
    QFile log(m_root.filePath(QStringLiteral("home/Library/Logs/palisor.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("[PALISOR AGENT] daemon socket: bind ")) << "the log says why";
}

} // namespace

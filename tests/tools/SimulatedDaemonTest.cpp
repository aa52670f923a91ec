#include "palisorafd-sim/SimulatedDaemon.h"

#include "FakeAgent.h"
#include "palisorafd-sim/DaemonScript.h"
#include "palisorafd-sim/DaemonScriptRunner.h"
#include "platform/ProcessInfo.h"
#include "platform/PropertyList.h"
#include "support/EventLoop.h"
#include "support/RecordingDistributedCenter.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace {

int modeOf(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QString textOf(const QByteArray& datagram)
{
    return QString::fromUtf8(datagram.constData(),
                             qsizetype(qstrnlen(datagram.constData(), uint(datagram.size()))));
}

// A short root under /tmp keeps the socket paths well inside sun_path.
class SimulatedDaemonTest : public ::testing::Test
{
protected:
    QString rootPath(const QString& absolutePath) const { return m_root.path() + absolutePath; }

    QTemporaryDir m_root{QStringLiteral("/tmp/pafd-XXXXXX")};
    ScopedEnvironmentVariable m_rootVariable{"PALISOR_ROOT", QFile::encodeName(m_root.path())};
};

} // namespace

TEST_F(SimulatedDaemonTest, RequestsGoOutAsDatagramsAndAnswersArePairedWithThem)
{
    SimulatedDaemon daemon;
    QString error;
    ASSERT_TRUE(daemon.bind(&error)) << error.toStdString();
    // The agent runs as a user: it binds in the sticky agents' folder and
    // sends to this socket, which no one else can replace in its folder.
    EXPECT_EQ(modeOf(rootPath("/var/run/palisor")), 0755);
    EXPECT_EQ(modeOf(rootPath("/var/run/palisor/agent")), 01777);
    EXPECT_EQ(modeOf(rootPath("/var/run/palisor/.zz.tolvane.palisor.agentc")) & 0777, 0777);

    FakeAgent agent;
    ASSERT_TRUE(agent.bind());
    const QString first = QStringLiteral("17 10.0.0.5 443 4242 TCP 4 0");
    const QString withLineFeed = QStringLiteral("18 ::1 80 4243 UDP 6 0\n");
    ASSERT_TRUE(daemon.sendRequest(first, &error)) << error.toStdString();
    ASSERT_TRUE(daemon.sendRequest(withLineFeed, &error)) << error.toStdString();
    for (const QString& request : {first, withLineFeed}) {
        const auto datagram = agent.receive();
        ASSERT_TRUE(datagram.has_value());
        EXPECT_EQ(datagram->size(), 128);
        EXPECT_EQ(textOf(*datagram), request);
    }

    ASSERT_TRUE(agent.answer(first.toUtf8() + " 4 0 1"));
    ASSERT_TRUE(agent.answer(first.toUtf8() + " 0 # #"));
    // The answer for a process that is gone drops the request's line feeds.
    ASSERT_TRUE(agent.answer("18 ::1 80 4243 UDP 6 0 0 # #"));
    ASSERT_TRUE(agent.answer("5"));
    ASSERT_TRUE(agent.answer("99 10.0.0.9 22 1 TCP 4 0 1 # #"));
    ASSERT_TRUE(daemon.waitForAnswers(5, 5000));

    const QStringList expected{
        QStringLiteral("answer 17 10.0.0.5 443 4242 TCP 4 0 -> 4 0 1"),
        QStringLiteral("answer 17 10.0.0.5 443 4242 TCP 4 0 -> 0 # #"),
        QStringLiteral("answer 18 ::1 80 4243 UDP 6 0\\n -> 0 # #"),
        QStringLiteral("answer 5"),
        QStringLiteral("unmatched 99 10.0.0.9 22 1 TCP 4 0 1 # #"),
    };
    QStringList lines;
    for (const auto& answer : daemon.answers())
        lines.append(SimulatedDaemon::describe(answer));
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(daemon.answers()[2].request, withLineFeed);
    EXPECT_TRUE(daemon.answers()[3].clearAll);
}

TEST_F(SimulatedDaemonTest, FailedSendsNameTheirCause)
{
    SimulatedDaemon daemon;
    QString error;
    EXPECT_FALSE(daemon.sendRequest(QStringLiteral("1 a 80 1 TCP 4 0"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not bound"))) << error.toStdString();
    ASSERT_TRUE(daemon.bind(&error)) << error.toStdString();

    EXPECT_FALSE(daemon.sendRequest(QStringLiteral("1 a 80 1 TCP 4 0"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("ENOENT"))) << error.toStdString();

    {
        FakeAgent agent;
        ASSERT_TRUE(agent.bind());
        // Exactly a datagram's worth fits, with no zero byte; one more does not.
        ASSERT_TRUE(daemon.sendRequest(QString(128, QLatin1Char('x')), &error)) << error.toStdString();
        const auto datagram = agent.receive();
        ASSERT_TRUE(datagram.has_value());
        EXPECT_EQ(*datagram, QByteArray(128, 'x'));
        EXPECT_FALSE(daemon.sendRequest(QString(129, QLatin1Char('x')), &error));
        EXPECT_TRUE(error.contains(QStringLiteral("at most 128"))) << error.toStdString();
    }
    // The closed agent left its socket file behind.
    EXPECT_FALSE(daemon.sendRequest(QStringLiteral("1 a 80 1 TCP 4 0"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("ECONNREFUSED"))) << error.toStdString();
    EXPECT_EQ(daemon.sentRequests().size(), 1);
}

TEST_F(SimulatedDaemonTest, PathsLongerThanASocketAddressAreRefusedNotTruncated)
{
    // With the root's length the daemon's path (or only the agent's, which is
    // six bytes longer) passes the 107 bytes a socket address holds.
    for (const int extra : {80, 45}) {
        const QString longRoot = m_root.path() + QLatin1Char('/') + QString(extra, QLatin1Char('r'));
        ASSERT_TRUE(QDir().mkpath(longRoot));
        ScopedEnvironmentVariable root("PALISOR_ROOT", QFile::encodeName(longRoot));
        const QString tooLong =
            extra == 80 ? SimulatedDaemon::daemonSocketPath() : SimulatedDaemon::agentSocketPath();
        SCOPED_TRACE(tooLong.toStdString());

        SimulatedDaemon daemon;
        QString error;
        EXPECT_FALSE(daemon.bind(&error));
        EXPECT_FALSE(daemon.isBound());
        EXPECT_TRUE(error.contains(tooLong)) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("at most 107"))) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(longRoot + QStringLiteral("/var")))
            << "folders were made before the refusal";
    }
}

TEST_F(SimulatedDaemonTest, StaleSocketIsReplacedButAnyOtherFileIsKept)
{
    {
        SimulatedDaemon earlier;
        ASSERT_TRUE(earlier.bind());
    }
    SimulatedDaemon later;
    QString error;
    EXPECT_TRUE(later.bind(&error)) << error.toStdString();

    const QString path = rootPath("/var/run/palisor/.zz.tolvane.palisor.agentc");
    SimulatedDaemon third;
    ASSERT_TRUE(QFile::remove(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(third.bind(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("not a socket"))) << error.toStdString();
    EXPECT_TRUE(QFileInfo(path).isFile());
}

TEST_F(SimulatedDaemonTest, WritePalisorConfigurationBecomesAOneElementArrayUnderTheRoot)
{
    ScopedRecordingDistributedCenter center;
    SimulatedDaemon daemon;
    daemon.listenForNotifications();

    const QVariantMap wrapper{
        {QStringLiteral("PalisorClassName"), QStringLiteral("PalisorConfiguration")},
        {QStringLiteral("PalisorConfiguration"), QByteArray("bplist00\x01\x02", 10)},
        {QStringLiteral("PalisorVersion"), QStringLiteral("1.0")},
    };
    center->postNotificationName(QStringLiteral("writePalisorConfiguration"),
                                 QStringLiteral("zz.palisor.writePalisorConfiguration"), wrapper,
                                 DistributedNotificationCenter::PostToAllSessions);
    const QString path = rootPath("/etc/palisor.conf");
    EXPECT_EQ(daemon.lastWrittenConfiguration(), path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("<?xml"));
    const auto written = PropertyList::readFile(path);
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(*written, QVariant(QVariantList{wrapper}));

    // Without the encoded configuration the file already there stays.
    QVariantMap broken = wrapper;
    broken.remove(QStringLiteral("PalisorConfiguration"));
    center->postNotificationName(QStringLiteral("writePalisorConfiguration"), QString(), broken);
    EXPECT_EQ(PropertyList::readFile(path), written);

    center->postNotificationName(
        QStringLiteral("newAppListReceived"), QStringLiteral("zz.tolvane"),
        QVariantMap{{QStringLiteral("AppList"), QVariantList{QVariantMap{}, QVariantMap{}}},
                    {QStringLiteral("ExclusionList"), QVariantList{}},
                    {QStringLiteral("RecordList"), QVariantList{QVariantMap{}}}});
    center->postNotificationName(QStringLiteral("rootPermissions"), QStringLiteral("zz.tolvane"),
                                 QVariantMap{{QStringLiteral("prefsBlockRoot"), true}});
    center->postNotificationName(QStringLiteral("startAgent"), QStringLiteral("zz.tolvane.startagent"));
    center->postNotificationName(QStringLiteral("notForTheDaemon"), QStringLiteral("zz.tolvane"));

    QStringList lines;
    for (const auto& notification : daemon.notifications())
        lines.append(SimulatedDaemon::describe(notification));
    const QStringList expected{
        QStringLiteral("notification writePalisorConfiguration zz.palisor.writePalisorConfiguration: "
                       "PalisorClassName \"PalisorConfiguration\", PalisorConfiguration 10 bytes, "
                       "PalisorVersion \"1.0\"; wrote ") +
            path,
        QStringLiteral("notification writePalisorConfiguration: PalisorClassName \"PalisorConfiguration\", "
                       "PalisorVersion \"1.0\"; not written: no \"PalisorConfiguration\" data"),
        QStringLiteral(
            "notification newAppListReceived zz.tolvane: AppList 2 entries, ExclusionList 0 entries, "
            "RecordList 1 entry"),
        QStringLiteral("notification rootPermissions zz.tolvane: prefsBlockRoot true"),
        QStringLiteral("notification startAgent zz.tolvane.startagent"),
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(SimulatedDaemonTest, ScriptSpawnsRealProcessesAndWaitsForExpectedAnswers)
{
    SimulatedDaemon daemon;
    ASSERT_TRUE(daemon.bind());
    FakeAgent agent;
    ASSERT_TRUE(agent.bind());

    std::vector<DaemonScript::Step> steps;
    QString error;
    ASSERT_TRUE(DaemonScript::parse(QStringLiteral("spawn sleep 30\n"
                                                   "1 10.0.0.1 80 {pid} TCP 4 0\n"
                                                   "gone\n"
                                                   "2 10.0.0.1 80 {pid} TCP 4 0\n"
                                                   "expect 1 answer within 5000\n"),
                                    &steps, &error))
        << error.toStdString();
    DaemonScriptRunner runner(daemon);
    runner.append(steps);
    runner.finishInput();

    const auto pidIn = [](const QByteArray& datagram) {
        return textOf(datagram).split(QLatin1Char(' ')).value(3).toInt();
    };
    const auto spawned = agent.receive();
    ASSERT_TRUE(spawned.has_value());
    EXPECT_EQ(ProcessInfo::pathForPid(pidIn(*spawned)),
              QFileInfo(QStandardPaths::findExecutable(QStringLiteral("sleep"))).canonicalFilePath());
    const auto gone = agent.receive();
    ASSERT_TRUE(gone.has_value());
    EXPECT_EQ(ProcessInfo::pathForPid(pidIn(*gone)), QStringLiteral("error"));

    EXPECT_FALSE(runner.isFinished()) << "did not wait for the expected answer";
    ASSERT_TRUE(agent.answer(textOf(*gone).toUtf8() + " 0 # #"));
    EXPECT_TRUE(processEventsUntil([&] { return runner.isFinished(); }));
    EXPECT_EQ(runner.status(), DaemonScriptRunner::Succeeded);
}

TEST_F(SimulatedDaemonTest, ScriptStatusTellsAFailedSendFromAnUnmetExpect)
{
    SimulatedDaemon daemon;
    ASSERT_TRUE(daemon.bind());
    const struct
    {
        QString script;
        int status;
    } cases[] = {
        {QStringLiteral("1 10.0.0.1 80 1 TCP 4 0\n"), DaemonScriptRunner::StepFailed},
        {QStringLiteral("expect 1 within 20\n"), DaemonScriptRunner::ExpectationNotMet},
        {QStringLiteral("spawn no-such-program-here\n"), DaemonScriptRunner::StepFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.toStdString());
        std::vector<DaemonScript::Step> steps;
        ASSERT_TRUE(DaemonScript::parse(c.script, &steps, nullptr));
        DaemonScriptRunner runner(daemon);
        QStringList problems;
        QObject::connect(&runner, &DaemonScriptRunner::problem,
                         [&](const QString& message) { problems.append(message); });
        runner.append(steps);
        runner.finishInput();
        EXPECT_TRUE(processEventsUntil([&] { return runner.isFinished(); }));
        EXPECT_EQ(runner.status(), c.status);
        ASSERT_EQ(problems.size(), 1);
        EXPECT_TRUE(problems.first().startsWith(QStringLiteral("line 1: ")))
            << problems.first().toStdString();
    }
}

#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "core/SharedState.h"
#include "daemonlink/Socketcon.h"
#include "mainwindow/PAConnectionController.h"
#include "palisorafd-sim/SimulatedDaemon.h"
#include "platform/KernelEventSocket.h"
#include "support/CapturedLog.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/SleepingChildren.h"
#include "support/widgets/AgentFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The agent's objects wired as at start, reading the kernel-event socket of
// its root, and reports sent to it as the connection-report extension sends
// them, for real processes.
class ConnectionReportEndToEndTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        // The run folder as the daemon lays it out, before the reader starts.
        const QString folder = rootPath(QStringLiteral("/var/run/palisor/agent"));
        ASSERT_TRUE(QDir().mkpath(folder));
        ::chmod(QFile::encodeName(folder).constData(), 01777);
        AgentFixture::SetUp();
        loggaSuFile = true;
        // As the launch does once it finds no other agent running.
        emit m_interface->appDelegate()->onlyInstance();
        ASSERT_TRUE(processEventsUntil([] { return Socketcon::isReading(); }));
    }

    void TearDown() override
    {
        AgentFixture::TearDown();
        EXPECT_FALSE(Socketcon::isReading());
        m_children.reset();
    }

    PAConnectionController& connections() { return *m_interface->connectionController(); }

    QString program(const QString& name)
    {
        return SleepingChildren::copyOfSleep(rootPath(QStringLiteral("/bin/") + name));
    }

    qint64 run(const QString& path) { return m_children->run(path); }

    QString time() { return QString::number(m_clock->now().toSecsSinceEpoch()) + QStringLiteral(".0"); }

    QStringList connectionLines(const CapturedLog& log) const
    {
        QStringList lines;
        for (const QString& message : log.messages())
            if (message.startsWith(QStringLiteral("[CONN] #")))
                lines << message;
        lines.sort();
        return lines;
    }

    std::unique_ptr<SleepingChildren> m_children = std::make_unique<SleepingChildren>();
};

TEST_F(ConnectionReportEndToEndTest, ReportsBecomeRowsAndLogLinesOnceEach)
{
    CapturedLog log;
    SimulatedDaemon reporter;
    const QString curl = program(QStringLiteral("curl"));
    const qint64 pid = run(curl);
    const qint64 gone = SleepingChildren::gonePid();
    const QString uid = QString::number(getuid());
    const QString p = QString::number(pid);
    const QString g = QString::number(gone);

    const QStringList reports = {
        QStringLiteral("0 10.0.0.5 443 %1 6 0").arg(p),
        QStringLiteral("0 10.0.0.6 80 %1 6 0 %2").arg(p, curl),
        // A blocked process that has gone, its path split at its blank.
        QStringLiteral("0 10.0.0.7 22 %1 6 0 /opt/My App/bin/tool").arg(g),
        // Gone and passed: no row, but its line.
        QStringLiteral("0 10.0.0.8 53 %1 6 0").arg(g),
        // A control character in the address does not break the line.
        QStringLiteral("0 10.0.0.9\r\x1b[2J 443 %1 6 0").arg(p),
        // Not ours to read.
        QStringLiteral("1 10.0.0.5 443 %1 6 0").arg(p),
        QStringLiteral("0 10.0.0.5 443"),
        QStringLiteral("0 10.0.0.5 443 %1x 6 0").arg(p),
    };
    for (const QString& report : reports) {
        QString error;
        ASSERT_TRUE(reporter.sendConnectionReport(report, &error)) << error.toStdString();
    }
    // More than an event's data holds is refused, not cut.
    QString tooLong;
    EXPECT_FALSE(reporter.sendConnectionReport(QString(129, QLatin1Char('0')), &tooLong));
    EXPECT_TRUE(tooLong.contains(QStringLiteral("at most 128"))) << tooLong.toStdString();
    // Records that are no connection events.
    const uid_t me = getuid();
    ASSERT_TRUE(KernelEventSocket::send(QByteArray("0 10.0.0.5"), me));
    ASSERT_TRUE(KernelEventSocket::send(KernelEventSocket::encode(4243, "0 10.0.0.5 443 1 6 0"), me));
    ASSERT_TRUE(KernelEventSocket::send(KernelEventSocket::encode(4242, "0 10.0.0.5 443 1 6 0", 0, 7), me));
    // And a last one, so that everything before it has been read.
    ASSERT_TRUE(reporter.sendConnectionReport(QStringLiteral("0 10.0.0.10 8080 %1 6 0").arg(p)));

    ASSERT_TRUE(processEventsUntil([&] { return connectionLines(log).size() >= 6; }));
    drainEvents();
    EXPECT_EQ(connections().connectionCount(), 5);
    const QString t = time();
    QStringList expected = {
        QStringLiteral("[CONN] #%1# #PASS# PROC:#curl### PID:#%2# UID:#%3# PATH:#%4# ADDR:#10.0.0.5#443")
            .arg(t, p, uid, curl),
        QStringLiteral("[CONN] #%1# #BLOCK# PROC:#curl### PID:#%2# UID:#%3# PATH:#%4# ADDR:#10.0.0.6#80")
            .arg(t, p, uid, curl),
        QStringLiteral("[CONN] #%1# #BLOCK# PROC:#tool### PID:#%2# UID:#-1# PATH:#/opt/My App/bin/tool# "
                       "ADDR:#10.0.0.7#22")
            .arg(t, g),
        QStringLiteral("[CONN] #%1# #PASS# PROC:#error### PID:#%2# UID:#-1# PATH:#error# ADDR:#10.0.0.8#53")
            .arg(t, g),
        QStringLiteral(
            "[CONN] #%1# #PASS# PROC:#curl### PID:#%2# UID:#%3# PATH:#%4# ADDR:#10.0.0.9\\x0d\\x1b[2J#443")
            .arg(t, p, uid, curl),
        QStringLiteral("[CONN] #%1# #PASS# PROC:#curl### PID:#%2# UID:#%3# PATH:#%4# ADDR:#10.0.0.10#8080")
            .arg(t, p, uid, curl),
    };
    expected.sort();
    EXPECT_EQ(connectionLines(log), expected);
}

TEST_F(ConnectionReportEndToEndTest, NoLinesWhileLoggingToFileIsOff)
{
    loggaSuFile = false;
    CapturedLog log;
    const qint64 pid = run(program(QStringLiteral("curl")));
    SimulatedDaemon reporter;
    ASSERT_TRUE(reporter.sendConnectionReport(QStringLiteral("0 10.0.0.5 443 %1 6 0").arg(pid)));
    ASSERT_TRUE(processEventsUntil([&] { return connections().connectionCount() == 1; }));
    drainEvents();
    EXPECT_TRUE(connectionLines(log).isEmpty());
}

TEST_F(ConnectionReportEndToEndTest, TheExtensionRunsWhileItsModuleIsLoaded)
{
    EXPECT_FALSE(connections().connKextIsRunning());
    // The filter extension's module is another one.
    ASSERT_TRUE(QDir().mkpath(rootPath(QStringLiteral("/sys/module/palisornke"))));
    EXPECT_FALSE(connections().connKextIsRunning());
    ASSERT_TRUE(QDir().mkpath(rootPath(QStringLiteral("/sys/module/palisorlogsnke"))));
    EXPECT_TRUE(connections().connKextIsRunning());
}

TEST_F(ConnectionReportEndToEndTest, TheSimulatorReportsForItsChildFromTheCommandLine)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    CapturedLog log;
    const QString curl = program(QStringLiteral("curl"));
    QProcess simulator;
    simulator.start(QStringLiteral(PALISORAFD_PATH),
                    {QStringLiteral("--root"), m_root.path(), QStringLiteral("--spawn"),
                     curl + QStringLiteral(" 60"), QStringLiteral("--report"),
                     QStringLiteral("0 10.0.0.5 443 {pid} 6 0"), QStringLiteral("--report"),
                     QStringLiteral("0 10.0.0.6 443 {pid} 6 0 ") + curl, QStringLiteral("--timeout"),
                     QStringLiteral("10")});
    ASSERT_TRUE(processEventsUntil([&] { return connections().connectionCount() == 2; }, 10000))
        << simulator.readAllStandardError().toStdString();
    drainEvents();
    const QStringList lines = connectionLines(log);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("#BLOCK# PROC:#curl### PID:#"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("#PASS# PROC:#curl### PID:#"))) << lines[1].toStdString();
    simulator.terminate();
    ASSERT_TRUE(simulator.waitForFinished(5000));
    const QString output = QString::fromUtf8(simulator.readAllStandardOutput());
    EXPECT_TRUE(output.contains(QStringLiteral("reported 0 10.0.0.5 443 "))) << output.toStdString();
}

} // namespace

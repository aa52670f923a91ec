#include "FakeAgent.h"
#include "platform/DBusDistributedNotificationCenter.h"
#include "support/PrivateBus.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace {

class PalisorafdProgramTest : public ::testing::Test
{
protected:
    // The program is told its root with --root; the test's own PALISOR_ROOT
    // only places the fake agent.
    QProcessEnvironment environmentWithoutRoot() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("PALISOR_ROOT"));
        return environment;
    }

    QTemporaryDir m_root{QStringLiteral("/tmp/pafd-XXXXXX")};
    ScopedEnvironmentVariable m_rootVariable{"PALISOR_ROOT", QFile::encodeName(m_root.path())};
};

} // namespace

TEST_F(PalisorafdProgramTest, RequestFromTheCommandLineIsSentAndItsAnswerPrinted)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeAgent agent;
    ASSERT_TRUE(agent.bind());

    const QString request = QStringLiteral("17 10.0.0.5 443 4242 TCP 4 0");
    QProcess program;
    program.setProcessEnvironment(environmentWithoutRoot());
    program.start(QStringLiteral(PALISORAFD_PATH),
                  {QStringLiteral("--root"), m_root.path(), QStringLiteral("--request"), request,
                   QStringLiteral("--timeout"), QStringLiteral("1")});
    const auto datagram = agent.receive(10000);
    ASSERT_TRUE(datagram.has_value()) << program.readAllStandardError().toStdString();
    EXPECT_EQ(datagram->size(), 128);
    EXPECT_EQ(QByteArray(datagram->constData()), request.toUtf8());

    // It listens on the bus before it sends.
    DBusDistributedNotificationCenter poster;
    poster.postNotificationName(QStringLiteral("startAgent"), QStringLiteral("zz.tolvane.startagent"));
    poster.flush();
    ASSERT_TRUE(agent.answer(request.toUtf8() + " 1 # #"));

    ASSERT_TRUE(program.waitForFinished(10000));
    const QString output = QString::fromUtf8(program.readAllStandardOutput());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(QStringLiteral("sent ") + request)) << output.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("answer ") + request + QStringLiteral(" -> 1 # #")))
        << output.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("notification startAgent zz.tolvane.startagent")))
        << output.toStdString();
}

TEST_F(PalisorafdProgramTest, ExitStatusTellsUsageFromSetupFailures)
{
    const QString badScript = m_root.path() + QStringLiteral("/bad.script");
    QFile file(badScript);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1 a 80 1 TCP 4 0\nwait a while\n");
    file.close();
    const QString longRoot = m_root.path() + QLatin1Char('/') + QString(80, QLatin1Char('r'));

    const struct
    {
        QStringList arguments;
        int exitCode;
        const char* says;
    } cases[] = {
        {{QStringLiteral("--help")}, 0, "Usage: palisorafd"},
        {{QStringLiteral("--bogus")}, 2, "--help"},
        {{QStringLiteral("leftover")}, 2, "unexpected argument"},
        {{QStringLiteral("--timeout"), QStringLiteral("-1")}, 2, "--timeout"},
        {{QStringLiteral("--script"), m_root.path() + QStringLiteral("/missing")},
         2,
         "cannot read the script"},
        {{QStringLiteral("--script"), badScript}, 2, "bad.script:2: \"wait\""},
        {{QStringLiteral("--root"), longRoot}, 1, "at most 107"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        QProcess program;
        program.setProcessEnvironment(environmentWithoutRoot());
        program.start(QStringLiteral(PALISORAFD_PATH), c.arguments);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), c.exitCode);
        const QString output =
            QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        EXPECT_TRUE(output.contains(QString::fromUtf8(c.says))) << output.toStdString();
    }
}

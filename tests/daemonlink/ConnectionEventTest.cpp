#include "daemonlink/ConnectionEvent.h"

#include <QHash>

#include <gtest/gtest.h>

#include <limits>

namespace {

// Processes as a test describes them; any other pid is gone.
class FakeLookups : public ConnectionLookups
{
public:
    struct Process
    {
        QString path;
        int uid = 0;
        QString description;
    };
    QHash<quint32, Process> processes;

    QString infoprocess(quint32 pid) const override
    {
        return processes.contains(pid) ? processes.value(pid).path : QStringLiteral("error");
    }
    int infoRootProcess(quint32 pid) const override
    {
        return processes.contains(pid) ? processes.value(pid).uid : -1;
    }
    QString xpcpid(quint32 pid) const override { return processes.value(pid).description; }
};

constexpr qint64 kMe = 501;

TEST(ConnectionEventFieldsTest, KeepsOnlyLinesTheRoadCanRead)
{
    struct Case
    {
        const char* line;
        qsizetype fields; // 0: ignored
    };
    const Case cases[] = {
        {"0 10.0.0.5 443 17 6 0", 6},
        {"0 10.0.0.5 443 17 6 0 /usr/bin/curl", 7},
        {"0 10.0.0.5 443 17 6 0 /opt/My App/bin/x\n", 8},
        {"0 10.0.0.5 443 17", 4},
        {"\n0 10.0.0.5 4\n43 17 6 0", 6},
        // Field 0 is "0" exactly.
        {"1 10.0.0.5 443 17 6 0", 0},
        {"00 10.0.0.5 443 17 6 0", 0},
        {" 0 10.0.0.5 443 17 6 0", 0},
        // Too few fields for the pid.
        {"0 10.0.0.5 443", 0},
        {"0", 0},
        {"", 0},
        // Pids and ports that are no plain decimal numbers of their range.
        {"0 10.0.0.5 443 x 6 0", 0},
        {"0 10.0.0.5 443 +17 6 0", 0},
        {"0 10.0.0.5 443 -1 6 0", 0},
        {"0 10.0.0.5 443 4294967296 6 0", 0},
        {"0 10.0.0.5 443 99999999999999999999999 6 0", 0},
        {"0 10.0.0.5 443  6 0", 0},
        {"0 10.0.0.5 65536 17 6 0", 0},
        {"0 10.0.0.5 0x1bb 17 6 0", 0},
        {"0 10.0.0.5 443 4294967295 6 0", 6},
        {"0 10.0.0.5 65535 17 6 0", 6},
    };
    for (const Case& c : cases) {
        const auto fields = connectionEventFields(QString::fromUtf8(c.line));
        EXPECT_EQ(fields ? fields->size() : 0, c.fields) << c.line;
    }
}

TEST(ParseConnectionEventTest, ReadsEachReportAsTheLogShowsIt)
{
    FakeLookups lookups;
    lookups.processes.insert(17, {QStringLiteral("/usr/bin/curl"), int(kMe), {}});
    lookups.processes.insert(18, {QStringLiteral("/usr/sbin/ntpd"), 0, {}});
    lookups.processes.insert(
        20, {QStringLiteral("/Library/Sync.xpc/Contents/MacOS/Sync"), int(kMe),
             QStringLiteral("pid/20 = {\n\tdomain = com.apple.xpc.launchd.domain.pid.21\n}")});
    lookups.processes.insert(21, {QStringLiteral("/Applications/Mail.app"), int(kMe), {}});
    lookups.processes.insert(22, {QStringLiteral("/Library/Other.xpc/Contents/MacOS/Other"), int(kMe),
                                  QStringLiteral("domain = com.apple.xpc.launchd.domain.pid.23")});
    lookups.processes.insert(24, {QStringLiteral("/Library/Root.xpc/Contents/MacOS/Root"), 0,
                                  QStringLiteral("domain = com.apple.xpc.launchd.domain.pid.21")});

    struct Case
    {
        const char* line;
        QString path;
        bool blocked;
        QString uid;
        bool otherUser;
        QString viaName;
        QString hostPath;
    };
    const Case cases[] = {
        {"0 10.0.0.5 443 17 6 0", "/usr/bin/curl", false, "501", false, "", ""},
        {"0 10.0.0.5 443 17 6 0 /ignored/while/running", "/usr/bin/curl", true, "501", false, "", ""},
        // A gone process: a blocked report names it, blanks and all.
        {"0 10.0.0.5 443 99 6 0 /opt/My App/bin/tool", "/opt/My App/bin/tool", true, "-1", true, "", ""},
        {"0 10.0.0.5 443 99 6 0", "error", false, "-1", true, "", ""},
        {"0 10.0.0.5 443 18 6 0", "/usr/sbin/ntpd", false, "0", true, "", ""},
        {"0 10.0.0.5 443 20 6 0", "/Library/Sync.xpc/Contents/MacOS/Sync", false, "501", false, "Mail",
         "/Applications/Mail.app"},
        // The host has gone.
        {"0 10.0.0.5 443 22 6 0", "/Library/Other.xpc/Contents/MacOS/Other", false, "501", false, "",
         "error"},
        // Another user's service is not attributed.
        {"0 10.0.0.5 443 24 6 0", "/Library/Root.xpc/Contents/MacOS/Root", false, "0", true, "", ""},
    };
    for (const Case& c : cases) {
        const auto fields = connectionEventFields(QString::fromUtf8(c.line));
        ASSERT_TRUE(fields) << c.line;
        const ParsedConnection parsed = parseConnectionEvent(*fields, lookups, kMe);
        EXPECT_EQ(parsed.path, c.path) << c.line;
        EXPECT_EQ(parsed.blocked, c.blocked) << c.line;
        EXPECT_EQ(parsed.uid, c.uid) << c.line;
        EXPECT_EQ(parsed.otherUser, c.otherUser) << c.line;
        EXPECT_EQ(parsed.viaName, c.viaName) << c.line;
        EXPECT_EQ(parsed.hostPath, c.hostPath) << c.line;
        EXPECT_EQ(parsed.address, QStringLiteral("10.0.0.5")) << c.line;
        EXPECT_EQ(parsed.port, 443) << c.line;
    }
}

TEST(ParseConnectionEventTest, XpcHostIsTheLaunchdDomainsPidWithinItsRange)
{
    struct Case
    {
        const char* description;
        quint32 host;
    };
    const Case cases[] = {
        {"", 7},
        {"domain = com.apple.xpc.launchd.domain.pid.321", 321},
        {"name = x\n\tdomain = com.apple.xpc.launchd.domain.pid.321\n", 321},
        {"domain = com.apple.xpc.launchd.domain.pid.99998", 99998},
        {"domain = com.apple.xpc.launchd.domain.pid.99999", 7},
        {"domain = com.apple.xpc.launchd.domain.pid.0", 7},
        {"domain = com.apple.xpc.launchd.domain.pid.x", 7},
        {"domain = com.apple.xpc.launchd.domain.system", 7},
        // Only the first domain line counts.
        {"domain = system\ndomain = com.apple.xpc.launchd.domain.pid.321", 7},
        {"no domain here", 7},
    };
    for (const Case& c : cases) {
        FakeLookups lookups;
        lookups.processes.insert(7, {QStringLiteral("/x"), 0, QString::fromUtf8(c.description)});
        EXPECT_EQ(xpcHostPid(7, lookups), c.host) << c.description;
    }
}

TEST(ConnectionLogLineTest, WritesTheLineExactly)
{
    ParsedConnection passed;
    passed.path = QStringLiteral("/usr/bin/curl");
    passed.address = QStringLiteral("10.0.0.5");
    passed.port = 443;
    passed.pid = 17;
    passed.uid = QStringLiteral("501");
    EXPECT_EQ(
        connectionLogLine(passed, 1765432109.25),
        QStringLiteral("[CONN] #1765432109.25# #PASS# PROC:#curl### PID:#17# UID:#501# PATH:#/usr/bin/curl# "
                       "ADDR:#10.0.0.5#443"));

    ParsedConnection blocked = passed;
    blocked.blocked = true;
    blocked.path = QStringLiteral("/Library/Sync.xpc/Contents/MacOS/Sync");
    blocked.viaName = QStringLiteral("Mail");
    blocked.hostPath = QStringLiteral("/Applications/Mail.app");
    EXPECT_EQ(connectionLogLine(blocked, 1765432109),
              QStringLiteral("[CONN] #1765432109.0# #BLOCK# PROC:#Sync# VIA:#Mail# PID:#17# UID:#501# "
                             "PATH:#/Library/Sync.xpc/Contents/MacOS/Sync# ADDR:#10.0.0.5#443"));

    ParsedConnection gone;
    gone.path = QStringLiteral("error");
    gone.address = QStringLiteral("1.1.1.1");
    gone.port = 53;
    gone.pid = 99;
    gone.uid = QStringLiteral("-1");
    EXPECT_EQ(
        connectionLogLine(gone, 0.5),
        QStringLiteral("[CONN] #0.5# #PASS# PROC:#error### PID:#99# UID:#-1# PATH:#error# ADDR:#1.1.1.1#53"));

    // A "%" is text.
    gone.path = QStringLiteral("/tmp/100%s");
    EXPECT_TRUE(connectionLogLine(gone, 1).contains(QStringLiteral("PROC:#100%s###")));
}

TEST(ConnectionLogLineTest, WritesTheTimeAsDecimalSeconds)
{
    struct Case
    {
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {1765432109.25, "1765432109.25"},
        {1765432109, "1765432109.0"},
        // Round and far times are where a shortest form turns to an exponent.
        {1797000000.0, "1797000000.0"},
        {1e9, "1000000000.0"},
        {1e10, "10000000000.0"},
        {4102444800.5, "4102444800.5"},
        {1e21, "1000000000000000000000.0"},
        {0, "0.0"},
        {0.5, "0.5"},
        {0.001, "0.001"},
        {1e-7, "0.0000001"},
        {-1.5, "-1.5"},
    };
    ParsedConnection connection;
    connection.path = QStringLiteral("/usr/bin/curl");
    connection.uid = QStringLiteral("0");
    for (const Case& c : cases) {
        const QString line = connectionLogLine(connection, c.seconds);
        EXPECT_TRUE(
            line.startsWith(QStringLiteral("[CONN] #") + QLatin1String(c.text) + QStringLiteral("# #PASS#")))
            << c.text << " -> " << line.toStdString();
    }
    // The smallest and largest doubles still come out whole.
    for (const double extreme :
         {std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max()}) {
        const QString line = connectionLogLine(connection, extreme);
        const QString time = line.section(QLatin1Char('#'), 1, 1);
        EXPECT_FALSE(time.contains(QLatin1Char('e'))) << time.toStdString();
        EXPECT_EQ(time.toDouble(), extreme) << time.toStdString();
    }
}

TEST(ConnectionLogLineTest, ControlCharactersNeverBreakTheLine)
{
    ParsedConnection connection;
    connection.path = QStringLiteral("/tmp/evil\nname\r\x1b[2J");
    connection.address = QStringLiteral("10.0.0.5\t\x7f");
    connection.viaName = QString(QChar(0x2028)) + QStringLiteral("x") + QChar(0x85);
    connection.uid = QStringLiteral("0");
    const QString line = connectionLogLine(connection, 1);
    for (const QChar c : line)
        EXPECT_TRUE(c.unicode() >= 0x20 && c.unicode() != 0x7f && c.unicode() != 0x85 &&
                    c.unicode() != 0x2028)
            << "U+" << std::hex << unsigned(c.unicode());
    EXPECT_TRUE(line.contains(QStringLiteral("PATH:#/tmp/evil\\x0aname\\x0d\\x1b[2J#")))
        << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("ADDR:#10.0.0.5\\x09\\x7f#"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("VIA:#\\u2028x\\x85#"))) << line.toStdString();
}

TEST(ConnectionLogLineTest, NamesAProcessByItsOutermostBundle)
{
    struct Case
    {
        const char* path;
        const char* name;
    };
    const Case cases[] = {
        {"/usr/bin/curl", "curl"},
        {"curl", "curl"},
        {"/Applications/Mail.app/Contents/MacOS/Mail", "Mail"},
        {"/Applications/Outer.app/Contents/Helpers/Inner.app/Contents/MacOS/inner", "Outer"},
        // Bundle-like names without a bundle's contents go by their last part.
        {"/opt/Tool.app/tool", "tool"},
        {"/opt/x.app", "x.app"},
        {"/opt/Tool.app.d/Contents/x.app/Contents/MacOS/x", "x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(connectionProcessName(QString::fromUtf8(c.path)), QString::fromUtf8(c.name)) << c.path;
}

} // namespace

#include "platform/DBusDistributedNotificationCenter.h"

#include "platform/PropertyList.h"
#include "support/CapturedLog.h"
#include "support/HostileInputs.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using Notification = DistributedNotificationCenter::Notification;

bool waitUntil(const std::function<bool()>& done, int milliseconds = 5000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A "Post" as any other process on the bus may send it.
bool sendPost(QDBusConnection& connection, const QString& name, const QByteArray& userInfo)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/zz/tolvane/DistributedNotifications"),
                                                     QStringLiteral("zz.tolvane.DistributedNotifications"),
                                                     QStringLiteral("Post"));
    signal << name << QStringLiteral("agent") << userInfo;
    return connection.send(signal);
}

// A dbus-daemon of the test's own, so nothing reaches the real buses.
class PrivateBusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_daemon.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        ASSERT_TRUE(m_daemon.waitForStarted(5000)) << "dbus-daemon did not start";
        QDeadlineTimer deadline(5000);
        while (!m_daemon.canReadLine() && !deadline.hasExpired())
            m_daemon.waitForReadyRead(100);
        m_address = m_daemon.readLine().trimmed();
        ASSERT_FALSE(m_address.isEmpty()) << "dbus-daemon printed no address";
    }

    void TearDown() override
    {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    QProcess m_daemon;
    QByteArray m_address;
};

TEST_F(PrivateBusTest, PostReachesObserversWithTypesIntactAndMatchesObject)
{
    ScopedEnvironmentVariable bus("PALISOR_DBUS_ADDRESS", m_address);
    DBusDistributedNotificationCenter poster;
    DBusDistributedNotificationCenter listener;
    const QString name = QStringLiteral("zz.tolvane.test.changed");

    QList<Notification> heardByPoster;
    QList<Notification> heardByListener;
    int heardForOtherObject = 0;
    poster.addObserver(name, QStringLiteral("agent"), [&](const Notification& n) { heardByPoster << n; });
    listener.addObserver(QString(), QString(), [&](const Notification& n) { heardByListener << n; });
    listener.addObserver(name, QStringLiteral("someone else"),
                         [&](const Notification&) { ++heardForOtherObject; });

    const QVariantMap userInfo{
        {QStringLiteral("count"), 42LL},
        {QStringLiteral("enabled"), true},
        {QStringLiteral("path"), QStringLiteral("/Applications/Ünïcode.app")},
        {QStringLiteral("rules"),
         QVariantList{QVariantMap{{QStringLiteral("port"), 443LL}, {QStringLiteral("allow"), false}},
                      QVariantMap{{QStringLiteral("port"), 80LL}, {QStringLiteral("allow"), true}}}},
    };
    // Signals arrive in the order sent: the unwatched name comes first, so it
    // would already have been delivered when the watched one is.
    poster.postNotificationName(QStringLiteral("zz.tolvane.test.unwatched"), QStringLiteral("nobody"));
    poster.postNotificationName(name, QStringLiteral("agent"), userInfo,
                                DistributedNotificationCenter::PostToAllSessions);
    poster.flush();

    ASSERT_TRUE(waitUntil([&] { return heardByPoster.size() == 1 && heardByListener.size() == 2; }));
    EXPECT_EQ(heardForOtherObject, 0);
    EXPECT_EQ(heardByListener[0].name, QStringLiteral("zz.tolvane.test.unwatched"));
    EXPECT_TRUE(heardByListener[0].userInfo.isEmpty());
    for (const Notification& n : {heardByPoster[0], heardByListener[1]}) {
        EXPECT_EQ(n.name, name);
        EXPECT_EQ(n.object, QStringLiteral("agent"));
        EXPECT_EQ(n.userInfo, userInfo);
        EXPECT_EQ(n.userInfo.value(QStringLiteral("count")).typeId(), QMetaType::LongLong);
        EXPECT_EQ(n.userInfo.value(QStringLiteral("enabled")).typeId(), QMetaType::Bool);
        const QVariantList rules = n.userInfo.value(QStringLiteral("rules")).toList();
        ASSERT_EQ(rules.size(), 2);
        EXPECT_EQ(rules[0].toMap().value(QStringLiteral("allow")).typeId(), QMetaType::Bool);
        EXPECT_EQ(rules[0].toMap().value(QStringLiteral("port")).typeId(), QMetaType::LongLong);
    }

    // Another process's signal whose userInfo is not a plist dictionary is
    // still delivered, without the userInfo.
    QDBusConnection raw =
        QDBusConnection::connectToBus(QString::fromUtf8(m_address), QStringLiteral("raw-sender"));
    ASSERT_TRUE(raw.isConnected());
    const QByteArray badUserInfos[] = {QByteArray("not a plist"),
                                       PropertyList::toData(QVariantList{1}, PropertyList::Format::Binary)};
    for (const QByteArray& bytes : badUserInfos)
        ASSERT_TRUE(sendPost(raw, name, bytes));
    ASSERT_TRUE(waitUntil([&] { return heardByPoster.size() == 3; }));
    EXPECT_TRUE(heardByPoster[1].userInfo.isEmpty());
    EXPECT_TRUE(heardByPoster[2].userInfo.isEmpty());
    QDBusConnection::disconnectFromBus(QStringLiteral("raw-sender"));
}

// Any process on the bus may post: the bombs and the deep nesting arrive as
// userInfos, to a centre that observes the name and to one that only checks
// them. Both hear the post without its userInfo, built from nothing; a
// userInfo past the largest any peer sends is not read, and said once.
TEST_F(PrivateBusTest, HostileUserInfosAreRefusedAndOversizedOnesDroppedUnread)
{
    ScopedEnvironmentVariable bus("PALISOR_DBUS_ADDRESS", m_address);
    DBusDistributedNotificationCenter observing;
    DBusDistributedNotificationCenter checking;
    const QString name = QStringLiteral("zz.tolvane.test.hostile");
    QList<Notification> heard;
    observing.addObserver(name, QString(), [&](const Notification& n) { heard << n; });
    QDBusConnection raw =
        QDBusConnection::connectToBus(QString::fromUtf8(m_address), QStringLiteral("hostile-sender"));
    ASSERT_TRUE(raw.isConnected());
    // A dictionary at the top, so only the bound refuses it.
    QByteArray oversized =
        PropertyList::toData(QVariantMap{{QStringLiteral("padding"), QByteArray(17 * 1024 * 1024, 'x')}},
                             PropertyList::Format::Binary);
    const QByteArray hostile[] = {HostileInputs::binaryBomb(), HostileInputs::nestedBinaryArrays(100000),
                                  HostileInputs::nestedXmlArrays(1000000)};

    CapturedLog log;
    const qint64 before = HostileInputs::peakResidentBytes();
    for (const QByteArray& userInfo : hostile)
        ASSERT_TRUE(sendPost(raw, name, userInfo));
    ASSERT_TRUE(waitUntil([&] { return heard.size() == 3; }, 20000));
    EXPECT_LT(HostileInputs::peakResidentBytes() - before, HostileInputs::kMemoryAllowance);
    ASSERT_TRUE(sendPost(raw, name, oversized));
    ASSERT_TRUE(sendPost(raw, name, oversized));
    ASSERT_TRUE(waitUntil([&] { return heard.size() == 5; }, 20000));
    for (const Notification& n : heard) {
        EXPECT_EQ(n.name, name);
        EXPECT_TRUE(n.userInfo.isEmpty());
    }
    // Each unreadable one is said by each centre; the oversized pair once each.
    EXPECT_EQ(log.count(QStringLiteral("unreadable userInfo")), 6);
    EXPECT_EQ(log.count(QStringLiteral("more than 16777216")), 2);
    QDBusConnection::disconnectFromBus(QStringLiteral("hostile-sender"));
}

// D-Bus carries no array longer than 64 MiB, and libdbus aborts the sender
// of one: such a post is refused and logged, and later posts still go out.
TEST_F(PrivateBusTest, UserInfoTooLargeForTheBusIsRefusedAndTheCentreGoesOn)
{
    constexpr qsizetype limit = DistributedNotificationCenter::kMaxUserInfoBytes;
    EXPECT_TRUE(DistributedNotificationCenter::userInfoFits(limit));
    EXPECT_FALSE(DistributedNotificationCenter::userInfoFits(limit + 1));

    ScopedEnvironmentVariable bus("PALISOR_DBUS_ADDRESS", m_address);
    DBusDistributedNotificationCenter poster;
    DBusDistributedNotificationCenter listener;
    QList<Notification> heard;
    listener.addObserver(QString(), QString(), [&](const Notification& n) { heard << n; });
    const QVariantMap small{{QStringLiteral("n"), 1LL}};
    CapturedLog log;
    poster.postNotificationData(QStringLiteral("zz.tolvane.test.large"), QStringLiteral("agent"),
                                QByteArray(limit + 1, '\0'),
                                DistributedNotificationCenter::PostToAllSessions);
    poster.postNotificationName(QStringLiteral("zz.tolvane.test.after"), QStringLiteral("agent"), small);
    poster.flush();
    ASSERT_TRUE(waitUntil([&] { return !heard.isEmpty(); }));
    EXPECT_EQ(heard.size(), 1);
    EXPECT_EQ(heard.at(0).name, QStringLiteral("zz.tolvane.test.after"));
    EXPECT_EQ(heard.at(0).userInfo, small);
    EXPECT_EQ(log.count(QStringLiteral("\"zz.tolvane.test.large\" is %1 bytes, more than the bus carries")
                            .arg(limit + 1)),
              1)
        << log.messages().join('\n').toStdString();
}

TEST(DBusDistributedNotificationCenterTest, UnreachableBusIsLoggedOnceAndPostsAreDropped)
{
    QTemporaryDir dir(QStringLiteral("/tmp/palisor-nobus-XXXXXX"));
    ScopedEnvironmentVariable bus("PALISOR_DBUS_ADDRESS", "unix:path=" + dir.path().toUtf8() + "/no-bus");

    testing::internal::CaptureStderr();
    {
        DBusDistributedNotificationCenter center;
        int heard = 0;
        center.addObserver(QString(), QString(), [&](const Notification&) { ++heard; });
        center.postNotificationName(QStringLiteral("zz.tolvane.test.first"), QString(),
                                    {{QStringLiteral("a"), 1}});
        center.postNotificationName(QStringLiteral("zz.tolvane.test.second"), QString(), {},
                                    DistributedNotificationCenter::PostToAllSessions);
        center.flush();
        QCoreApplication::processEvents();
        EXPECT_EQ(heard, 0);
    }
    const std::string log = testing::internal::GetCapturedStderr();
    size_t lines = 0;
    for (size_t at = log.find("DistributedNotificationCenter:"); at != std::string::npos;
         at = log.find("DistributedNotificationCenter:", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << log;
}

} // namespace

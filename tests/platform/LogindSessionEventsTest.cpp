#include "platform/LogindSessionEvents.h"

#include "support/CapturedLog.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/StandInLogind.h"

#include <QDBusConnection>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QDBusConnection connect(const PrivateBus& bus, const char* name)
{
    return QDBusConnection::connectToBus(QString::fromLatin1(bus.address()), QString::fromLatin1(name));
}

} // namespace

// Only a change of this session's Active property is an event: repeats and
// other properties are not, and a change announced without its value is read.
TEST(LogindSessionEventsTest, ActiveGoingFalseAndTrueAreTheTwoEvents)
{
    PrivateBus bus(nullptr);
    ASSERT_TRUE(bus.isRunning());
    StandInLogind logind(bus.address(), QStringLiteral("7"));
    ASSERT_TRUE(logind.isRunning());
    ScopedEnvironmentVariable session("XDG_SESSION_ID", "7");

    LogindSessionEvents events(connect(bus, "session-events-follow"));
    QSignalSpy resigned(&events, &SessionEvents::sessionDidResignActive);
    QSignalSpy became(&events, &SessionEvents::sessionDidBecomeActive);
    ASSERT_TRUE(events.start());
    EXPECT_EQ(events.sessionPath(), logind.sessionPath());
    EXPECT_EQ(logind.askedSessions(), QStringList{QStringLiteral("7")});

    logind.setActive(true); // already active
    logind.setActive(false);
    logind.setActive(false);
    ASSERT_TRUE(processEventsUntil([&] { return resigned.count() == 1; }));
    logind.setActive(true, false);
    ASSERT_TRUE(processEventsUntil([&] { return became.count() == 1; }));
    drainEvents();
    EXPECT_EQ(resigned.count(), 1);
    EXPECT_EQ(became.count(), 1);
}

TEST(LogindSessionEventsTest, WithoutLogindOneLineAndNoEvents)
{
    PrivateBus bus(nullptr);
    ASSERT_TRUE(bus.isRunning());
    CapturedLog log;
    LogindSessionEvents events(connect(bus, "session-events-alone"));
    QSignalSpy resigned(&events, &SessionEvents::sessionDidResignActive);
    EXPECT_FALSE(events.start());
    EXPECT_EQ(log.count(QStringLiteral("session switches are not followed")), 1);
    EXPECT_TRUE(events.sessionPath().isEmpty());

    LogindSessionEvents noBus(QDBusConnection(QStringLiteral("no-such-connection")));
    EXPECT_FALSE(noBus.start());
    EXPECT_EQ(log.count(QStringLiteral("session switches are not followed")), 2);
}

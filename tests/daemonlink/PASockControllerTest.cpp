#include "daemonlink/PASockController.h"

#include "core/SharedState.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Counts "startwhoisquery" posts while it lives.
class ProbeEnds
{
public:
    ProbeEnds()
        : m_token(appNotificationCenter().addObserver(
              QStringLiteral("startwhoisquery"),
              [this](const NotificationCenter::Notification&) { ++m_count; }))
    {
    }
    ~ProbeEnds() { appNotificationCenter().removeObserver(m_token); }
    int count() const { return m_count; }

private:
    int m_count = 0;
    NotificationCenter::ObserverToken m_token;
};

// A port on 127.0.0.1 that refuses connections: one just given up.
quint16 closedPort()
{
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

} // namespace

TEST(PASockController, ListenerGivesTwoClosedPortGivesOneEachPostedOnce)
{
    PASockController probe;
    EXPECT_EQ(probe.responseString(), QStringLiteral("1"));
    EXPECT_EQ(probe.port(), 43);
    EXPECT_FALSE(probe.host().isEmpty());

    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    probe.setServer(QStringLiteral("127.0.0.1"), listener.serverPort());
    ProbeEnds ends;
    probe.checkWhois();
    // It returns before anything is tried: nothing blocks its caller.
    EXPECT_EQ(ends.count(), 0);
    ASSERT_TRUE(processEventsUntil([&] { return ends.count() == 1; }));
    EXPECT_EQ(probe.responseString(), QStringLiteral("2"));
    // The probe opened a connection and closed it again.
    ASSERT_TRUE(processEventsUntil([&] { return listener.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> accepted(listener.nextPendingConnection());
    EXPECT_TRUE(processEventsUntil([&] { return accepted->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(accepted->readAll(), QByteArray());

    // A new probe reads "1" from its start, and ends at "1" when refused.
    probe.setServer(QStringLiteral("127.0.0.1"), closedPort());
    probe.checkWhois();
    EXPECT_EQ(probe.responseString(), QStringLiteral("2"));
    drainEvents();
    ASSERT_TRUE(processEventsUntil([&] { return ends.count() == 2; }));
    EXPECT_EQ(probe.responseString(), QStringLiteral("1"));
    drainEvents();
    EXPECT_EQ(ends.count(), 2);
}

// A server that never answers: the time-out ends the probe, once, at "1".
TEST(PASockController, UnansweredProbeEndsAtTheTimeOut)
{
    ScopedManualClock clock;
    PASockController probe;
    // TEST-NET-1 is routed nowhere: the connection either hangs until the
    // time-out or fails at once, and both must end the same way.
    probe.setServer(QStringLiteral("192.0.2.1"), 43);
    ProbeEnds ends;
    probe.checkWhois();
    drainEvents();
    clock->advance(PASockController::kProbeSeconds);
    ASSERT_TRUE(processEventsUntil([&] { return ends.count() == 1; }));
    EXPECT_EQ(probe.responseString(), QStringLiteral("1"));
    clock->advance(PASockController::kProbeSeconds);
    drainEvents();
    EXPECT_EQ(ends.count(), 1);
    EXPECT_EQ(clock->activeTimerCount(), 0);
}

// A probe asked of a controller that goes away before it starts posts
// nothing and touches nothing.
TEST(PASockController, ProbeOfADestroyedControllerEndsSilently)
{
    ScopedManualClock clock;
    ProbeEnds ends;
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    {
        PASockController probe;
        probe.setServer(QStringLiteral("127.0.0.1"), listener.serverPort());
        probe.checkWhois();
    }
    drainEvents();
    clock->advance(PASockController::kProbeSeconds);
    drainEvents();
    EXPECT_EQ(ends.count(), 0);
    EXPECT_FALSE(listener.hasPendingConnections());
}

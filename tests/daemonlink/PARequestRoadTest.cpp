#include "daemonlink/PARequestRoad.h"

#include "core/SharedState.h"
#include "platform/SerialQueue.h"
#include "support/EventLoop.h"
#include "support/SharedStateReset.h"

#include <QHash>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The table of open alerts that the windows keep, reduced to what the road
// asks of it.
class FakeAlerts : public PARequestAlerts
{
public:
    void insert(const QString& tag, std::shared_ptr<QObject> alert) override { m_alerts.insert(tag, alert); }
    bool contains(const QString& tag) const override { return m_alerts.contains(tag); }
    std::shared_ptr<QObject> take(const QString& tag) override { return m_alerts.take(tag); }
    void clear() { m_alerts.clear(); }

private:
    QHash<QString, std::shared_ptr<QObject>> m_alerts;
};

class PARequestRoadTest : public ::testing::Test
{
protected:
    void SetUp() override { resetSharedState(); }
    void TearDown() override
    {
        openAlerts.clear();
        resetSharedState();
    }

    SerialQueue m_queue{QStringLiteral("road-test")};
    // Named as the windows' table, which the cases read.
    FakeAlerts openAlerts;
    PARequestRoad m_road{m_queue, openAlerts};
};

// However the handler returns, a request with no alert left open never keeps
// the queue.
TEST_F(PARequestRoadTest, ARequestThatLeavesNoAlertIsEndedByTheRoad)
{
    struct Case
    {
        const char* label;
        std::function<void(PARequestRoad&)> handle;
    } cases[] = {
        {"handler returns without a word", [](PARequestRoad&) {}},
        {"tagged but no alert", [](PARequestRoad& road) { road.beginRequest(road.takeTag()); }},
        {"ended by the handler", [](PARequestRoad& road) { road.endWithoutAlert(); }},
        {"alert opened and answered at once",
         [](PARequestRoad& road) {
             const QString tag = road.takeTag();
             road.open(tag, nullptr);
             road.end(tag);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m_road.run([&] { c.handle(m_road); });
        EXPECT_FALSE(m_road.holdsQueue());
        EXPECT_FALSE(m_queue.isSuspended());
    }
}

TEST_F(PARequestRoadTest, AnOpenAlertHoldsTheQueueUntilItsOwnEnd)
{
    QString tag;
    m_road.run([&] {
        tag = m_road.takeTag();
        m_road.open(tag, nullptr);
    });
    EXPECT_TRUE(m_queue.isSuspended());
    EXPECT_EQ(m_road.openTag(), tag);

    m_road.end(QStringLiteral("999998")); // a stale end of an earlier request
    EXPECT_TRUE(m_queue.isSuspended());

    EXPECT_TRUE(m_road.claimAnswer(tag));
    EXPECT_FALSE(m_road.claimAnswer(tag)) << "one answer per request";
    m_road.end(tag);
    EXPECT_FALSE(m_queue.isSuspended());
    EXPECT_FALSE(openAlerts.contains(tag));
    EXPECT_FALSE(m_road.claimAnswer(tag)) << "an ended request gets no answer";
}

// The alert that ends its own request may hold the last reference to itself
// only in the table: it must finish the call before it goes.
TEST_F(PARequestRoadTest, AnEndedRequestsAlertGoesOnALaterTurnOfTheMainQueue)
{
    auto alert = std::make_shared<QObject>();
    const std::weak_ptr<QObject> watched = alert;
    QString tag;
    m_road.run([&] {
        tag = m_road.takeTag();
        m_road.open(tag, std::move(alert));
    });
    m_road.end(tag);
    EXPECT_FALSE(openAlerts.contains(tag));
    EXPECT_FALSE(watched.expired()) << "still alive for the rest of the call";
    drainEvents();
    EXPECT_TRUE(watched.expired());
}

TEST_F(PARequestRoadTest, TagsRunFromTwoToTheLastAndRoundAgain)
{
    requestTagCounter = 1;
    EXPECT_EQ(m_road.takeTag(), "2");
    requestTagCounter = 999998;
    EXPECT_EQ(m_road.takeTag(), "999999");
    EXPECT_EQ(m_road.takeTag(), "2");
}

} // namespace

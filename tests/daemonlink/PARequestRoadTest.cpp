#include "daemonlink/PARequestRoad.h"

#include "core/SharedState.h"
#include "platform/SerialQueue.h"
#include "support/EventLoop.h"
#include "support/SharedStateReset.h"

#include <gtest/gtest.h>

namespace {

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
    PARequestRoad m_road{m_queue};
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

TEST_F(PARequestRoadTest, TagsRunFromTwoToTheLastAndRoundAgain)
{
    requestTagCounter = 1;
    EXPECT_EQ(m_road.takeTag(), "2");
    requestTagCounter = 999998;
    EXPECT_EQ(m_road.takeTag(), "999999");
    EXPECT_EQ(m_road.takeTag(), "2");
}

} // namespace

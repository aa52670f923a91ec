#include "platform/Clock.h"

#include "support/EventLoop.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SystemClockTest, TimersFireOnMainUnlessInvalidatedAndOutliveTheirHandle)
{
    SystemClock clock;
    int fired = 0;
    int cancelled = 0;
    TimerRef cancelledTimer = clock.scheduledTimer(0.01, false, [&] { ++cancelled; });
    clock.scheduledTimer(0.01, false, [&] { ++fired; }); // handle dropped at once
    cancelledTimer->invalidate();
    EXPECT_FALSE(cancelledTimer->isValid());
    ASSERT_TRUE(processEventsUntil([&] { return fired == 1; }));
    drainEvents();
    EXPECT_EQ(cancelled, 0);

    int ticks = 0;
    TimerRef repeating = clock.scheduledTimer(0.005, true, [&] { ++ticks; });
    ASSERT_TRUE(processEventsUntil([&] { return ticks >= 3; }));
    EXPECT_TRUE(repeating->isValid());
    repeating->invalidate();
}

TEST(ManualClockTest, AdvanceFiresDueTimersInTimeOrder)
{
    ManualClock clock;
    std::vector<std::string> fired;
    clock.scheduledTimer(5, true, [&] { fired.push_back("tick"); });
    clock.scheduledTimer(12, false, [&] { fired.push_back("expire"); });
    clock.advance(11.9);
    EXPECT_EQ(fired, (std::vector<std::string>{"tick", "tick"}));
    clock.advance(3.1);
    EXPECT_EQ(fired, (std::vector<std::string>{"tick", "tick", "expire", "tick"}));
    EXPECT_EQ(clock.activeTimerCount(), 1);
}

} // namespace

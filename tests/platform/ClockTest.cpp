#include "platform/Clock.h"

#include "support/EventLoop.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

// An interval from a damaged file is never cast as it is: NaN and negatives
// wait for nothing, anything beyond an int of milliseconds the longest a
// timer can wait.
TEST(ClockTest, IntervalsNoTimerCanHoldAreNeverCastAsTheyAre)
{
    const double inf = std::numeric_limits<double>::infinity();
    const int longest = std::numeric_limits<int>::max();
    struct Case
    {
        double seconds;
        int milliseconds;
    };
    for (const Case& c : {Case{std::nan(""), 0}, Case{-inf, 0}, Case{-1.0, 0}, Case{0.0004, 0},
                          Case{1.5, 1500}, Case{43200.0, 43200000}, Case{Clock::kLongestInterval, longest},
                          Case{1e9, longest}, Case{1e308, longest}, Case{inf, longest}})
        EXPECT_EQ(Clock::milliseconds(c.seconds), c.milliseconds) << c.seconds;

    SystemClock clock;
    int fired = 0;
    TimerRef waiting = clock.scheduledTimer(1e308, false, [&] { ++fired; });
    clock.scheduledTimer(std::nan(""), false, [&] { ++fired; });
    ASSERT_TRUE(processEventsUntil([&] { return fired == 1; })) << "a NaN timer still fires";
    drainEvents();
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(waiting->isValid());
    waiting->invalidate();

    ManualClock manual;
    manual.scheduledTimer(std::nan(""), false, [&] { ++fired; });
    manual.advance(0);
    EXPECT_EQ(fired, 2);
}

} // namespace

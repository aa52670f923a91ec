#pragma once

#include <QDateTime>

#include <functional>
#include <memory>

// A scheduled timer. It keeps running after its handle is dropped, as a
// scheduled timer does, until it fires (one-shot) or is invalidated.
class Timer
{
public:
    virtual ~Timer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
    virtual double timeInterval() const = 0;
};
using TimerRef = std::shared_ptr<Timer>;

// Stops a timer that may be absent or already done.
inline void invalidateTimer(const TimerRef& timer)
{
    if (timer)
        timer->invalidate();
}

// Time for everything that waits: alert time-outs, quiet periods, temporary
// rules, the pruning tick, the 12-hour update check, the readiness retries.
// One clock, so that tests replace it and advance time instead of sleeping.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
    // The action runs on the main thread after `seconds` (and every `seconds`
    // when repeating). Must be called on the main thread.
    virtual TimerRef scheduledTimer(double seconds, bool repeats, std::function<void()> action) = 0;

    // The longest a timer can wait: whole milliseconds in an int.
    static constexpr double kLongestInterval = 2147483.647;
    // The whole milliseconds a timer of `seconds` waits: none for NaN or a
    // negative time, the longest for anything beyond it. Never a cast of a
    // value that an integer cannot hold.
    static int milliseconds(double seconds);

    static Clock& shared();
    // nullptr restores the system clock. The caller keeps ownership.
    static void setShared(Clock* clock);
};

// The real clock: QTimer on the main event loop.
class SystemClock : public Clock
{
public:
    QDateTime now() const override;
    TimerRef scheduledTimer(double seconds, bool repeats, std::function<void()> action) override;
};

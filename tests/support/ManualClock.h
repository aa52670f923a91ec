#pragma once

#include "platform/Clock.h"

#include <QDateTime>

#include <functional>
#include <memory>
#include <vector>

// A clock that moves only when a test advances it. Due timers fire in time
// order, on the calling (main) thread, during advance().
class ManualClock : public Clock
{
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC));
    ~ManualClock() override;

    QDateTime now() const override;
    TimerRef scheduledTimer(double seconds, bool repeats, std::function<void()> action) override;

    void advance(double seconds);
    // Timers scheduled and still valid.
    int activeTimerCount() const;

private:
    struct Entry;
    QDateTime m_now;
    std::vector<std::shared_ptr<Entry>> m_entries;
};

// Installs a ManualClock as the shared clock for a test's lifetime.
class ScopedManualClock
{
public:
    ScopedManualClock();
    ~ScopedManualClock();
    ManualClock& clock() { return m_clock; }
    ManualClock* operator->() { return &m_clock; }

private:
    ManualClock m_clock;
};

#include "support/ManualClock.h"

#include <algorithm>
#include <cmath>

struct ManualClock::Entry : Timer
{
    qint64 dueMs = 0;
    qint64 intervalMs = 0;
    double seconds = 0;
    bool repeats = false;
    bool valid = true;
    std::function<void()> action;

    void invalidate() override { valid = false; }
    bool isValid() const override { return valid; }
    double timeInterval() const override { return seconds; }
};

ManualClock::ManualClock(QDateTime start)
    : m_now(std::move(start))
{
}

ManualClock::~ManualClock() = default;

QDateTime ManualClock::now() const
{
    return m_now;
}

TimerRef ManualClock::scheduledTimer(double seconds, bool repeats, std::function<void()> action)
{
    auto entry = std::make_shared<Entry>();
    entry->seconds = seconds;
    entry->intervalMs = Clock::milliseconds(seconds);
    entry->dueMs = m_now.toMSecsSinceEpoch() + entry->intervalMs;
    entry->repeats = repeats && entry->intervalMs > 0;
    entry->action = std::move(action);
    m_entries.push_back(entry);
    return entry;
}

void ManualClock::advance(double seconds)
{
    const qint64 target = m_now.toMSecsSinceEpoch() + std::llround(seconds * 1000.0);
    for (;;) {
        std::erase_if(m_entries, [](const std::shared_ptr<Entry>& e) { return !e->valid; });
        std::shared_ptr<Entry> next;
        for (const auto& entry : m_entries)
            if (entry->dueMs <= target && (!next || entry->dueMs < next->dueMs))
                next = entry;
        if (!next)
            break;
        m_now = QDateTime::fromMSecsSinceEpoch(next->dueMs, Qt::UTC);
        if (next->repeats)
            next->dueMs += next->intervalMs;
        else
            next->valid = false;
        // The action may schedule or invalidate timers, this one included.
        auto action = next->action;
        action();
    }
    m_now = QDateTime::fromMSecsSinceEpoch(target, Qt::UTC);
}

int ManualClock::activeTimerCount() const
{
    return static_cast<int>(
        std::count_if(m_entries.begin(), m_entries.end(), [](const auto& e) { return e->valid; }));
}

ScopedManualClock::ScopedManualClock()
{
    Clock::setShared(&m_clock);
}

ScopedManualClock::~ScopedManualClock()
{
    Clock::setShared(nullptr);
}

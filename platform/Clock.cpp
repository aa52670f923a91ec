#include "platform/Clock.h"

#include "platform/Log.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <limits>

namespace {

std::atomic<Clock*> g_sharedClock{nullptr};

class QtTimer : public Timer
{
public:
    QtTimer(double seconds, bool repeats, std::function<void()> action)
        : m_interval(seconds)
    {
        auto* timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(!repeats);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(Clock::milliseconds(seconds));
        QObject::connect(timer, &QTimer::timeout, timer, [timer, repeats, action = std::move(action)] {
            if (!repeats)
                timer->deleteLater();
            action();
        });
        timer->start();
        m_timer = timer;
    }

    ~QtTimer() override = default;

    void invalidate() override
    {
        if (m_timer) {
            m_timer->stop();
            m_timer->deleteLater();
            m_timer = nullptr;
        }
    }

    bool isValid() const override { return m_timer && m_timer->isActive(); }

    double timeInterval() const override { return m_interval; }

private:
    double m_interval;
    QPointer<QTimer> m_timer;
};

} // namespace

int Clock::milliseconds(double seconds)
{
    // NaN fails both tests and waits for nothing, as a negative time does.
    if (!(seconds > 0.0))
        return 0;
    if (seconds >= kLongestInterval)
        return std::numeric_limits<int>::max();
    return static_cast<int>(std::lround(seconds * 1000.0));
}

Clock& Clock::shared()
{
    static SystemClock systemClock;
    Clock* clock = g_sharedClock.load();
    return clock ? *clock : systemClock;
}

void Clock::setShared(Clock* clock)
{
    g_sharedClock.store(clock);
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

TimerRef SystemClock::scheduledTimer(double seconds, bool repeats, std::function<void()> action)
{
    if (!MainQueue::isMainThread()) {
        qCWarning(lcQueues, "Clock: timers are scheduled on the main thread only");
        TimerRef timer;
        MainQueue::sync([&] { timer = scheduledTimer(seconds, repeats, std::move(action)); });
        return timer;
    }
    if (!std::isfinite(seconds) || seconds > kLongestInterval)
        qCWarning(lcQueues, "Clock: a timer of %g seconds waits %d ms", seconds, milliseconds(seconds));
    return std::make_shared<QtTimer>(seconds, repeats, std::move(action));
}

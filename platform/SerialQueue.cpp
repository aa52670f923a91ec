#include "platform/SerialQueue.h"

#include "platform/Log.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

#include <deque>
#include <exception>
#include <mutex>

struct SerialQueue::State : std::enable_shared_from_this<SerialQueue::State>
{
    QString label;
    mutable std::mutex mutex;
    std::deque<WorkItem> items;
    int suspendCount = 0;
    bool running = false;
    bool drainScheduled = false;
    // Queued drains are delivered through this main-thread object.
    QPointer<QObject> dispatcher;

    void scheduleDrain();
    void drain();
    bool runOne();
    void runGuarded(WorkItem& item);
};

void SerialQueue::State::runGuarded(WorkItem& item)
{
    try {
        item();
    } catch (const std::exception& e) {
        qCWarning(lcQueues, "%s: work item ended with an exception: %s", qUtf8Printable(label), e.what());
    } catch (...) {
        qCWarning(lcQueues, "%s: work item ended with an exception", qUtf8Printable(label));
    }
}

void SerialQueue::State::scheduleDrain()
{
    {
        std::lock_guard lock(mutex);
        if (drainScheduled || items.empty() || suspendCount > 0)
            return;
        drainScheduled = true;
    }
    QObject* target = dispatcher;
    if (!target) {
        qCWarning(lcQueues, "%s: no main thread to run on", qUtf8Printable(label));
        return;
    }
    // Weak: a drain still queued when the queue is destroyed does nothing.
    std::weak_ptr<State> weak = weak_from_this();
    QMetaObject::invokeMethod(
        target,
        [weak] {
            if (std::shared_ptr<State> state = weak.lock())
                state->drain();
        },
        Qt::QueuedConnection);
}

// One item per turn of the event loop, so whatever the loop has to do between
// two items (a timer, the follow-up of a resume) gets its turn first.
void SerialQueue::State::drain()
{
    {
        std::lock_guard lock(mutex);
        drainScheduled = false;
    }
    // A nested event loop inside a running item lands here too and must not
    // start another item: runOne() refuses, and the running item schedules
    // the next drain when it ends.
    runOne();
    scheduleDrain();
}

bool SerialQueue::State::runOne()
{
    WorkItem item;
    {
        std::lock_guard lock(mutex);
        if (running || suspendCount > 0 || items.empty())
            return false;
        item = std::move(items.front());
        items.pop_front();
        running = true;
    }
    runGuarded(item);
    {
        std::lock_guard lock(mutex);
        running = false;
    }
    return true;
}

SerialQueue::SerialQueue(QString label)
    : m_state(std::make_shared<State>())
{
    m_state->label = std::move(label);
    auto* dispatcher = new QObject;
    if (QCoreApplication* app = QCoreApplication::instance())
        dispatcher->moveToThread(app->thread());
    m_state->dispatcher = dispatcher;
}

SerialQueue::~SerialQueue()
{
    if (m_state->dispatcher)
        m_state->dispatcher->deleteLater();
}

const QString& SerialQueue::label() const
{
    return m_state->label;
}

void SerialQueue::async(WorkItem item)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->items.push_back(std::move(item));
    }
    m_state->scheduleDrain();
}

void SerialQueue::asyncBarrier(WorkItem item)
{
    async(std::move(item));
}

bool SerialQueue::syncBarrier(WorkItem item)
{
    if (!MainQueue::isMainThread()) {
        bool result = false;
        MainQueue::sync([&] { result = syncBarrier(std::move(item)); });
        return result;
    }
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->running) {
            qCWarning(lcQueues, "%s: synchronous item refused inside a running item",
                      qUtf8Printable(m_state->label));
            return false;
        }
    }
    // Everything queued before us runs first, in order; an item among them
    // that suspends the queue (a daemon request) stops us short.
    for (;;) {
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->suspendCount > 0)
                return false;
            if (m_state->items.empty()) {
                m_state->running = true;
                break;
            }
        }
        m_state->runOne();
    }
    m_state->runGuarded(item);
    {
        std::lock_guard lock(m_state->mutex);
        m_state->running = false;
    }
    // Items queued while ours ran.
    m_state->scheduleDrain();
    return true;
}

void SerialQueue::suspend()
{
    std::lock_guard lock(m_state->mutex);
    ++m_state->suspendCount;
}

bool SerialQueue::resume()
{
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->suspendCount == 0) {
            qCWarning(lcQueues, "%s: resume without a matching suspend ignored",
                      qUtf8Printable(m_state->label));
            return false;
        }
        --m_state->suspendCount;
    }
    m_state->scheduleDrain();
    return true;
}

bool SerialQueue::isSuspended() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->suspendCount > 0;
}

bool SerialQueue::isRunningItem() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->running;
}

int SerialQueue::pendingCount() const
{
    std::lock_guard lock(m_state->mutex);
    return static_cast<int>(m_state->items.size());
}

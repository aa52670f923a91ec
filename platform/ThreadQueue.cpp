#include "platform/ThreadQueue.h"

#include "platform/Log.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

struct ThreadQueue::State
{
    QString label;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<WorkItem> items;
    bool stopping = false;
    bool busy = false;
    std::thread thread;
};

ThreadQueue::ThreadQueue(QString label)
    : m_state(std::make_shared<State>())
{
    m_state->label = std::move(label);
}

ThreadQueue::~ThreadQueue()
{
    std::unique_lock lock(m_state->mutex);
    m_state->stopping = true;
    m_state->items.clear();
    m_state->wake.notify_all();
    if (!m_state->thread.joinable())
        return;
    if (m_state->busy) {
        // A blocking loop (recvfrom) does not come back; the thread keeps the
        // state alive and ends with the process.
        m_state->thread.detach();
        return;
    }
    lock.unlock();
    m_state->thread.join();
}

const QString& ThreadQueue::label() const
{
    return m_state->label;
}

void ThreadQueue::async(WorkItem item)
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->stopping)
        return;
    m_state->items.push_back(std::move(item));
    if (!m_state->thread.joinable()) {
        std::shared_ptr<State> state = m_state;
        m_state->thread = std::thread([state] { runLoop(state); });
    }
    m_state->wake.notify_one();
}

void ThreadQueue::runLoop(const std::shared_ptr<State>& state)
{
    for (;;) {
        WorkItem item;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->stopping || !state->items.empty(); });
            if (state->stopping)
                return;
            item = std::move(state->items.front());
            state->items.pop_front();
            state->busy = true;
        }
        try {
            item();
        } catch (const std::exception& e) {
            qCWarning(lcQueues, "%s: work item ended with an exception: %s", qUtf8Printable(state->label),
                      e.what());
        } catch (...) {
            qCWarning(lcQueues, "%s: work item ended with an exception", qUtf8Printable(state->label));
        }
        std::lock_guard lock(state->mutex);
        state->busy = false;
    }
}

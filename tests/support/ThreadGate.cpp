#include "support/ThreadGate.h"

#include <algorithm>
#include <chrono>

void ThreadGate::pass()
{
    std::unique_lock lock(m_mutex);
    m_mostWaiting = std::max(m_mostWaiting, ++m_waiting);
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_open; });
    --m_waiting;
}

bool ThreadGate::waitForWaiting(int count)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_waiting >= count; });
}

int ThreadGate::waiting()
{
    std::lock_guard lock(m_mutex);
    return m_waiting;
}

int ThreadGate::mostWaiting()
{
    std::lock_guard lock(m_mutex);
    return m_mostWaiting;
}

void ThreadGate::open()
{
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
    }
    m_changed.notify_all();
}

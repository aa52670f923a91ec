#pragma once

#include "platform/WorkItem.h"

#include <QString>

#include <memory>

// A pool for look-ups: items run concurrently on worker threads and hand their
// results to MainQueue.
class ConcurrentQueue
{
public:
    explicit ConcurrentQueue(QString label, int maxThreads = 0);
    ~ConcurrentQueue();
    ConcurrentQueue(const ConcurrentQueue&) = delete;
    ConcurrentQueue& operator=(const ConcurrentQueue&) = delete;

    const QString& label() const;
    void async(WorkItem item);
    // Waits until every queued item has run (tests, shutdown).
    bool waitForDone(int milliseconds = -1);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

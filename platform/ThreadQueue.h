#pragma once

#include "platform/WorkItem.h"

#include <QString>

#include <memory>

// A dedicated thread for one blocking loop (the daemon receive loop, the
// connection-report reader). Items run in order on that thread. A thread that
// is still inside a blocking item when its queue is destroyed is left to end
// with the process rather than joined.
class ThreadQueue
{
public:
    explicit ThreadQueue(QString label);
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    const QString& label() const;
    void async(WorkItem item);

private:
    struct State;
    static void runLoop(const std::shared_ptr<State>& state);
    std::shared_ptr<State> m_state;
};

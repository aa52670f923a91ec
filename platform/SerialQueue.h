#pragma once

#include "platform/WorkItem.h"

#include <QString>

#include <memory>

// A serial queue whose items all run on the main thread, one at a time and in
// submission order. Items never overlap and are never re-entered, also not
// from a nested event loop that an item opens (a modal dialog): that is what
// confines the shared rule lists to one thread.
class SerialQueue
{
public:
    explicit SerialQueue(QString label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const QString& label() const;

    // Queue an item from any thread. On a serial queue a barrier item is an
    // ordinary item; both names are kept so callers read as designed.
    void async(WorkItem item);
    void asyncBarrier(WorkItem item);

    // From the main thread: runs every pending item, then `item` inline, and
    // returns true. Returns false without running `item` when the queue is
    // suspended (or becomes suspended while the pending items run) or when it
    // is called from inside a running item. Never blocks waiting.
    bool syncBarrier(WorkItem item);

    // Counted. A suspended queue starts no item. resume() never runs the next
    // item itself: it schedules the queue on a later turn of the event loop.
    // A resume without a matching suspend is logged and ignored (false).
    void suspend();
    bool resume();

    bool isSuspended() const;
    // True while one of this queue's items is running.
    bool isRunningItem() const;
    int pendingCount() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

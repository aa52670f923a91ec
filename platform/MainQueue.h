#pragma once

#include "platform/WorkItem.h"

// The main thread, where the event loop, widgets and timers live.
class MainQueue
{
public:
    static bool isMainThread();
    // Runs on a later turn of the main event loop.
    static void async(WorkItem item);
    // Runs on the main thread after at least `milliseconds`.
    static void asyncAfter(int milliseconds, WorkItem item);
    // Runs inline when already on the main thread; otherwise blocks until the
    // main thread has run it.
    static void sync(WorkItem item);
};

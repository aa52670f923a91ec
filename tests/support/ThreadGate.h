#pragma once

#include <condition_variable>
#include <mutex>

// Holds every thread that passes until the test opens it, and counts those it
// holds, so a test can stall work at a known point and see how much of it is
// waiting. Safe from any thread.
class ThreadGate
{
public:
    // Waits here until open().
    void pass();
    // Waits until `count` threads are held at once; false after 5 s.
    bool waitForWaiting(int count);
    int waiting();
    // The most threads that were held at once.
    int mostWaiting();
    void open();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_waiting = 0;
    int m_mostWaiting = 0;
    bool m_open = false;
};

#pragma once

#include "platform/ThreadQueue.h"

#include <QObject>

class BridgeClassPalisor;

// The connection-report reader's thread, "recvKextCon".
ThreadQueue& recvKextConQueue();

// Reads the connection-report extension's events from our user's kernel-event
// socket and hands the line of each connection event to the bridge. The
// socket is process-wide, apart from the daemon socket.
class Socketcon : public QObject
{
    Q_OBJECT

public:
    explicit Socketcon(BridgeClassPalisor& bridge, QObject* parent = nullptr);
    // Ends its own reader first.
    ~Socketcon() override;

    // The reader loop, on the calling thread. Returns at once when the socket
    // cannot be opened; otherwise when a receive fails or the reader is
    // stopped.
    void buildsocketcon();
    // Runs buildsocketcon() on recvKextConQueue. A reader stopped before its
    // item starts never opens the socket.
    void start();
    // Shuts the socket down both ways and closes it; a failure is printed.
    static void closesocketcon();
    // Ends a running reader and returns once it has; afterwards the reader
    // touches nothing (shutdown, tests).
    static void stopReadingAndWait();
    // A reader is inside its loop.
    static bool isReading();

private:
    static void m_run(Socketcon* reader, quint64 generation);
    void m_loop(int fd, quint64 generation);

    BridgeClassPalisor& m_bridge;
};

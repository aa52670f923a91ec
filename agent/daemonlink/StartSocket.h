#pragma once

#include <QObject>
#include <QPointer>

class managesocketagent;

// Starts the daemon socket's receive loop.
class StartSocket : public QObject
{
    Q_OBJECT

public:
    explicit StartSocket(managesocketagent& endpoint, QObject* parent = nullptr);

    managesocketagent& mymanagesocketagent;

    // Runs the receive loop on the calling thread.
    void runSocketLoop();
    // Runs it on recvDaemonQueue.
    void start();
    // Opens the socket now; start() later reads what waited in it.
    void prepare();
};

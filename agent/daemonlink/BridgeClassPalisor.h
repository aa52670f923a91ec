#pragma once

#include "platform/DistributedNotificationCenter.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>

class PARequestRoad;

// What takes one request text off the road, and the connection reports: the
// alerts' dispatcher, which the composition root hands to the bridge.
class PARequestHandler
{
public:
    virtual ~PARequestHandler() = default;
    // Runs inside the request's synchronizedQueue item, with the queue held
    // for the request.
    virtual void addRequest(const QString& text) = 0;
    // "palisorconnections" with {"connections": line}, on the main thread.
    virtual void palisorconnections(const DistributedNotificationCenter::Notification& notification)
    {
        Q_UNUSED(notification);
    }
};

// Moves each request text from the socket thread onto synchronizedQueue and
// holds the queue for it: requests are handled strictly one at a time, and
// every other queued change of the rules waits behind an open request.
class BridgeClassPalisor : public QObject
{
    Q_OBJECT

public:
    // `dispatcher` is also a QObject; a request that arrives after it went is
    // ended without an answer.
    BridgeClassPalisor(PARequestRoad& road, PARequestHandler& dispatcher, QObject* parent = nullptr);

    // Called on the socket thread; returns at once. A text that cannot be a
    // request is dropped here, and so is a request past kRequestBound that
    // wait behind an open alert (told once, and again only after all waiting
    // ones have moved on): nothing the socket receives can grow the queue
    // without end.
    void readRequest(const QString& text);
    static constexpr int kRequestBound = 4096;

    // Called on the connection-report reader's thread; returns at once. The
    // line reaches the dispatcher as "palisorconnections" on the main thread
    // of this agent only: a post on a bus would reach every session's agent
    // (each listing every other user's connections, and its own twice), and
    // let any process on the bus invent connections.
    void readConnections(const QString& text);
    // Requests handed on and not yet started.
    int waitingRequests() const { return m_waiting.load(); }

private:
    PARequestRoad& m_road;
    PARequestHandler& m_dispatcher;
    QPointer<QObject> m_dispatcherLife;
    std::atomic<int> m_waiting{0};
    std::atomic<bool> m_boundLogged{false};
};

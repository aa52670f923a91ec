#pragma once

#include "platform/ProcessInfo.h"
#include "platform/ThreadQueue.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <sys/types.h>

class BridgeClassPalisor;

// The receive loop's thread, "recvDaemonQueue".
ThreadQueue& recvDaemonQueue();

// The agent's end of the daemon socket. The descriptor and the daemon's
// address are process-wide, so any instance can send once the receive loop
// has set the socket up.
class managesocketagent : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDatagramSize = 128;

    explicit managesocketagent(QObject* parent = nullptr);
    ~managesocketagent() override;

    QPointer<BridgeClassPalisor> myBridgeClassPalisor;

    // Creates and binds the socket, then hands every request text to the
    // bridge. When the socket cannot be set up it logs why and asks the
    // application to end with status 1. Returns only then, after a real
    // socket error, or after stopReceiving().
    void openandreadsocketagent();
    // The same for an endpoint that may have gone meanwhile (the loop is
    // started from another thread): nothing happens then.
    static void openandreadsocketagentOf(managesocketagent* endpoint);
    // One answer or command, as one 128-byte datagram, from any thread. Never
    // blocks: while the daemon's queue is full the datagrams wait, in order,
    // and go out from the main thread as it reads again; past kSendBound
    // waiting ones, later ones are dropped and that is logged.
    void sendsocketagent(const QString& text);
    static constexpr int kSendBound = 4096;
    // Datagrams waiting for the daemon to read.
    static int waitingSends();

    // The executable's path, or "error" when the process is gone.
    static QString infoprocess(uint32_t pid);
    // The same, telling whether the path is the executable's own or only
    // the name the process gave itself.
    static ProcessInfo::Name infoprocessName(uint32_t pid);
    // The effective user id, or -1 when the process is gone.
    static int infoRootProcess(uint32_t pid);

    // Binds the socket ahead of the receive loop, so the daemon's datagrams
    // wait in its queue while the agent is still loading; the loop then uses
    // it. False (and nothing bound) when it cannot be set up: the loop tries
    // again and reports it.
    static bool prepareSocket();

    // The two halves of openandreadsocketagent(), for tests: set-up (false and
    // a reason instead of ending the process) and the loop.
    static bool setUpSocket(QString* error);
    void receiveLoop();
    // Ends a running receive loop (tests and shutdown).
    static void stopReceiving();
    // Ends it and returns once it has: afterwards the loop touches nothing.
    static void stopReceivingAndWait();

    // Who may be the daemon, sending requests and owning the socket the
    // answers go to: root and, when PALISOR_ROOT is set (tests, the demo),
    // the agent's own user.
    static bool acceptsSender(uid_t uid);

    static QString agentSocketPath();
    static QString daemonSocketPath();

private:
    void m_loop();
};

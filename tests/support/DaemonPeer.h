#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The daemon's end of the socket pair, for tests of the agent's daemon link:
// binds the daemon's path under PALISOR_ROOT, sends 128-byte datagrams to the
// agent and collects the answers while the main event loop turns (requests
// are decided on the main thread).
class DaemonPeer
{
public:
    DaemonPeer();
    ~DaemonPeer();
    DaemonPeer(const DaemonPeer&) = delete;
    DaemonPeer& operator=(const DaemonPeer&) = delete;

    bool isBound() const { return m_fd >= 0; }
    // Sends `bytes` as one datagram of exactly that size (tests of odd sizes)
    // or, by default, padded to 128 bytes after a zero byte.
    bool send(const QString& text);
    bool sendRaw(const QByteArray& bytes);

    // Waits until the agent has taken every datagram sent so far off its
    // socket (its reader handles them one at a time, in order, so all but
    // the last have been handled by then).
    bool waitUntilRead(int timeoutMs = 10000);

    // Answers arrived within `timeoutMs`, turning the event loop meanwhile.
    QStringList answers(int count, int timeoutMs = 3000);
    // Everything that arrives within `quietMs` (to check that nothing comes).
    QStringList drain(int quietMs = 300);

private:
    std::optional<QString> m_receive();
    int m_fd = -1;
};

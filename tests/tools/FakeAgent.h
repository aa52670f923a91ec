#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The agent's end of the daemon socket, bound at the agent's path under
// PALISOR_ROOT, for tests that watch what the simulated daemon sends.
class FakeAgent
{
public:
    FakeAgent() = default;
    ~FakeAgent();
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    static QString path();
    static QString daemonPath();

    // Makes the agent folder when missing.
    bool bind();
    void close();
    // The whole datagram, nullopt when none arrives in time.
    std::optional<QByteArray> receive(int timeoutMs = 5000);
    // The text padded to one 128-byte datagram, sent to the daemon's path.
    bool answer(const QByteArray& text);

private:
    int m_fd = -1;
};

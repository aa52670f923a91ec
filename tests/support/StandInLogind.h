#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QThread>

// logind as the login helper sees it, on a private bus: one session whose
// Active property the test switches. It answers on a thread of its own, so
// that code under test may call it with blocking calls from the main thread.
class StandInLogind
{
public:
    explicit StandInLogind(const QByteArray& busAddress, const QString& sessionId = QStringLiteral("c1"));
    ~StandInLogind();
    StandInLogind(const StandInLogind&) = delete;
    StandInLogind& operator=(const StandInLogind&) = delete;

    // Owns org.freedesktop.login1 on the bus.
    bool isRunning() const { return m_running; }
    QString sessionPath() const;
    // Sets Active and announces it, with the value or (as logind may) only
    // naming it as changed.
    void setActive(bool active, bool announceValue = true);
    // The session ids asked of GetSession so far.
    QStringList askedSessions() const;

private:
    class Responder;
    QString m_connectionName;
    QThread m_thread;
    Responder* m_responder = nullptr;
    bool m_running = false;
};

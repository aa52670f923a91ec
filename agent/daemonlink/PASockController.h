#pragma once

#include <QObject>
#include <QString>

// Finds out whether a TCP connection to a public WHOIS server can be opened
// from here. Each checkWhois() is one probe: it returns at once, the
// connection is tried without blocking the main thread, and at its end
// responseString holds "2" (connected) or "1" (anything else, time-out
// included) and "startwhoisquery" is posted once on appNotificationCenter.
class PASockController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString responseString READ responseString WRITE setResponseString)

public:
    static constexpr quint16 kWhoisPort = 43;
    // How long a probe waits for the connection before it counts as refused.
    static constexpr double kProbeSeconds = 5.0;

    explicit PASockController(QObject* parent = nullptr);

    QString responseString() const { return m_responseString; }
    void setResponseString(const QString& value) { m_responseString = value; }

    // May be called on any thread; the probe itself and every write of
    // responseString happen on the main thread.
    void checkWhois();

    // The server probed: the build's WHOIS host on port 43 unless changed
    // (tests probe a listener of their own).
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    void setServer(const QString& host, quint16 port);

private:
    void m_startProbe();

    QString m_responseString;
    QString m_host;
    quint16 m_port;
};

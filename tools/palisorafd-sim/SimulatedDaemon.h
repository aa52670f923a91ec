#pragma once

#include "platform/DistributedNotificationCenter.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstddef>
#include <vector>

class QSocketNotifier;

// Plays the firewall's root daemon for tests and the demo: binds the
// daemon's datagram socket under PALISOR_ROOT, sends connection requests to
// the agent's socket, collects the agent's answers, and hears the
// notifications the agent posts to the daemon, writing /etc/palisor.conf from
// "writePalisorConfiguration" as the daemon does.
class SimulatedDaemon : public QObject
{
    Q_OBJECT

public:
    // Every datagram of the protocol, either way.
    static constexpr int kDatagramSize = 128;

    struct Answer
    {
        // The datagram's text, up to its zero byte.
        QString text;
        // The sent request it answers; empty for the clear-all command and for
        // a text that answers nothing we sent.
        QString request;
        // What follows the request and its blank: "0 # #", "4 0 1", ...
        QString code;
        bool clearAll = false;
        bool matched = false;
    };

    struct Notification
    {
        QString name;
        QString object;
        QVariantMap userInfo;
        // One line for people: the userInfo's entries in short, and for
        // "writePalisorConfiguration" where the configuration went.
        QString summary;
    };

    static QString daemonSocketPath();
    static QString agentSocketPath();
    // The notifications a daemon listens for.
    static const QStringList& notificationNames();

    explicit SimulatedDaemon(QObject* parent = nullptr);
    ~SimulatedDaemon() override;

    // Makes the run folders (open to everyone, so the agent can bind there
    // too), replaces a stale socket file and binds. False with a reason when
    // a path does not fit a UNIX socket address or the system refuses.
    bool bind(QString* error = nullptr);
    bool isBound() const { return m_fd >= 0; }

    // Observes the default distributed centre; call once.
    void listenForNotifications();

    // One 128-byte datagram to the agent, without waiting. False with a reason
    // when the text is longer than a datagram or the send fails. A text of
    // exactly 128 bytes fills the datagram with no zero byte.
    bool sendRequest(const QString& text, QString* error = nullptr);

    // One connection report, as the connection-report extension sends it, to
    // the kernel-event socket of our own user's agent: an event record with
    // the line as its data. False with a reason when the line is longer than
    // the record's 128 bytes of data or the send fails.
    bool sendConnectionReport(const QString& line, QString* error = nullptr);
    static QString reportSocketPath();

    const QStringList& sentRequests() const { return m_sent; }
    const QStringList& sentReports() const { return m_reported; }
    const std::vector<Answer>& answers() const { return m_answers; }
    // Turns the event loop until `count` answers have arrived in all.
    bool waitForAnswers(std::size_t count, int timeoutMs);
    const std::vector<Notification>& notifications() const { return m_notifications; }
    // Where the last "writePalisorConfiguration" was written; "" before any.
    QString lastWrittenConfiguration() const { return m_lastWrittenConfiguration; }

    // Pairs an answer text with the latest request it begins with (followed
    // by a blank); a request's line feeds may be missing from the answer.
    static Answer matchAnswer(const QString& text, const QStringList& requests);
    // The lines the simulator prints.
    static QString describe(const Answer& answer);
    static QString describe(const Notification& notification);
    static QString summarize(const QVariantMap& userInfo);

Q_SIGNALS:
    void answerReceived(const SimulatedDaemon::Answer& answer);
    void notificationReceived(const SimulatedDaemon::Notification& notification);
    // Something odd on the wire (a datagram of the wrong size, a failed receive).
    void problem(const QString& message);

private:
    void m_readDatagrams();
    void m_handleNotification(const DistributedNotificationCenter::Notification& posted);
    // The outcome, for the notification's summary.
    QString m_writeConfiguration(const QVariantMap& wrapper);

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QStringList m_sent;
    QStringList m_reported;
    std::vector<Answer> m_answers;
    std::vector<Notification> m_notifications;
    QString m_lastWrittenConfiguration;
    DistributedNotificationCenter* m_center = nullptr;
    std::vector<DistributedNotificationCenter::ObserverToken> m_observerTokens;
};

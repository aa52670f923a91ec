#pragma once

#include "daemonlink/BridgeClassPalisor.h"

#include <QObject>
#include <QPointer>
#include <QString>

class PAConnectionController;
class PARequestRoad;
class PAWorkQueues;
class managesocketagent;
struct ParsedConnection;

// The alert dispatcher: checks each daemon request, tags it, looks up its
// process and hands it to one alert controller.
class PANotifyController : public QObject, public PARequestHandler
{
    Q_OBJECT

public:
    PANotifyController(PARequestRoad& road, managesocketagent& endpoint, PAWorkQueues& queues,
                       QObject* parent = nullptr);
    ~PANotifyController() override;

    // The user id of the agent's own process.
    qint64 myUID = 0;
    managesocketagent& mymanagesocketagent;
    // The connections log that reported connections are listed in.
    QPointer<PAConnectionController> connectioncontroller;

    // Runs inside the request's synchronizedQueue item, with the queue
    // suspended for the request.
    void addRequest(const QString& text) override;
    // A connection report: parsed on the pool of short work, never behind a
    // look-up that waits on the outside, then recorded.
    void palisorconnections(const DistributedNotificationCenter::Notification& notification) override;
    // Main thread: lists the connection (unless its process is unknown),
    // follows it in the table when autoscroll is on, and writes its line to
    // the agent's log when logging to file is on.
    void recordConnectionEvent(const ParsedConnection& connection);
    // Standard error appends to the agent's log file again (after the file was
    // deleted and made anew).
    void logFileChanged();

private:
    PARequestRoad& m_road;
    PAWorkQueues& m_queues;
};

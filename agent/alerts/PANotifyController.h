#pragma once

#include "daemonlink/BridgeClassPalisor.h"
#include "daemonlink/ConnectionEvent.h"

#include <QObject>
#include <QString>

class PARequestRoad;
class PAWorkQueues;
class managesocketagent;

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

    // Runs inside the request's synchronizedQueue item, with the queue
    // suspended for the request.
    void addRequest(const QString& text) override;
    // A connection report: parsed on the pool of short work, never behind a
    // look-up that waits on the outside, then recorded.
    void palisorconnections(const DistributedNotificationCenter::Notification& notification) override;
    // Main thread: hands the connection to the connections log (unless its
    // process is unknown), then writes its line to the agent's log when
    // logging to file is on.
    void recordConnectionEvent(const ParsedConnection& connection);
    // Standard error appends to the agent's log file again (after the file was
    // deleted and made anew).
    void logFileChanged();

signals:
    // A reported connection of a known process, for the connections log to
    // list before the agent's log gets its line.
    void connectionReported(const ParsedConnection& connection);

private:
    PARequestRoad& m_road;
    PAWorkQueues& m_queues;
};

#pragma once

#include "daemonlink/BridgeClassPalisor.h"

#include <QObject>
#include <QPointer>
#include <QString>

class PARequestRoad;
class managesocketagent;

// The alert dispatcher: checks each daemon request, tags it, looks up its
// process and hands it to one alert controller.
class PANotifyController : public QObject, public PARequestHandler
{
    Q_OBJECT

public:
    PANotifyController(PARequestRoad& road, managesocketagent& endpoint, QObject* parent = nullptr);
    ~PANotifyController() override;

    // The user id of the agent's own process.
    qint64 myUID = 0;
    managesocketagent& mymanagesocketagent;

    // Runs inside the request's synchronizedQueue item, with the queue
    // suspended for the request.
    void addRequest(const QString& text) override;
    // Standard error appends to the agent's log file again (after the file was
    // deleted and made anew).
    void logFileChanged();

private:
    PARequestRoad& m_road;
};

#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class PANotifyController;

// Moves each request text from the socket thread onto synchronizedQueue and
// holds the queue for it: requests are handled strictly one at a time, and
// every other queued change of the rules waits behind an open request.
class BridgeClassPalisor : public QObject
{
    Q_OBJECT

public:
    explicit BridgeClassPalisor(QObject* parent = nullptr);

    QPointer<PANotifyController> myPANotifyController;

    // Called on the socket thread; returns at once.
    void readRequest(const QString& text);
};

#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class SerialQueue;

// The tag of the next request.
extern quint32 requestTagCounter;

// The open requests' alerts, as the road needs them: it notes which request
// has one, asks whether the request that holds the queue still has it, and
// lets it go when the request ends. What an alert is, and the table that
// keeps them, belong to the windows; here an alert is only an object to keep
// alive while its request is open. Main thread only.
class PARequestAlerts
{
public:
    virtual ~PARequestAlerts() = default;
    virtual void insert(const QString& tag, std::shared_ptr<QObject> alert) = 0;
    virtual bool contains(const QString& tag) const = 0;
    // Removes the alert of `tag` and hands it over; null when there is none.
    virtual std::shared_ptr<QObject> take(const QString& tag) = 0;
};

// The bookkeeping of daemon requests: each holds synchronizedQueue from the
// moment its item starts until its own end, gets a tag, and gets one answer
// from the user at most. Made once by the composition root; every way a
// request can end goes through here, so none can keep the queue.
class PARequestRoad : public QObject
{
    Q_OBJECT

public:
    PARequestRoad(SerialQueue& queue, PARequestAlerts& alerts, QObject* parent = nullptr);
    ~PARequestRoad() override;

    // The road the composition root made (for the design's static names).
    static PARequestRoad* current();

    // Runs one request inside its queue item: the request holds the queue,
    // `handle` looks at it, and if it neither ended nor left an open alert
    // behind, it is ended here.
    void run(const std::function<void()>& handle);
    // The next tag, from 2 up to 999999 and round again.
    QString takeTag();
    // The request of `tag` holds the queue from now on, with its alert.
    void open(const QString& tag, std::shared_ptr<QObject> alert);
    // Marks `tag` as the request that holds the queue (no alert yet).
    void beginRequest(const QString& tag);
    // Ends the request of `tag`: forgets its alert and releases the queue.
    // Only the request that holds the queue releases it; a late call for an
    // earlier request is logged and changes nothing.
    void end(const QString& tag);
    // Ends a request that has no alert (dropped, or its process gone).
    void endWithoutAlert();

    // The one-answer latch: true once for the request that holds the queue;
    // false after that, and for any request that is not the open one.
    bool claimAnswer(const QString& tag);

    bool holdsQueue() const { return m_holdsQueue; }
    QString openTag() const { return m_openTag; }

private:
    SerialQueue& m_queue;
    PARequestAlerts& m_alerts;
    QString m_openTag;
    bool m_holdsQueue = false;
    bool m_answered = false;
};

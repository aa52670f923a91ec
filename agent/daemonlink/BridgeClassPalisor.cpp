#include "daemonlink/BridgeClassPalisor.h"

#include "core/AgentLog.h"
#include "core/SharedState.h"
#include "daemonlink/DaemonRequest.h"
#include "daemonlink/PARequestRoad.h"
#include "platform/MainQueue.h"

BridgeClassPalisor::BridgeClassPalisor(PARequestRoad& road, PARequestHandler& dispatcher, QObject* parent)
    : QObject(parent)
    , m_road(road)
    , m_dispatcher(dispatcher)
    , m_dispatcherLife(dynamic_cast<QObject*>(&dispatcher))
{
}

void BridgeClassPalisor::readRequest(const QString& text)
{
    if (!DaemonRequest::parse(text))
        return;
    // The receive loop is the one caller, so the count cannot pass the bound
    // between the test and the increment.
    if (m_waiting.load() >= kRequestBound) {
        if (!m_boundLogged.exchange(true))
            qCWarning(lcDaemon,
                      "[PALISOR AGENT] %d requests wait for the open one; later ones are dropped until they "
                      "move on",
                      kRequestBound);
        return;
    }
    ++m_waiting;
    QPointer<BridgeClassPalisor> self(this);
    synchronizedQueue().asyncBarrier([self, text] {
        if (!self)
            return;
        // Told again only once the waiting ones have all moved on: a daemon
        // that keeps the queue full gets one line, not one per request.
        if (--self->m_waiting == 0)
            self->m_boundLogged = false;
        // The request holds the queue from here until its own end.
        self->m_road.run([&self, &text] {
            if (self->m_dispatcherLife)
                self->m_dispatcher.addRequest(text);
        });
    });
}

void BridgeClassPalisor::readConnections(const QString& text)
{
    DistributedNotificationCenter::Notification notification{
        QStringLiteral("palisorconnections"), QStringLiteral("zz.tolvane.palisorconnections"),
        QVariantMap{{QStringLiteral("connections"), text}}};
    QPointer<BridgeClassPalisor> self(this);
    MainQueue::async([self, notification = std::move(notification)] {
        if (self && self->m_dispatcherLife)
            self->m_dispatcher.palisorconnections(notification);
    });
}

#include "daemonlink/BridgeClassPalisor.h"

#include "core/SharedState.h"
#include "daemonlink/PARequestRoad.h"

BridgeClassPalisor::BridgeClassPalisor(PARequestRoad& road, PARequestHandler& dispatcher, QObject* parent)
    : QObject(parent)
    , m_road(road)
    , m_dispatcher(dispatcher)
    , m_dispatcherLife(dynamic_cast<QObject*>(&dispatcher))
{
}

void BridgeClassPalisor::readRequest(const QString& text)
{
    QPointer<BridgeClassPalisor> self(this);
    synchronizedQueue().asyncBarrier([self, text] {
        if (!self)
            return;
        // The request holds the queue from here until its own end.
        self->m_road.run([&self, &text] {
            if (self->m_dispatcherLife)
                self->m_dispatcher.addRequest(text);
        });
    });
}

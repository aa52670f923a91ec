#include "BridgeClassPalisor.h"

#include "PANotifyController.h"
#include "PANotifyWindowController.h"
#include "SharedState.h"

BridgeClassPalisor::BridgeClassPalisor(QObject* parent)
    : QObject(parent)
{
}

void BridgeClassPalisor::readRequest(const QString& text)
{
    QPointer<BridgeClassPalisor> self(this);
    synchronizedQueue().asyncBarrier([self, text] {
        synchronizedQueue().suspend();
        // The request holds the queue from here until its own end.
        PANotifyWindowController::beginRequest(QString());
        PANotifyController* dispatcher = self ? self->myPANotifyController.data() : nullptr;
        if (!dispatcher) {
            PANotifyWindowController::endRequestWithoutAlert();
            return;
        }
        dispatcher->addRequest(text);
    });
}

#include "alerts/PAOpenAlerts.h"

#include "alerts/PANotifyWindowController.h"

#include <QSharedPointer>

#include <utility>

QHash<QString, std::shared_ptr<PANotifyWindowController>> openAlerts;

void PAOpenAlerts::insert(const QString& tag, std::shared_ptr<QObject> alert)
{
    // The road holds only what the dispatcher opened it with: an alert
    // controller, or none.
    openAlerts.insert(tag, qobject_pointer_cast<PANotifyWindowController>(std::move(alert)));
}

bool PAOpenAlerts::contains(const QString& tag) const
{
    return openAlerts.contains(tag);
}

std::shared_ptr<QObject> PAOpenAlerts::take(const QString& tag)
{
    return openAlerts.take(tag);
}

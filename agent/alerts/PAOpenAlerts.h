#pragma once

#include "daemonlink/PARequestRoad.h"

#include <QHash>
#include <QString>

#include <memory>

class PANotifyWindowController;

// The open requests' alert controllers, by request tag. Main thread only.
extern QHash<QString, std::shared_ptr<PANotifyWindowController>> openAlerts;

// The table above, as the request road keeps its alerts in it. Made by the
// composition root and handed to the road.
class PAOpenAlerts : public PARequestAlerts
{
public:
    void insert(const QString& tag, std::shared_ptr<QObject> alert) override;
    bool contains(const QString& tag) const override;
    std::shared_ptr<QObject> take(const QString& tag) override;
};

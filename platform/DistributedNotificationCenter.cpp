#include "platform/DistributedNotificationCenter.h"

#include "platform/DBusDistributedNotificationCenter.h"
#include "platform/PropertyList.h"

#include <atomic>

namespace {

std::atomic<DistributedNotificationCenter*> g_replacement{nullptr};

DistributedNotificationCenter& dbusCenter()
{
    // Never destroyed: tearing down D-Bus connections after the application
    // object is gone, at exit, is not safe, and the process ends anyway.
    static DBusDistributedNotificationCenter* const center = new DBusDistributedNotificationCenter;
    return *center;
}

} // namespace

DistributedNotificationCenter& DistributedNotificationCenter::defaultCenter()
{
    if (DistributedNotificationCenter* replacement = g_replacement.load())
        return *replacement;
    return dbusCenter();
}

void DistributedNotificationCenter::setDefaultCenter(DistributedNotificationCenter* center)
{
    g_replacement.store(center);
}

void DistributedNotificationCenter::postNotificationData(const QString& name, const QString& object,
                                                         const QByteArray& userInfo, int options)
{
    QVariantMap map;
    if (!userInfo.isEmpty())
        if (const std::optional<QVariant> value = PropertyList::fromData(userInfo))
            map = value->toMap();
    postNotificationName(name, object, map, options);
}
